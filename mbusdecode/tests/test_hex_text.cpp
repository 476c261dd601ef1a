#include "WMBH_HexText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(HexText, ReadsDigitsOfEitherCase)
{
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(HexToBytes("000fF0aB", bytes));
    EXPECT_EQ((std::vector<unsigned char>{0x00, 0x0F, 0xF0, 0xAB}), bytes);
    ASSERT_TRUE(HexToBytes("", bytes));
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(-1, HexDigitValue('g'));
    EXPECT_EQ(15, HexDigitValue('f'));
}

TEST(HexText, RefusesWhatIsNotPairsOfDigitsAndKeepsTheBytes)
{
    // The digit checks sit right beside the ASCII ranges that border them.
    const char *const refused[] = {"0", "ABC", "0G", "G0", "0/", ":0", "@A", "AZ", "`a", "ag", "0 1", "0x01", "-1"};
    for (const char *text : refused)
    {
        std::vector<unsigned char> bytes{0x55};
        EXPECT_FALSE(HexToBytes(text, bytes)) << text;
        EXPECT_EQ(std::vector<unsigned char>{0x55}, bytes) << text;
    }
    // A NUL inside the text is not a digit either.
    std::vector<unsigned char> bytes;
    EXPECT_FALSE(HexToBytes(std::string("0\0", 2), bytes));
}
