#include "mbus-crc16.h"
#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using wmbus_test::FrameDataPtr;
using wmbus_test::Hex;
using wmbus_test::kMakerLink;
using wmbus_test::WFrame;

namespace
{

std::string Le16(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "%02X%02X ", value & 0xFF, (value >> 8) & 0xFF);
    return text;
}

uint16_t Crc(const std::string &hex)
{
    auto bytes = Hex(hex);
    return mbus_crc16(bytes.data(), bytes.size(), MBUS_CRC16_SKIP_FILL);
}

// A stored format frame (CI 0x69) and a compact frame (CI 0x79) that follows it.
struct CompactPair
{
    mbus_frame format{};
    mbus_frame compact{};

    // `structure`: DIF/VIF part; `values`: the compact data; `rebuilt`: what the
    // expansion should make of them (its CRC goes into the compact frame).
    CompactPair(const std::string &structure, const std::string &values, const std::string &rebuilt,
                int signatureAdjust = 0, int crcAdjust = 0)
    {
        uint16_t signature = Crc(structure);
        char length[4];
        std::snprintf(length, sizeof length, "%02X ", static_cast<unsigned>(Hex(structure).size() + 2));
        auto f = WFrame(std::string(kMakerLink) + "69 " + length + Le16(signature) + structure);
        auto c = WFrame(std::string(kMakerLink) + "79 " + Le16(signature + signatureAdjust) +
                        Le16(Crc(rebuilt) + crcAdjust) + values);
        parseRc = mbus_parse_wmbus(&format, f.data(), f.size()) | mbus_parse_wmbus(&compact, c.data(), c.size());
    }
    int parseRc = 0;
};

std::vector<unsigned char> Bytes(const unsigned char *bytes, size_t count)
{
    return std::vector<unsigned char>(bytes, bytes + count);
}

TEST(CompactFrame, ExpandsWithItsFormatFrame)
{
    CompactPair pair("0C 13 02 FD 17 0D 13 03 2F 2F 4D 93 3C 06 12 01", "27048502 0000 313233 2F 0100 0200",
                     "0C 13 27048502 02 FD 17 0000 0D 13 03 313233 2F 4D 93 3C 06 12 01 0100 0200");
    ASSERT_EQ(0, pair.parseRc) << mbus_error_str();
    FrameDataPtr data(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&pair.compact, data.get(), &pair.format)) << mbus_error_str();
    EXPECT_EQ(MBUS_DATA_TYPE_VARIABLE, data->type);
    ASSERT_EQ(4u, data->nrecords);
    const mbus_data_record *r = data->records;
    EXPECT_EQ(Hex("27048502"), Bytes(r->data, r->data_len));
    r = r->next;
    EXPECT_EQ(Hex("17"), Bytes(r->vife, r->nvife));
    EXPECT_EQ(Hex("0000"), Bytes(r->data, r->data_len));
    r = r->next;
    EXPECT_EQ(Hex("313233"), Bytes(r->data, r->data_len));
    r = r->next;
    EXPECT_EQ(6, r->compact_length);
    EXPECT_EQ(0x12, r->spacing_control);
    EXPECT_EQ(Hex("0100 0200"), Bytes(r->data, r->data_len));
    // The rebuilt frame is gone after the call; the raw data are the caller's.
    EXPECT_EQ(pair.compact.data, data->raw_data);
    EXPECT_EQ(pair.compact.data_size, data->raw_data_len);
    EXPECT_EQ(Hex("78563412"), Bytes(data->header.id_bcd, 4));
}

TEST(CompactFrame, ExpansionKeepsItsOwnLvarRule)
{
    // 0xF5 counts 5 bytes here (the record parse would count 36).
    CompactPair pair("0D FD 0B F5", "0102030405", "0D FD 0B F5 0102030405");
    ASSERT_EQ(0, pair.parseRc);
    FrameDataPtr data(mbus_frame_data_new());
    EXPECT_EQ(-1, mbus_frame_data_parse(&pair.compact, data.get(), &pair.format));
    EXPECT_STREQ("Premature end of record at data.", mbus_error_str());
}

TEST(CompactFrame, Failures)
{
    struct Case
    {
        const char *name;
        const char *structure;
        const char *values;
        int signatureAdjust;
        int crcAdjust;
        const char *error;
    } cases[] = {
        {"signature differs", "04 13", "11223344", 1, 0, "Format description id do not match"},
        {"vendor DIF", "0F 13", "11223344", 0, 0, "Unsupported DIF"},
        {"plain-text VIF", "04 7C", "11223344", 0, 0, "Unsupported VIF"},
        {"DIF extension at the end", "84", "11223344", 0, 0, "Premature end of record at DIF."},
        {"no VIF", "04", "11223344", 0, 0, "Premature end of record at DIF."},
        {"VIF extension at the end", "04 93", "11223344", 0, 0, "Premature end of record at VIF."},
        {"no LVAR", "0D 13", "11223344", 0, 0, "Premature end of record at VIF."},
        {"profile bytes missing", "0D 93 3C 04 12", "11223344", 0, 0, "Premature end of compact format info."},
        {"profile shorter than its bytes", "0D 93 3C 01 12 01", "11223344", 0, 0, "compact frame data size error"},
        {"values cut", "04 13", "1122", 0, 0, "Premature end of record at data."},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        CompactPair pair(c.structure, c.values, "", c.signatureAdjust, c.crcAdjust);
        ASSERT_EQ(0, pair.parseRc);
        FrameDataPtr data(mbus_frame_data_new());
        EXPECT_EQ(-1, mbus_frame_data_parse(&pair.compact, data.get(), &pair.format));
        EXPECT_STREQ(c.error, mbus_error_str());
    }
}

TEST(CompactFrame, FullFrameCrcMustMatch)
{
    CompactPair pair("04 13", "11223344", "04 13 11223344", 0, 1);
    ASSERT_EQ(0, pair.parseRc);
    FrameDataPtr data(mbus_frame_data_new());
    EXPECT_EQ(-1, mbus_frame_data_parse(&pair.compact, data.get(), &pair.format));
    char expected[64];
    uint16_t crc = Crc("04 13 11223344");
    std::snprintf(expected, sizeof expected, "Full-frame data crc error %x != %x", static_cast<uint16_t>(crc + 1), crc);
    EXPECT_STREQ(expected, mbus_error_str());
}

TEST(CompactFrame, RebuiltDataMustFitAFrame)
{
    // 29 records of 10 bytes each rebuild to 290 bytes.
    std::string structure, values;
    for (int i = 0; i < 29; ++i)
    {
        structure += "07 13 ";
        values += "0102030405060708 ";
    }
    CompactPair pair(structure, values, "");
    ASSERT_EQ(0, pair.parseRc);
    FrameDataPtr data(mbus_frame_data_new());
    EXPECT_EQ(-1, mbus_frame_data_parse(&pair.compact, data.get(), &pair.format));
    EXPECT_STREQ("Frame to large", mbus_error_str());
}

TEST(CompactFrame, MissingArguments)
{
    mbus_frame frame{};
    FrameDataPtr data(mbus_frame_data_new());
    EXPECT_EQ(-4, mbus_compact_frame_expand(&frame, 0, nullptr, data.get()));
    EXPECT_STREQ("Input parameter error", mbus_error_str());
    EXPECT_EQ(-4, mbus_compact_frame_expand(nullptr, 0, &frame, data.get()));
    EXPECT_EQ(-4, mbus_compact_frame_expand(&frame, 0, &frame, nullptr));
}

TEST(CompactCodecs, IsCompactProfile)
{
    EXPECT_TRUE(mbus_is_compact_profile(0x0D, 0x93));
    EXPECT_TRUE(mbus_is_compact_profile(0x4D, 0xFC));
    EXPECT_FALSE(mbus_is_compact_profile(0x0D, 0x13));
    EXPECT_FALSE(mbus_is_compact_profile(0x04, 0x93));
    for (unsigned char vif : {0xEF, 0xFB, 0xFD, 0xFF})
        EXPECT_FALSE(mbus_is_compact_profile(0x0D, vif)) << int(vif);
}

TEST(CompactCodecs, ValueDecode)
{
    struct Case
    {
        const char *bytes;
        unsigned char spacingControl;
        int rc;
        long long value;
    } cases[] = {
        {"FE", 0x00, 0, -2},           {"FE", 0x40, 0, 254},         {"FE", 0x80, 0, 254},
        {"FE", 0xC0, 0, -2},           {"0180", 0x00, 0, -32767},    {"0080", 0x40, 0, 32768},
        // The no-value marker follows the signedness of the mode; all ones is -1 where signed.
        {"0080", 0x00, -1, 0},         {"0080", 0xC0, -1, 0},        {"FF", 0x00, 0, -1},
        {"FFFF", 0xC0, 0, -1},         {"FFFF", 0x40, -1, 0},        {"FFFF", 0x80, -1, 0},
        {"FEFFFFFFFFFFFFFF", 0x00, 0, -2}, {"010203", 0x00, 0, 0x030201},
    };
    for (const auto &c : cases)
    {
        auto bytes = Hex(c.bytes);
        long long value = 0;
        EXPECT_EQ(c.rc, mbus_compact_value_decode(bytes.data(), bytes.size(), &value, c.spacingControl)) << c.bytes;
        if (c.rc == 0)
        {
            EXPECT_EQ(c.value, value) << c.bytes;
        }
    }
    long long value = 0;
    unsigned char byte = 1;
    EXPECT_EQ(-1, mbus_compact_value_decode(&byte, 0, &value, 0));
    EXPECT_EQ(-1, mbus_compact_value_decode(nullptr, 1, &value, 0));
}

TEST(CompactCodecs, NoValueMarker)
{
    struct Case
    {
        int code;
        const char *bytes;
        unsigned char spacingControl; // bits 7-6: the increment mode
        bool noValue;
    } cases[] = {
        {2, "0080", 0x02, true},       {2, "0080", 0xC2, true},  {2, "0000", 0x02, false}, {2, "FFFF", 0x02, false},
        {2, "FFFF", 0x42, true},       {2, "FFFF", 0x82, true},  {2, "FFFE", 0x42, false}, {1, "80", 0x01, true},
        {2, "0080", 0x42, false},      {5, "00000080", 0x05, false}, {0, "80", 0x00, false},
        // The spacing unit in bits 5-4 has no say in it.
        {2, "0080", 0x32, true},
    };
    for (const auto &c : cases)
    {
        auto bytes = Hex(c.bytes);
        EXPECT_EQ(c.noValue, mbus_compact_no_value(c.code, bytes.data(), c.spacingControl) != 0)
            << c.code << " " << c.bytes << " " << int(c.spacingControl);
    }
}

TEST(CompactCodecs, TimeStep)
{
    struct Case
    {
        unsigned char spacingControl, spacingValue;
        int rc;
        const char *after;
    } cases[] = {
        {0x00, 30, 0, "2024-01-31 10:00:30"},   {0x10, 15, 0, "2024-01-31 10:15:00"},
        {0x20, 250, 0, "2024-02-10 20:00:00"},  {0x30, 1, 0, "2024-02-01 10:00:00"},
        {0x30, 253, 0, "2024-02-15 10:00:00"},  {0x30, 254, 0, "2024-03-02 10:00:00"},
        {0x20, 254, 0, "2024-05-01 10:00:00"},  {0x10, 254, 0, "2024-07-31 10:00:00"},
        {0x00, 254, -1, "2024-01-31 10:00:00"}, {0x10, 253, -1, "2024-01-31 10:00:00"},
        {0x30, 251, -1, "2024-01-31 10:00:00"}, {0x30, 0, 0, "2024-01-31 10:00:00"},
    };
    for (const auto &c : cases)
    {
        struct tm time
        {
        };
        time.tm_year = 124;
        time.tm_mon = 0;
        time.tm_mday = 31;
        time.tm_hour = 10;
        time.tm_isdst = 1;
        EXPECT_EQ(c.rc, mbus_compact_time_step(c.spacingControl, c.spacingValue, &time));
        char text[32];
        std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &time);
        EXPECT_STREQ(c.after, text) << int(c.spacingControl) << " " << int(c.spacingValue);
        EXPECT_EQ(1, time.tm_isdst);
    }
}

// Frame data holding a reference time, a reference value and a profile.
struct Profile
{
    mbus_frame frame{};
    FrameDataPtr data{mbus_frame_data_new()};
    const mbus_data_record *profile = nullptr;

    explicit Profile(const std::string &records)
    {
        auto input = WFrame(std::string(kMakerLink) + "7A 2A 00 0000 " + records);
        EXPECT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
        EXPECT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr)) << mbus_error_str();
        for (const mbus_data_record *r = data->records; r; r = r->next)
            if (r->compact_length != 0)
                profile = r;
    }

    std::string Render(size_t capacity = 16384)
    {
        std::vector<char> buffer(capacity);
        size_t n = mbus_compact_profile_xml(buffer.data(), buffer.size(), profile, data.get());
        EXPECT_EQ(n, std::string(buffer.data()).size());
        return buffer.data();
    }
};

// Storage 1: date 2024-03-01 (type G), volume 1000 (m m^3); the profiles follow.
const std::string kDate = "42 6C 0133 ";
const std::string kVolume = "44 13 E8030000 ";

std::string Line(const char *unit, int storage, const std::string &value)
{
    return std::string("        <record type=\"inst\" unit=\"") + unit + "\" storage=\"" + std::to_string(storage) +
           "\">" + value + "</record>\n";
}

// Type G dates as the profile lines print them (year within the century in bits 5-7 and 12-15).
constexpr const char *kMarch2 = "13058"; // 2024-03-02
constexpr const char *kMarch3 = "13059";
constexpr const char *kMarch4 = "13060";
constexpr const char *kMarch5 = "13061";

TEST(CompactProfile, ElementsBecomeTimeAndValueLines)
{
    // Positive increments (bits 7-6 01), days, 16-bit elements. Element i stands at storage
    // S + 1 + i in its time line and in its value line.
    Profile p(kDate + kVolume + "4D 93 3C 0A 72 01 0100 0200 0300 0400");
    ASSERT_NE(nullptr, p.profile);
    std::string expected = Line("Time Point (date)", 2, kMarch2) + Line("Volume (m m^3)", 2, "1001") +
                           Line("Time Point (date)", 3, kMarch3) + Line("Volume (m m^3)", 3, "1003") +
                           Line("Time Point (date)", 4, kMarch4) + Line("Volume (m m^3)", 4, "1006") +
                           Line("Time Point (date)", 5, kMarch5) + Line("Volume (m m^3)", 5, "1010");
    EXPECT_EQ(expected, p.Render());
}

TEST(CompactProfile, ValuesFollowTheIncrementMode)
{
    const struct
    {
        const char *name;
        const char *controlAndElements; // spacing control, spacing value 1, four 16-bit elements
        std::vector<const char *> values; // one per element shown, storage 2 on
    } cases[] = {
        // Absolute values: each element is the value itself, whatever the reference says.
        {"absolute", "32 01 6300 3400 0A00 0000", {"99", "52", "10", "0"}},
        {"absolute, signed", "32 01 FFFF 9CFF 0100 0000", {"-1", "-100", "1", "0"}},
        {"positive increments", "72 01 6300 3400 0A00 0000", {"1099", "1151", "1161", "1161"}},
        {"negative increments", "B2 01 6300 3400 0A00 0000", {"901", "849", "839", "839"}},
        {"signed differences", "F2 01 FFFF 0300 9CFF 0000", {"999", "1002", "902", "902"}},
        // Unsigned elements: 0xFFFF is no number but the no-value marker.
        {"positive increments, 0xFFFF large", "72 01 FEFF 0100 0000 0000", {"66534", "66535", "66535", "66535"}},
    };
    for (const auto &c : cases)
    {
        Profile p(kDate + kVolume + "4D 93 3C 0A " + c.controlAndElements);
        std::string expected;
        const char *dates[] = {kMarch2, kMarch3, kMarch4, kMarch5};
        for (size_t i = 0; i < c.values.size(); ++i)
            expected += Line("Time Point (date)", 2 + static_cast<int>(i), dates[i]) +
                        Line("Volume (m m^3)", 2 + static_cast<int>(i), c.values[i]);
        EXPECT_EQ(expected, p.Render()) << c.name;
    }
}

TEST(CompactProfile, LastOneByteElementIsNotRendered)
{
    // The running value is shown whole: 1-byte increments of a 1000 m m^3 reference.
    Profile p(kDate + kVolume + "4D 93 3C 05 71 01 01 02 03");
    std::string expected = Line("Time Point (date)", 2, kMarch2) + Line("Volume (m m^3)", 2, "1001") +
                           Line("Time Point (date)", 3, kMarch3) + Line("Volume (m m^3)", 3, "1003");
    EXPECT_EQ(expected, p.Render());
}

TEST(CompactProfile, NoValueMarkersLeaveAGap)
{
    // Unsigned increments: all ones. The element has no lines, its storage number stays
    // taken, the running value is unchanged and the series goes on.
    Profile unsignedGap(kDate + kVolume + "4D 93 3C 08 72 01 0100 FFFF 0100");
    EXPECT_EQ(Line("Time Point (date)", 2, kMarch2) + Line("Volume (m m^3)", 2, "1001") +
                  Line("Time Point (date)", 4, kMarch4) + Line("Volume (m m^3)", 4, "1002"),
              unsignedGap.Render());

    // Signed differences: 0x8000; all ones is -1 there.
    Profile signedGap(kDate + kVolume + "4D 93 3C 08 F2 01 0080 FFFF 0100");
    EXPECT_EQ(Line("Time Point (date)", 3, kMarch3) + Line("Volume (m m^3)", 3, "999") +
                  Line("Time Point (date)", 4, kMarch4) + Line("Volume (m m^3)", 4, "1000"),
              signedGap.Render());
}

TEST(CompactProfile, InvalidStepLeavesTheTime)
{
    // Spacing unit seconds with value 254.
    Profile p(kDate + kVolume + "4D 93 3C 06 42 FE 0100 0100");
    EXPECT_EQ(Line("Time Point (date)", 2, "13057") + Line("Volume (m m^3)", 2, "1001") +
                  Line("Time Point (date)", 3, "13057") + Line("Volume (m m^3)", 3, "1002"),
              p.Render());
}

TEST(CompactProfile, TimePointsReadBackAsTheirDates)
{
    // Type F 2009-03-01 10:00 at storage 2 (DIFE 01), one element an hour: the time lines
    // hold 2009-03-01 11:00 and 12:00 packed as the reference was (00 0B 21 13 read as one
    // number, and 00 0C 21 13).
    Profile p("84 01 6D 000A2113 84 01 13 0A000000 8D 01 93 3C 06 62 01 0100 0100");
    const std::string head = "        <record type=\"inst\" unit=\"";
    const std::string tail = "\" tariff=\"0\" subunit=\"0\">";
    EXPECT_EQ(head + "Time Point (time / date)\" storage=\"3" + tail + "320932608</record>\n" + head +
                  "Volume (m m^3)\" storage=\"3" + tail + "11</record>\n" + head +
                  "Time Point (time / date)\" storage=\"4" + tail + "320932864</record>\n" + head +
                  "Volume (m m^3)\" storage=\"4" + tail + "12</record>\n",
              p.Render());

    // A type G reference of 2026-02-09 (49 32): the first day after it packs as 4A 32, which
    // the date decode reads back as 2026, not 2126.
    Profile g("42 6C 4932 44 13 E8030000 4D 93 3C 04 72 01 0100");
    EXPECT_EQ(Line("Time Point (date)", 2, "12874") + Line("Volume (m m^3)", 2, "1001"), g.Render());
    const unsigned char packed[] = {12874 & 0xFF, 12874 >> 8};
    struct tm time
    {
    };
    mbus_data_tm_decode(&time, packed, sizeof packed);
    EXPECT_EQ(126, time.tm_year);
    EXPECT_EQ(1, time.tm_mon);
    EXPECT_EQ(10, time.tm_mday);
}

TEST(CompactProfile, MissingReferences)
{
    Profile noTime(kVolume + "4D 93 3C 06 72 01 0100 0100");
    EXPECT_EQ("", noTime.Render());
    EXPECT_STREQ("Reference time record not found.", mbus_error_str());
}

TEST(CompactProfile, TooSmallBufferReportsTheLengthNeeded)
{
    Profile p(kDate + kVolume + "4D 93 3C 0A 72 01 0100 0200 0300 0400");
    std::string whole = p.Render();
    std::vector<char> small(100, 'x');
    size_t needed = mbus_compact_profile_xml(small.data(), small.size(), p.profile, p.data.get());
    EXPECT_EQ(whole.size(), needed);
    EXPECT_LT(std::string(small.data()).size(), small.size());
    EXPECT_EQ(whole.size(), mbus_compact_profile_xml(nullptr, 0, p.profile, p.data.get()));
}

TEST(CompactProfile, RecordHeadEscapesOnlyThePlainTextUnit)
{
    mbus_data_record record{};
    record.dif = 0x04;
    record.vif = 0x7C;
    char line[512];
    mbus_data_record_xml_head(line, sizeof line, &record, 1, "a\"b<c");
    EXPECT_STREQ("        <record type=\"inst\" unit=\"a&quot;b&lt;c\" storage=\"1\"", line);

    record.vif = 0xFD;
    record.dif = 0x84;
    record.ndife = 1;
    record.dife[0] = 0x50;
    mbus_data_record_xml_head(line, sizeof line, &record, 1LL << 40, "Reserved VIF extension\" vife=\"0x73");
    EXPECT_STREQ("        <record type=\"inst\" unit=\"Reserved VIF extension\" vife=\"0x73\" "
                 "storage=\"1099511627776\" tariff=\"1\" subunit=\"1\"",
                 line);
}

} // namespace
