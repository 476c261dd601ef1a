#include "WMBH_Cursor.h"

#include <gtest/gtest.h>

TEST(Cursor, ReadsFrontToBackAndStopsAtTheEnd)
{
    const uint8_t bytes[] = {0x11, 0x34, 0x12, 0xAA, 0xBB};
    WMBH_Cursor cursor(bytes, sizeof bytes);
    uint8_t byte = 0;
    unsigned int word = 0;
    uint8_t copy[2] = {};
    ASSERT_TRUE(cursor.Read(byte));
    EXPECT_EQ(0x11, byte);
    ASSERT_TRUE(cursor.ReadLe16(word));
    EXPECT_EQ(0x1234u, word);
    ASSERT_TRUE(cursor.Read(copy, 2));
    EXPECT_EQ(0xAA, copy[0]);
    EXPECT_EQ(0xBB, copy[1]);
    EXPECT_TRUE(cursor.AtEnd());
    EXPECT_EQ(5u, cursor.Position());
    EXPECT_FALSE(cursor.Read(byte));
    EXPECT_FALSE(cursor.Peek(byte));
    EXPECT_TRUE(cursor.Skip(0));
}

TEST(Cursor, AReadThatDoesNotFitFailsWithoutMoving)
{
    const uint8_t bytes[] = {0x01, 0x02, 0x03};
    WMBH_Cursor cursor(bytes, sizeof bytes);
    ASSERT_TRUE(cursor.Skip(2));
    unsigned int word = 0;
    uint8_t copy[4] = {};
    const uint8_t *view = nullptr;
    EXPECT_FALSE(cursor.ReadLe16(word));
    EXPECT_FALSE(cursor.Read(copy, 2));
    EXPECT_FALSE(cursor.Take(2, view));
    EXPECT_FALSE(cursor.Skip(2));
    // A count taken from the air may be huge: it must not wrap the remaining length.
    EXPECT_FALSE(cursor.Skip(SIZE_MAX));
    EXPECT_EQ(2u, cursor.Position());
    ASSERT_TRUE(cursor.Take(1, view));
    EXPECT_EQ(bytes + 2, view);
}

TEST(Cursor, AbsolutePeeksAndAMissingBuffer)
{
    const uint8_t bytes[] = {0x68, 0x0F};
    const WMBH_Cursor cursor(bytes, sizeof bytes);
    uint8_t byte = 0;
    ASSERT_TRUE(cursor.PeekAt(1, byte));
    EXPECT_EQ(0x0F, byte);
    EXPECT_FALSE(cursor.PeekAt(2, byte));

    // No buffer means no bytes, whatever size comes with it.
    WMBH_Cursor none(nullptr, 10);
    EXPECT_EQ(0u, none.Remaining());
    EXPECT_FALSE(none.Read(byte));
    EXPECT_FALSE(none.PeekAt(0, byte));
}
