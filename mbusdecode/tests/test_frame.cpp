#include "mbus-crc16.h"
#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using wmbus_test::Hex;
using wmbus_test::kMakerLink;
using wmbus_test::WFrame;

namespace
{

std::string Link(const std::string &rest)
{
    return std::string(kMakerLink) + rest;
}

std::vector<unsigned char> Data(const mbus_frame &frame)
{
    return std::vector<unsigned char>(frame.data, frame.data + frame.data_size);
}

struct ParseCase
{
    const char *name;
    std::vector<unsigned char> input;
    int rc;
    unsigned char ci;
    std::vector<unsigned char> data;
    const char *error;
};

// Appends the signature of a format frame (length byte, CRC low byte first)
// in front of its DIF/VIF part.
std::string FormatFrame(const std::string &header, const std::string &difVif, int lengthAdjust = 0, int crcAdjust = 0)
{
    std::vector<unsigned char> part = Hex(difVif);
    uint16_t crc = static_cast<uint16_t>(mbus_crc16(part.data(), part.size(), MBUS_CRC16_SKIP_FILL) + crcAdjust);
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "%02X %02X%02X ", static_cast<unsigned>(part.size() + 2 + lengthAdjust),
                  crc & 0xFF, crc >> 8);
    return header + prefix + difVif;
}

TEST(ParseWmbus, TableOfFrames)
{
    const ParseCase cases[] = {
        {"no header", WFrame(Link("78 0413 11223344")), 0, 0x78, Hex("0413 11223344"), "no errors"},
        {"short header", WFrame(Link("7A 2A 00 0000 0413 11223344")), 0, 0x7A, Hex("0413 11223344"), "no errors"},
        {"long header", WFrame(Link("72 21436587 4204 02 03 2A 00 0000 0413 11223344")), 0, 0x72, Hex("0413 11223344"),
         "no errors"},
        {"mode 5 skips two bytes whatever they are", WFrame(Link("7A 2A 00 0005 AB CD 0413 11223344")), 0, 0x7A,
         Hex("0413 11223344"), "no errors"},
        {"short header, no data (L 17)", WFrame(Link("7A 2A 00 0000")), 0, 0x7A, {}, "no errors"},
        {"long header, no data (L 25)", WFrame(Link("80 21436587 4204 02 03 2A 00 0000")), 0, 0x80, {}, "no errors"},
        {"maker short CI", WFrame(Link("A1 2A 00 0000 01")), 0, 0xA1, Hex("01"), "no errors"},
        {"maker long CI", WFrame(Link("A0 21436587 D26A 01 07 2A 00 0000 01")), 0, 0xA0, Hex("01"), "no errors"},
        {"unsupported CI keeps the CI with its data", WFrame(Link("8C 20 12 34")), -2, 0x8C, Hex("8C 20 12 34"),
         "unsupported CI field 0x8C"},
        {"bad C-field nibble", WFrame("45 D26A 78563412 01 07 7A 2A 00 0000"), -2, 0, {}, "Unsupported C-field 0x45"},
        {"first byte not 0x68", Hex("69 10 44"), -4, 0, {}, "Start character not found"},
        {"two bytes", Hex("68 20"), 1, 0, {}, "Frame incomplete: 1 bytes missing"},
        {"link header overlaps the trailer", Hex("68 0C 44 D26A 78563412 01 07 7A 00 00 16"), -2, 0, {},
         "Frame too short for its link header"},
        {"short header cut by the trailer", WFrame(Link("7A 2A 00 00")), -2, 0x7A, {},
         "Frame too short for its transport header"},
        {"long header cut by the trailer", WFrame(Link("72 21436587 4204 02 03 2A 00")), -2, 0x72, {},
         "Frame too short for its transport header"},
        {"mode 5 without its two bytes", WFrame(Link("7A 2A 00 0005 AB")), -2, 0x7A, Hex("AB"),
         "Frame too short for its verification bytes"},
        // The mode is five bits wide: mode 21 is no mode 5, and its first two bytes are data.
        {"mode 21 keeps its first two bytes", WFrame(Link("7A 2A 00 0015 2F2F 0413")), 0, 0x7A, Hex("2F2F 0413"),
         "no errors"},
        {"compact frame shorter than signature and CRC", WFrame(Link("79 1234 56")), -2, 0x79, Hex("1234 56"),
         "Compact frame too short for its signature and CRC"},
        {"format frame shorter than its signature", WFrame(Link("69 04 12")), -2, 0x69, Hex("04 12"),
         "Format frame too short for its signature"},
        {"format frame, right signature", WFrame(FormatFrame(Link("69 "), "04 13 02 FD 17")), 0, 0x69,
         Hex("04 13 02 FD 17"), "no errors"},
        {"format frame, short header, trailing fill left out of the signature",
         WFrame(FormatFrame(Link("6A 2A 00 0000 "), "04 13 2F 2F")), 0, 0x6A, Hex("04 13 2F 2F"), "no errors"},
        {"format frame, wrong length below 2", WFrame(FormatFrame(Link("69 "), "04 13", -3)), -3, 0x69, Hex("04 13"),
         "Invalid format length (1)"},
        {"format frame, length beyond the data", WFrame(FormatFrame(Link("69 "), "04 13", 1)), -3, 0x69, Hex("04 13"),
         "Invalid format length (5)"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        mbus_frame frame{};
        int rc = mbus_parse_wmbus(&frame, c.input.data(), c.input.size());
        EXPECT_EQ(c.rc, rc);
        EXPECT_EQ(c.ci, frame.control_information);
        EXPECT_EQ(c.data, Data(frame));
        EXPECT_STREQ(c.error, mbus_error_str());
    }
}

TEST(ParseWmbus, WrongFormatSignatureFailsVerification)
{
    auto input = WFrame(FormatFrame(Link("69 "), "04 13 02 FD 17", 0, 1));
    mbus_frame frame{};
    EXPECT_EQ(-3, mbus_parse_wmbus(&frame, input.data(), input.size()));
    std::vector<unsigned char> part = Hex("04 13 02 FD 17");
    char expected[64];
    uint16_t crc = mbus_crc16(part.data(), part.size(), MBUS_CRC16_SKIP_FILL);
    std::snprintf(expected, sizeof expected, "Invalid format signature (0x%.4x != 0x%.4x)",
                  static_cast<uint16_t>(crc + 1), crc);
    EXPECT_STREQ(expected, mbus_error_str());
}

TEST(ParseWmbus, FillsLinkTransportAndTrailerFields)
{
    auto input = WFrame(Link("72 21436587 4204 02 03 2A 04 1005 AABB 0413 11223344"), 0x81);
    input[input.size() - 3] = 0x5C; // trailer x
    input[input.size() - 2] = 0x5D; // trailer y
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    EXPECT_EQ(MBUS_FRAME_TYPE_WIRELESS, frame.type);
    EXPECT_EQ(0x68, frame.start1);
    EXPECT_EQ(0x68, frame.start2);
    EXPECT_EQ(input[1], frame.length1);
    EXPECT_EQ(0x44, frame.length2);
    EXPECT_EQ(0x44, frame.control);
    EXPECT_EQ(Hex("D26A 78563412 01 07"), std::vector<unsigned char>(frame.link_address, frame.link_address + 8));
    EXPECT_EQ(Hex("21436587 4204 02 03"),
              std::vector<unsigned char>(frame.transport_address, frame.transport_address + 8));
    EXPECT_EQ(0x2A, frame.access_number);
    EXPECT_EQ(0x04, frame.status);
    EXPECT_EQ(0x10, frame.configuration_word[0]);
    EXPECT_EQ(0x05, frame.configuration_word[1]);
    EXPECT_EQ(0xAA, frame.header_follow_up[0]);
    EXPECT_EQ(0xBB, frame.header_follow_up[1]);
    EXPECT_EQ(0x81, frame.rssi);
    EXPECT_EQ(0x5C, frame.checksum);
    EXPECT_EQ(0x5D, frame.trailer);
    EXPECT_EQ(0x16, frame.stop);
    EXPECT_EQ(Hex("0413 11223344"), Data(frame));
    EXPECT_NE(0, frame.timestamp);
    EXPECT_EQ(nullptr, frame.next);
}

TEST(ParseWmbus, InputOneByteShortReportsOneMissing)
{
    auto input = WFrame(Link("7A 2A 00 0000 0413 11223344"));
    mbus_frame frame{};
    EXPECT_EQ(1, mbus_parse_wmbus(&frame, input.data(), input.size() - 1));
    EXPECT_EQ(10, mbus_parse_wmbus(&frame, input.data(), input.size() - 10));
}

TEST(ParseWmbus, TrailerIsTakenFromTheEndOfALongerInput)
{
    // A stray byte after what L covers: the data follow L, the trailer the input's end.
    auto input = WFrame(Link("7A 2A 00 0000 0413 11223344"), 0x40);
    input.insert(input.end() - 4, 0xEE);
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    EXPECT_EQ(0x40, frame.rssi);
    EXPECT_EQ(0x16, frame.stop);
    EXPECT_EQ(Hex("0413 11223344"), Data(frame));
}

TEST(ParseWmbus, MissingStopByteFailsVerification)
{
    auto input = WFrame(Link("7A 2A 00 0000 0413 11223344"));
    input.back() = 0x17;
    mbus_frame frame{};
    EXPECT_EQ(-3, mbus_parse_wmbus(&frame, input.data(), input.size()));
}

TEST(ParseWmbus, CompactFrameTakesSignatureAndFullFrameCrc)
{
    auto input = WFrame(Link("7B 2A 00 0000 3412 7856 0102"));
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    EXPECT_EQ(0x1234, frame.format_signature);
    EXPECT_EQ(0x5678, frame.full_frame_crc);
    EXPECT_EQ(Hex("0102"), Data(frame));
}

TEST(ParseWmbus, FailedParseLeavesNothingOfThePreviousFrame)
{
    mbus_frame frame{};
    auto good = WFrame(Link("72 21436587 4204 02 03 2A 04 0000 0413 11223344"));
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, good.data(), good.size()));
    auto unsupported = WFrame(Link("8C 00"));
    ASSERT_EQ(-2, mbus_parse_wmbus(&frame, unsupported.data(), unsupported.size()));
    EXPECT_STREQ("unsupported CI field 0x8C", mbus_error_str());

    auto bad = Hex("69 10 44");
    EXPECT_EQ(-4, mbus_parse_wmbus(&frame, bad.data(), bad.size()));
    EXPECT_STREQ("Start character not found", mbus_error_str());
    EXPECT_EQ(0u, frame.data_size);
    EXPECT_EQ(0, frame.link_address[0]);
    EXPECT_EQ(0, frame.transport_address[0]);
    EXPECT_EQ(0, frame.access_number);
    EXPECT_EQ(0, frame.rssi);
}

TEST(ParseWmbus, NullArguments)
{
    mbus_frame frame{};
    unsigned char byte = 0x68;
    EXPECT_EQ(-1, mbus_parse_wmbus(nullptr, &byte, 1));
    EXPECT_EQ(-1, mbus_parse_wmbus(&frame, nullptr, 1));
    EXPECT_EQ(3, mbus_parse_wmbus(&frame, &byte, 0));
}

TEST(ParseWmbus, AcceptsEveryWirelessControlNibble)
{
    for (int nibble = 0; nibble < 16; ++nibble)
    {
        char control[4];
        std::snprintf(control, sizeof control, "%X%X", 4, nibble);
        auto input = WFrame(std::string(control) + " D26A 78563412 01 07 7A 2A 00 0000");
        mbus_frame frame{};
        bool accepted = nibble == 0 || nibble == 3 || nibble == 4 || nibble == 6 || nibble == 7 || nibble == 8;
        EXPECT_EQ(accepted ? 0 : -2, mbus_parse_wmbus(&frame, input.data(), input.size())) << control;
    }
}

TEST(ParseWmbus, LongestFrameFitsTheDataBuffer)
{
    // L 255 with no header: 242 data bytes.
    std::string body = Link("78");
    for (int i = 0; i < 242; ++i)
        body += " 01";
    auto input = WFrame(body);
    ASSERT_EQ(0xFF, input[1]);
    mbus_frame frame{};
    EXPECT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    EXPECT_EQ(242u, frame.data_size);
}

TEST(ErrorText, SetResetAndTruncation)
{
    mbus_error_str_set("first");
    EXPECT_STREQ("first", mbus_error_str());
    mbus_error_str_set(nullptr);
    EXPECT_STREQ("first", mbus_error_str());
    std::string longText(600, 'x');
    mbus_error_str_set(longText.c_str());
    EXPECT_EQ(511u, std::string(mbus_error_str()).size());
    mbus_error_reset();
    EXPECT_STREQ("no errors", mbus_error_str());
}

TEST(ParseWmbus, DebugFlagPrintsTheInput)
{
    auto input = Hex("68 01");
    mbus_frame frame{};
    testing::internal::CaptureStdout();
    mbus_set_debug(1);
    mbus_parse_wmbus(&frame, input.data(), input.size());
    mbus_set_debug(0);
    EXPECT_EQ("mbusdecode: Attempting to parse binary data [size = 2]\n68 01 \nmbusdecode: done.\n",
              testing::internal::GetCapturedStdout());
}

} // namespace

namespace
{

TEST(ParseWmbus, EveryAcceptedCiTakesItsClassHeader)
{
    struct Class
    {
        const char *header;
        std::vector<int> cis;
    } classes[] = {
        {"", {0x51, 0x69, 0x70, 0x71, 0x78, 0x79}},
        {"2A 04 1000 ", {0x5A, 0x6A, 0x6E, 0x74, 0x7A, 0x7B, 0x8A, 0xA1, 0xA3, 0xA5, 0xA7, 0xA9, 0xAA}},
        {"21436587 4204 02 03 2A 04 1000 ",
         {0x5B, 0x6B, 0x6F, 0x72, 0x73, 0x75, 0x80, 0x8B, 0xA0, 0xA2, 0xA4, 0xA6, 0xA8}},
    };
    for (const auto &c : classes)
        for (int ci : c.cis)
        {
            char text[4];
            std::snprintf(text, sizeof text, "%02X ", ci);
            std::string data = "55";
            if (ci >= 0x69 && ci <= 0x6B)
                data = FormatFrame("", "55");
            else if (ci == 0x73 || ci == 0x79 || ci == 0x7B)
                data = "3412 7856 55";
            auto input = WFrame(Link(text) + c.header + data);
            mbus_frame frame{};
            ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size())) << text;
            EXPECT_EQ(Hex("55"), Data(frame)) << text;
            EXPECT_EQ(ci, frame.ci);
            EXPECT_EQ(*c.header ? 0x2A : 0, frame.access_number) << text;
            EXPECT_EQ(std::string(c.header).size() > 12 ? 0x21 : 0, frame.transport_address[0]) << text;
        }
}

} // namespace
