#include "WMBH_HexText.h"

#include <gtest/gtest.h>

TEST(HexText, RendersEachForm)
{
    const unsigned char bytes[] = {0x00, 0x0F, 0xF0};
    EXPECT_EQ("00 0F F0 ", BytesToHex(bytes, 3));
    EXPECT_EQ("000FF0", DataToHex(bytes, 3));
    EXPECT_EQ("0 F F0 ", HexDump(bytes, 3));
}

TEST(HexText, EmptyInputGivesEmptyText)
{
    const unsigned char b = 0xAB;
    EXPECT_EQ("", BytesToHex(&b, 0));
    EXPECT_EQ("", DataToHex(&b, 0));
    EXPECT_EQ("", HexDump(&b, 0));
}
