// Value codecs and the value text of a record by its DIF and LVAR byte.

#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

using wmbus_test::Hex;

namespace
{

TEST(Bcd, DigitsFromTheLastByte)
{
    const struct
    {
        const char *bytes;
        long long value;
    } cases[] = {
        {"78563412", 12345678},
        {"27048502", 2850427},
        {"00", 0},
        {"1A", -1}, // a nibble above 9
        // The most significant nibble F is the sign, the other digits the magnitude.
        {"220000F0", -22},
        {"12F3", -312},
        {"010000F0", -1},
        {"000000F0", 0},
        {"12FF", -1}, // an F below the sign nibble is no digit
        {"F012", -1}, // nor is an F in a lower byte
        {"999999999999999999", 999999999999999999LL},
        {"99999999999999999999", -1}, // 20 digits cannot fit
        {"00000000000000000012", -1}, // 12 * 10^18
        {"12000000000000000000", 12}, // leading zeros are no overflow
    };
    for (const auto &c : cases)
    {
        std::vector<unsigned char> bytes = Hex(c.bytes);
        EXPECT_EQ(mbus_data_bcd_decode(bytes.data(), bytes.size()), c.value) << c.bytes;
    }
    unsigned char none = 0x99;
    EXPECT_EQ(mbus_data_bcd_decode(&none, 0), 0);
    // The checked form tells a real -1 from digits that are no number.
    long long value = 7;
    const std::vector<unsigned char> minusOne = Hex("01F0");
    EXPECT_EQ(mbus_data_bcd_decode_signed(minusOne.data(), minusOne.size(), &value), 0);
    EXPECT_EQ(value, -1);
    const std::vector<unsigned char> invalid = Hex("1A");
    EXPECT_EQ(mbus_data_bcd_decode_signed(invalid.data(), invalid.size(), &value), -1);
    // Identification numbers carry no sign.
    const std::vector<unsigned char> id = Hex("563412F0");
    EXPECT_EQ(mbus_data_bcd_decode_unsigned(id.data(), id.size()), -1);
    const std::vector<unsigned char> plainId = Hex("78563412");
    EXPECT_EQ(mbus_data_bcd_decode_unsigned(plainId.data(), plainId.size()), 12345678);
    EXPECT_EQ(mbus_data_bcd_decode(nullptr, 4), -1);
}

TEST(Integers, TwosComplementLeastSignificantFirst)
{
    const struct
    {
        const char *bytes;
        long long value;
        int narrow;
    } cases[] = {
        {"FF", -1, -1},
        {"7F", 127, 127},
        {"FFFF7F", 8388607, 8388607},
        {"000080", -8388608, -8388608},
        {"FFFFFFFF", -1, -1},
        {"FEFFFFFFFFFF", -2, -2},
        {"0000000000000080", INT64_MIN, 0},
        {"0100000000000000FF", 1, 1}, // a ninth byte cannot fit
    };
    for (const auto &c : cases)
    {
        std::vector<unsigned char> bytes = Hex(c.bytes);
        long long wide = 0;
        int narrow = 0;
        long longValue = 0;
        ASSERT_EQ(mbus_data_long_long_decode(bytes.data(), bytes.size(), &wide), 0);
        ASSERT_EQ(mbus_data_int_decode(bytes.data(), bytes.size(), &narrow), 0);
        ASSERT_EQ(mbus_data_long_decode(bytes.data(), bytes.size(), &longValue), 0);
        EXPECT_EQ(wide, c.value) << c.bytes;
        EXPECT_EQ(narrow, c.narrow) << c.bytes;
        EXPECT_EQ(longValue, c.narrow) << c.bytes;
    }
    unsigned char byte = 1;
    int value = 0;
    long long wide = 0;
    EXPECT_EQ(mbus_data_int_decode(&byte, 0, &value), -1);
    EXPECT_EQ(mbus_data_int_decode(nullptr, 1, &value), -1);
    EXPECT_EQ(mbus_data_long_long_decode(&byte, 1, nullptr), -1);
    EXPECT_EQ(mbus_data_long_long_decode(&byte, 0, &wide), -1);
}

TEST(Integers, EncodeRoundTrips)
{
    unsigned char buffer[10];
    ASSERT_EQ(mbus_data_int_encode(buffer, 3, -2), 0);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 3), Hex("FEFFFF"));
    ASSERT_EQ(mbus_data_int_encode(buffer, 10, -2), 0);
    EXPECT_EQ(std::vector<unsigned char>(buffer, buffer + 10), Hex("FEFFFFFFFFFFFFFFFFFF"));
    ASSERT_EQ(mbus_data_int_encode(buffer, 4, 0x12345678), 0);
    int back = 0;
    mbus_data_int_decode(buffer, 4, &back);
    EXPECT_EQ(back, 0x12345678);
    EXPECT_EQ(mbus_data_int_encode(nullptr, 4, 1), -1);
}

TEST(Real, SingleLeastSignificantFirst)
{
    const struct
    {
        const char *bytes;
        float value;
    } cases[] = {
        {"0000803F", 1.0f},
        {"000020C0", -2.5f},
        {"0000C841", 25.0f},
        {"00000000", 0.0f},
        // The all-ones exponent gives a finite value, never infinity or NaN.
        {"0000807F", 0.0f},
        {"FFFFFF7F", std::numeric_limits<float>::max()},
        {"FFFFFFFF", static_cast<float>(-std::ldexp(8388607.0, 105))},
    };
    for (const auto &c : cases)
    {
        std::vector<unsigned char> bytes = Hex(c.bytes);
        EXPECT_FLOAT_EQ(mbus_data_float_decode(bytes.data()), c.value) << c.bytes;
    }
    EXPECT_EQ(mbus_data_float_decode(nullptr), -1.0f);
}

TEST(Text, ReversedAndTerminated)
{
    std::vector<unsigned char> bytes = Hex("636261");
    unsigned char out[8];
    std::memset(out, 'z', sizeof out);
    mbus_data_str_decode(out, bytes.data(), bytes.size());
    EXPECT_STREQ(reinterpret_cast<char *>(out), "abc");
    mbus_data_str_decode(out, bytes.data(), 0);
    EXPECT_STREQ(reinterpret_cast<char *>(out), "");
}

TEST(DateTime, TypesFAndG)
{
    struct tm t;
    // A published gas meter's reading time: 2008-05-31 23:50.
    std::vector<unsigned char> f = Hex("32371F15");
    mbus_data_tm_decode(&t, f.data(), f.size());
    EXPECT_EQ(t.tm_year, 108);
    EXPECT_EQ(t.tm_mon, 4);
    EXPECT_EQ(t.tm_mday, 31);
    EXPECT_EQ(t.tm_hour, 23);
    EXPECT_EQ(t.tm_min, 50);
    EXPECT_EQ(t.tm_sec, 0);
    EXPECT_EQ(t.tm_isdst, 0);

    std::vector<unsigned char> summer = Hex("32B71F15");
    mbus_data_tm_decode(&t, summer.data(), summer.size());
    EXPECT_EQ(t.tm_isdst, 1);
    EXPECT_EQ(t.tm_hour, 23);

    // Marked invalid: only the year.
    std::vector<unsigned char> invalid = Hex("B2371F15");
    mbus_data_tm_decode(&t, invalid.data(), invalid.size());
    EXPECT_EQ(t.tm_year, 100);
    EXPECT_EQ(t.tm_mday, 0);
    EXPECT_EQ(t.tm_min, 0);

    // Type G, 2007-04-30.
    std::vector<unsigned char> g = Hex("FE04");
    mbus_data_tm_decode(&t, g.data(), g.size());
    EXPECT_EQ(t.tm_year, 107);
    EXPECT_EQ(t.tm_mon, 3);
    EXPECT_EQ(t.tm_mday, 30);
    EXPECT_EQ(t.tm_hour, 0);

    mbus_data_tm_decode(&t, g.data(), 3);
    EXPECT_EQ(t.tm_year, 100);
    EXPECT_EQ(t.tm_mday, 0);
}

struct ValueCase
{
    unsigned char dif;
    const char *data;
    const char *text;
    unsigned char lvar;
    unsigned char vif;
};

class RecordValue : public ::testing::TestWithParam<ValueCase>
{
};

TEST_P(RecordValue, Text)
{
    mbus_data_record record{};
    record.dif = GetParam().dif;
    record.vif = GetParam().vif;
    record.lvar = GetParam().lvar;
    std::vector<unsigned char> data = Hex(GetParam().data);
    if (!data.empty())
        std::memcpy(record.data, data.data(), data.size());
    record.data_len = data.size();
    EXPECT_STREQ(mbus_data_record_decode(&record), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    ByDif, RecordValue,
    ::testing::Values(ValueCase{0x00, "", "", 0, 0x13},
                      // Integers of every width are two's complement.
                      ValueCase{0x01, "FF", "-1", 0, 0x13}, ValueCase{0x01, "7F", "127", 0, 0x13},
                      ValueCase{0x02, "FFFF", "-1", 0, 0x13}, ValueCase{0x03, "FFFF7F", "8388607", 0, 0x13},
                      ValueCase{0x03, "FFFFFF", "-1", 0, 0x13}, ValueCase{0x03, "000080", "-8388608", 0, 0x13},
                      ValueCase{0x04, "FFFFFFFF", "-1", 0, 0x13},
                      // An outside temperature of -15.73 C, a flow temperature of -100.00 C and a
                      // heat-cost delta of -335 units.
                      ValueCase{0x02, "DBF9", "-1573", 0, 0x65}, ValueCase{0x02, "F0D8", "-10000", 0, 0x59},
                      ValueCase{0x02, "B1FE", "-335", 0, 0x6E},
                      // A type G date is no signed number: 2064-01-01 keeps its top bit.
                      ValueCase{0x02, "0181", "33025", 0, 0x6C},
                      // BCD with the sign nibble: -22 W.
                      ValueCase{0x0C, "220000F0", "-22", 0, 0x2B}, ValueCase{0x0A, "01F0", "-1", 0, 0x2B},
                      ValueCase{0x04, "32371F15", "354367282", 0, 0x6D},
                      ValueCase{0x05, "0000C841", "25.000000", 0, 0x5B},
                      ValueCase{0x05, "000020C0", "-2.500000", 0, 0x5B}, ValueCase{0x06, "FEFFFFFFFFFF", "-2", 0, 0x13},
                      ValueCase{0x07, "0000000000000080", "-9223372036854775808", 0, 0x13},
                      ValueCase{0x08, "", "Unknown DIF (0x08)", 0, 0x13},
                      ValueCase{0x48, "", "Unknown DIF (0x48)", 0, 0x13}, ValueCase{0x09, "12", "12", 0, 0x13},
                      ValueCase{0x0A, "ABCD", "-1", 0, 0x13}, ValueCase{0x0B, "563412", "123456", 0, 0x13},
                      ValueCase{0x0C, "27048502", "2850427", 0, 0x14},
                      ValueCase{0x0E, "123456789012", "129078563412", 0, 0x13}, ValueCase{0x0F, "", "", 0, 0},
                      ValueCase{0x0F, "01", "", 0, 0}, ValueCase{0x0F, "0102ABCD", "02ABCD", 0, 0},
                      ValueCase{0x1F, "AA00FF", "00FF", 0, 0}));

INSTANTIATE_TEST_SUITE_P(
    ByLvar, RecordValue,
    ::testing::Values(ValueCase{0x0D, "636261", "abc", 0x03, 0xFD}, ValueCase{0x0D, "", "", 0x00, 0xFD},
                      // A plain-text unit makes the value text whatever the LVAR byte says.
                      ValueCase{0x0D, "6261", "ab", 0xE2, 0x7C}, ValueCase{0x0D, "6261", "ab", 0xE2, 0xFC},
                      ValueCase{0x0D, "3412", "1234", 0xC2, 0x13}, ValueCase{0x0D, "3412", "-1234", 0xD2, 0x13},
                      ValueCase{0x0D, "0000", "0", 0xD2, 0x13}, ValueCase{0x0D, "3A12", "-1", 0xC2, 0x13},
                      ValueCase{0x0D, "3A12", "-1", 0xD2, 0x13},
                      // 36 digits: more than any integer holds, shown whole.
                      ValueCase{0x0D, "999999999999999999999999999999999999", "999999999999999999999999999999999999",
                                0xC9, 0x13},
                      ValueCase{0x0D, "010203", "010203", 0xE3, 0x13}, ValueCase{0x0D, "0A0B", "0A0B", 0xF6, 0x13},
                      ValueCase{0x0D, "", "Reserved lvar (0xf7)", 0xF7, 0x13},
                      ValueCase{0x0D, "", "Reserved lvar (0xca)", 0xCA, 0x13},
                      ValueCase{0x0D, "", "Reserved lvar (0xda)", 0xDA, 0x13}));

// Identifiers, counters and flags (types C and D) are no signed numbers.
TEST(RecordValue, FlagsAndIdentifiersStayUnsigned)
{
    const struct
    {
        unsigned char dif;
        unsigned char vif;
        unsigned char vife; // 0: none
        const char *data;
        const char *text;
    } cases[] = {
        {0x01, 0xFD, 0x17, "80", "128"},        // error flags
        {0x02, 0xFD, 0x17, "0080", "32768"},    // error flags
        {0x01, 0xFD, 0x08, "FE", "254"},        // access number
        {0x02, 0xFD, 0x0E, "FFFF", "65535"},    // firmware version
        {0x03, 0x78, 0, "FFFFFF", "16777215"},  // fabrication number
        {0x01, 0x7A, 0, "FD", "253"},           // bus address
        {0x01, 0xFD, 0x48, "FF", "-1"},         // a voltage is a number like any other
        {0x02, 0xFB, 0x1A, "FFFF", "-1"},       // so is a relative humidity
    };
    for (const auto &c : cases)
    {
        mbus_data_record record{};
        record.dif = c.dif;
        record.vif = c.vif;
        if (c.vife != 0)
        {
            record.vife[0] = c.vife;
            record.nvife = 1;
        }
        const std::vector<unsigned char> data = Hex(c.data);
        std::memcpy(record.data, data.data(), data.size());
        record.data_len = data.size();
        EXPECT_STREQ(mbus_data_record_decode(&record), c.text) << c.data << " vif " << int(c.vif);
    }
}

TEST(RecordValue, NullRecordGivesEmptyText)
{
    EXPECT_STREQ(mbus_data_record_decode(nullptr), "");
}

// The longest record data (a vendor record or LVAR text filling a frame)
// fits the value text.
TEST(RecordValue, LongestDataFitsTheText)
{
    mbus_data_record record{};
    record.dif = 0x0F;
    std::memset(record.data, 0xAB, sizeof record.data);
    record.data_len = sizeof record.data;
    EXPECT_EQ(std::strlen(mbus_data_record_decode(&record)), 2 * (sizeof record.data - 1));
    record.dif = 0x0D;
    record.lvar = 0x10;
    std::memset(record.data, 'x', sizeof record.data);
    EXPECT_EQ(std::string(mbus_data_record_decode(&record)), std::string(sizeof record.data, 'x'));
}

} // namespace
