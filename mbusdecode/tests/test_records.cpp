#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

using wmbus_test::FrameDataPtr;
using wmbus_test::Hex;
using wmbus_test::kMakerLink;
using wmbus_test::kOtherLink;
using wmbus_test::WFrame;

namespace
{

// A parsed frame and its decoded data.
struct Decoded
{
    mbus_frame frame{};
    FrameDataPtr data{mbus_frame_data_new()};
    int parseRc = 0;
    int dataRc = 0;

    explicit Decoded(const std::vector<unsigned char> &input)
    {
        parseRc = mbus_parse_wmbus(&frame, input.data(), input.size());
        if (parseRc == 0)
            dataRc = mbus_frame_data_parse(&frame, data.get(), nullptr);
    }

    std::vector<const mbus_data_record *> Records() const
    {
        std::vector<const mbus_data_record *> list;
        for (const mbus_data_record *r = data->records; r; r = r->next)
            list.push_back(r);
        return list;
    }
};

// Records of an unheaded frame (CI 0x78) of the maker's module.
Decoded Records(const std::string &records)
{
    return Decoded(WFrame(std::string(kMakerLink) + "78 " + records));
}

std::vector<unsigned char> Bytes(const unsigned char *bytes, size_t count)
{
    return std::vector<unsigned char>(bytes, bytes + count);
}

std::string Repeat(const std::string &text, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += text;
    return out;
}

TEST(DataRecords, EveryDifDataLength)
{
    struct Case
    {
        unsigned char dif;
        size_t length;
    } cases[] = {{0x00, 0}, {0x01, 1}, {0x02, 2}, {0x03, 3}, {0x04, 4}, {0x05, 4}, {0x06, 6},
                 {0x07, 8}, {0x08, 0}, {0x09, 1}, {0x0A, 2}, {0x0B, 3}, {0x0C, 4}, {0x0E, 6}};
    for (const auto &c : cases)
    {
        char dif[4];
        std::snprintf(dif, sizeof dif, "%02X", c.dif);
        EXPECT_EQ(static_cast<int>(c.length), mbus_dif_datalength_lookup(c.dif)) << dif;
        // The record, then a one-byte record that must start right after it.
        Decoded d = Records(std::string(dif) + " 13 " + Repeat("A5", static_cast<int>(c.length)) + " 01 13 42");
        ASSERT_EQ(0, d.dataRc) << dif << " " << mbus_error_str();
        auto records = d.Records();
        ASSERT_EQ(2u, records.size()) << dif;
        EXPECT_EQ(c.dif, records[0]->dif);
        EXPECT_EQ(0x13, records[0]->vif);
        EXPECT_EQ(std::vector<unsigned char>(c.length, 0xA5), Bytes(records[0]->data, records[0]->data_len));
        EXPECT_EQ(0x42, records[1]->data[0]) << dif;
        EXPECT_EQ(2u, d.data->nrecords);
    }
}

TEST(DataRecords, VariableLengthKinds)
{
    struct Case
    {
        const char *lvar;
        size_t length;
    } cases[] = {{"00", 0},  {"05", 5}, {"BF", 191}, {"C3", 6},  {"CF", 30}, {"D2", 4},
                 {"DF", 30}, {"E4", 4}, {"EF", 15},  {"F0", 16}, {"F5", 36}, {"FA", 56}};
    for (const auto &c : cases)
    {
        Decoded d = Records(std::string("0D 13 ") + c.lvar + " " + Repeat("5A", static_cast<int>(c.length)));
        ASSERT_EQ(0, d.dataRc) << c.lvar << " " << mbus_error_str();
        auto records = d.Records();
        ASSERT_EQ(1u, records.size()) << c.lvar;
        EXPECT_EQ(Hex(c.lvar)[0], records[0]->lvar);
        EXPECT_EQ(c.length, records[0]->data_len) << c.lvar;
    }
}

TEST(DataRecords, ReservedLvarIsNotConsumedAndStartsTheNextRecord)
{
    // FB: no data; the next record begins at FB (DIF with extension, DIFE 00, VIF 13, 3 bytes).
    Decoded d = Records("0D 13 FB 00 13 010203");
    ASSERT_EQ(0, d.dataRc) << mbus_error_str();
    auto records = d.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(0xFB, records[0]->lvar);
    EXPECT_EQ(0u, records[0]->data_len);
    EXPECT_EQ(0xFB, records[1]->dif);
    EXPECT_EQ(1u, records[1]->ndife);
    EXPECT_EQ(Hex("010203"), Bytes(records[1]->data, records[1]->data_len));
}

TEST(DataRecords, VifExtensionsAndDifExtensions)
{
    Decoded d = Records("84 40 FD 97 3C 11223344");
    ASSERT_EQ(0, d.dataRc) << mbus_error_str();
    auto records = d.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(Hex("40"), Bytes(records[0]->dife, records[0]->ndife));
    EXPECT_EQ(0xFD, records[0]->vif);
    EXPECT_EQ(Hex("97 3C"), Bytes(records[0]->vife, records[0]->nvife));
    EXPECT_EQ(Hex("11223344"), Bytes(records[0]->data, records[0]->data_len));
}

TEST(DataRecords, ExtensionChainLimits)
{
    struct Case
    {
        const char *name;
        std::string records;
        int rc;
        const char *error;
    } cases[] = {
        {"ten DIFEs", "81" + Repeat("80", 9) + "00 13 01", 0, "no errors"},
        {"eleven DIFEs", "81" + Repeat("80", 10) + "00 13 01", -1, "Too many DIFE."},
        {"ten VIFEs", "01 93" + Repeat("80", 9) + "00 01", 0, "no errors"},
        {"eleven VIFEs", "01 93" + Repeat("80", 10) + "00 01", -1, "Too many VIFE."},
    };
    for (const auto &c : cases)
    {
        Decoded d = Records(c.records);
        EXPECT_EQ(c.rc, d.dataRc) << c.name;
        EXPECT_STREQ(c.error, mbus_error_str()) << c.name;
        if (c.rc == 0)
        {
            ASSERT_EQ(1u, d.Records().size()) << c.name;
            EXPECT_EQ(10u, d.Records()[0]->ndife + d.Records()[0]->nvife) << c.name;
        }
    }
}

TEST(DataRecords, PlainTextVifReadsForwards)
{
    Decoded d = Records("04 FC 03 43 42 41 70 01020304");
    ASSERT_EQ(0, d.dataRc) << mbus_error_str();
    auto records = d.Records();
    ASSERT_EQ(1u, records.size());
    EXPECT_STREQ("ABC", records[0]->plain_unit);
    EXPECT_EQ(Hex("70"), Bytes(records[0]->vife, records[0]->nvife));
    EXPECT_EQ(Hex("01020304"), Bytes(records[0]->data, records[0]->data_len));
}

TEST(DataRecords, PlainTextVifOf128CharactersFitsAnd129Fails)
{
    Decoded fits = Records("00 7C 80 " + Repeat("41", 128));
    ASSERT_EQ(0, fits.dataRc) << mbus_error_str();
    EXPECT_EQ(std::string(128, 'A'), fits.Records()[0]->plain_unit);

    Decoded tooLong = Records("00 7C 81 " + Repeat("41", 129));
    EXPECT_EQ(-1, tooLong.dataRc);
    EXPECT_STREQ("Too long variable length VIF.", mbus_error_str());
}

TEST(DataRecords, PrematureEndTexts)
{
    struct Case
    {
        const char *name;
        const char *records;
        const char *error;
    } cases[] = {
        {"DIF alone", "04", "Premature end of record at DIF."},
        {"DIF extension without DIFE", "84", "Premature end of record at DIF."},
        {"DIFE without VIF", "84 00", "Premature end of record at DIF."},
        {"plain-text VIF without length", "04 7C", "Premature end of record at variable length VIF."},
        {"plain-text VIF text cut", "04 7C 05 41 42", "Premature end of record at variable length VIF."},
        {"VIF extension without VIFE", "04 93", "Premature end of record at VIF."},
        {"variable length without LVAR", "0D 13", "Premature end of record at VIF."},
        {"data cut", "04 13 0102", "Premature end of record at data."},
        {"LVAR data cut", "0D 13 05 0102", "Premature end of record at data."},
        {"compact profile without profile bytes", "0D 93 00 04 12", "Premature end of compact format info."},
        {"compact profile shorter than its profile bytes", "0D 93 00 01 12 34", "compact frame data size error"},
    };
    for (const auto &c : cases)
    {
        // A good record first: it stays in the list after the failure.
        Decoded d = Records(std::string("01 13 07 ") + c.records);
        EXPECT_EQ(-1, d.dataRc) << c.name;
        EXPECT_STREQ(c.error, mbus_error_str()) << c.name;
        EXPECT_EQ(1u, d.Records().size()) << c.name;
    }
}

TEST(DataRecords, IdleFillerAndManufacturerData)
{
    Decoded fill = Records("2F 2F 01 13 07 2F 2F");
    ASSERT_EQ(0, fill.dataRc);
    EXPECT_EQ(1u, fill.Records().size());

    Decoded vendor = Records("01 13 07 0F 2F 01 02 2F");
    ASSERT_EQ(0, vendor.dataRc);
    auto records = vendor.Records();
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(0x0F, records[1]->dif);
    EXPECT_EQ(Hex("2F 01 02 2F"), Bytes(records[1]->data, records[1]->data_len));
    EXPECT_EQ(0, vendor.data->more_records_follow);

    Decoded more = Records("1F 01 02");
    ASSERT_EQ(0, more.dataRc);
    EXPECT_EQ(1, more.data->more_records_follow);
    EXPECT_EQ(Hex("01 02"), Bytes(more.Records()[0]->data, more.Records()[0]->data_len));
}

TEST(DataRecords, ManufacturerDataFillingTheWholeFrameFitsTheRecord)
{
    Decoded d = Records("0F" + Repeat("EE", 241));
    ASSERT_EQ(0, d.dataRc);
    EXPECT_EQ(241u, d.Records()[0]->data_len);
    EXPECT_EQ(0xEE, d.Records()[0]->data[240]);
}

TEST(DataRecords, CompactProfileRecordKeepsItsProfileBytes)
{
    mbus_frame frame{};
    auto input = WFrame(std::string(kMakerLink) + "7A 2A 00 0000 4D 93 3C 0A 12 01 0100 0200 0300 0400");
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    frame.format_signature = 0xBEEF;
    FrameDataPtr data(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr)) << mbus_error_str();
    const mbus_data_record *r = data->records;
    ASSERT_NE(nullptr, r);
    EXPECT_EQ(10, r->compact_length);
    EXPECT_EQ(0x12, r->spacing_control);
    EXPECT_EQ(0x01, r->spacing_value);
    EXPECT_EQ(0xBEEF, r->format_signature);
    EXPECT_EQ(Hex("0100 0200 0300 0400"), Bytes(r->data, r->data_len));
}

TEST(FrameData, DispatchByCi)
{
    struct Case
    {
        const char *name;
        std::string frame;
        int rc;
        int type;
        const char *error;
    } cases[] = {
        {"short header without data", std::string(kMakerLink) + "7A 2A 00 0000", -1, 0, "Got zero data_size."},
        {"long header CI 0x80 without data", std::string(kMakerLink) + "80 21436587 4204 02 03 2A 00 0000", 0, 2,
         "no errors"},
        {"maker CI from the maker", std::string(kMakerLink) + "A1 2A 00 0000 01 13 07", 0, 2, "no errors"},
        {"maker CI 0xA6 from the maker", std::string(kMakerLink) + "A6 21436587 D26A 01 07 2A 00 0000 00", -1, 0,
         "Unknown zelvir specific CI 0xa6"},
        {"maker CI from another maker", std::string(kOtherLink) + "A1 2A 00 0000 01 13 07", -1, 0,
         "Unknown control information 0xa1"},
        {"CI 0x74 with a header but no data layout", std::string(kMakerLink) + "74 2A 00 0000 01", -1, 0,
         "Unknown zelvir specific CI 0x74"},
        {"application error", std::string(kMakerLink) + "6E 2A 00 0000 08", 0, 3, "no errors"},
        {"application error without data", std::string(kMakerLink) + "70", 0, 3, "no errors"},
        {"compact frame without format frame", std::string(kMakerLink) + "7B 2A 00 0000 3412 7856 0102", -4, 4,
         "Input parameter error"},
        {"fixed data",
         std::string(kMakerLink) + "73 21436587 4204 02 03 2A 00 0000 0000 0000" +
             "78563412 2A 00 05 05 10000000 20000000",
         0, 1, "no errors"},
        {"fixed data of the wrong length", std::string(kMakerLink) + "73 21436587 4204 02 03 2A 00 0000 0000 0000 01",
         -1, 1, "Invalid length for fixed data."},
    };
    for (const auto &c : cases)
    {
        Decoded d(WFrame(c.frame));
        ASSERT_EQ(0, d.parseRc) << c.name;
        EXPECT_EQ(c.rc, d.dataRc) << c.name;
        EXPECT_EQ(c.type, d.data->type) << c.name;
        EXPECT_STREQ(c.error, mbus_error_str()) << c.name;
    }
}

TEST(FrameData, ApplicationErrorAndFixedData)
{
    Decoded error(WFrame(std::string(kMakerLink) + "6E 2A 00 0000 08"));
    EXPECT_EQ(8, error.data->error);

    Decoded fixed(WFrame(std::string(kMakerLink) + "73 21436587 4204 02 03 2A 00 0000 0000 0000" +
                         "78563412 2A 80 05 06 10000000 20000000"));
    ASSERT_EQ(0, fixed.dataRc);
    const mbus_data_fixed &f = fixed.data->fixed;
    EXPECT_EQ(Hex("78563412"), Bytes(f.id_bcd, 4));
    EXPECT_EQ(0x2A, f.access_number);
    EXPECT_EQ(0x80, f.status);
    EXPECT_EQ(0x05, f.counter1_type);
    EXPECT_EQ(0x06, f.counter2_type);
    EXPECT_EQ(Hex("20000000"), Bytes(f.counter2_value, 4));
}

TEST(FrameData, FixedCountersAreBinaryOrBcdByStatusBit7)
{
    struct Case
    {
        unsigned char status;
        const char *counter1;
        const char *counter2;
        long long value1;
        long long value2;
    };
    const Case cases[] = {
        {0x00, "78563412", "01000000", 12345678, 1},
        {0x40, "00000000", "99999999", 0, 99999999},
        {0x80, "FEFFFFFF", "10000000", -2, 16},
        {0xC0, "FFFFFF7F", "00000080", 0x7FFFFFFF, -2147483648LL},
        // A non-decimal digit makes the whole BCD value -1; a leading F is the sign.
        {0x00, "1A000000", "000000E0", -1, -1},
        {0x40, "220000F0", "01000000", -22, 1},
    };
    for (const Case &c : cases)
    {
        mbus_data_fixed fixed{};
        fixed.status = c.status;
        const std::vector<unsigned char> one = Hex(c.counter1);
        const std::vector<unsigned char> two = Hex(c.counter2);
        std::copy(one.begin(), one.end(), fixed.counter1_value);
        std::copy(two.begin(), two.end(), fixed.counter2_value);
        EXPECT_EQ(c.value1, mbus_data_fixed_counter(&fixed, 0)) << c.counter1;
        EXPECT_EQ(c.value2, mbus_data_fixed_counter(&fixed, 1)) << c.counter2;
        EXPECT_EQ(0, mbus_data_fixed_counter(&fixed, 2));
    }
    EXPECT_EQ(0, mbus_data_fixed_counter(nullptr, 0));
}

TEST(FrameData, HeaderCopyAndHop)
{
    // Configuration word 01 00: bit 0 of the first byte would be a hop; decoded frames report none.
    Decoded d(WFrame(std::string(kMakerLink) + "72 21436587 4204 02 03 2A 04 0100 01 13 07", 0x99));
    ASSERT_EQ(0, d.dataRc) << mbus_error_str();
    const mbus_data_variable_header &h = d.data->header;
    EXPECT_EQ(Hex("78563412"), Bytes(h.id_bcd, 4));
    EXPECT_EQ(Hex("D26A"), Bytes(h.manufacturer, 2));
    EXPECT_EQ(0x01, h.version);
    EXPECT_EQ(0x07, h.medium);
    EXPECT_EQ(0x2A, h.access_number);
    EXPECT_EQ(0x04, h.status);
    EXPECT_EQ(Hex("0100"), Bytes(h.signature, 2));
    EXPECT_EQ(Hex("21436587 4204 02 03"), Bytes(h.transport_address, 8));
    EXPECT_EQ(0x99, d.data->rssi);
    EXPECT_EQ(0, d.data->hop);
    EXPECT_EQ(0x44, d.data->control);
    EXPECT_EQ(d.frame.data, d.data->raw_data);
    EXPECT_EQ(d.frame.data_size, d.data->raw_data_len);
}

TEST(FrameData, ReparsingReplacesEverythingOfTheEarlierFrame)
{
    mbus_frame first{}, second{};
    FrameDataPtr data(mbus_frame_data_new());
    auto a = WFrame(std::string(kMakerLink) + "72 21436587 4204 02 03 2A 04 0000 01 13 07 02 13 0102");
    auto b = WFrame(std::string(kMakerLink) + "7A 2B 00 0000 01 13 08");
    ASSERT_EQ(0, mbus_parse_wmbus(&first, a.data(), a.size()));
    ASSERT_EQ(0, mbus_parse_wmbus(&second, b.data(), b.size()));
    // The sanitizer build's leak check shows that the first list is released.
    ASSERT_EQ(0, mbus_frame_data_parse(&first, data.get(), nullptr));
    ASSERT_EQ(2u, data->nrecords);
    ASSERT_EQ(0, mbus_frame_data_parse(&second, data.get(), nullptr));
    EXPECT_EQ(1u, data->nrecords);
    ASSERT_NE(nullptr, data->records);
    EXPECT_EQ(nullptr, data->records->next);
    EXPECT_EQ(0x08, data->records->data[0]);
    EXPECT_EQ(0, data->header.transport_address[0]);

    // Even a failing parse leaves no record of the earlier frame behind.
    mbus_frame error{};
    auto c = WFrame(std::string(kOtherLink) + "A1 2A 00 0000 01");
    ASSERT_EQ(0, mbus_parse_wmbus(&error, c.data(), c.size()));
    EXPECT_EQ(-1, mbus_frame_data_parse(&error, data.get(), nullptr));
    EXPECT_EQ(nullptr, data->records);
    EXPECT_EQ(0u, data->nrecords);
}

TEST(FrameData, NullArgumentsAndWrongDirection)
{
    mbus_frame frame{};
    FrameDataPtr data(mbus_frame_data_new());
    EXPECT_EQ(-1, mbus_frame_data_parse(nullptr, data.get(), nullptr));
    EXPECT_STREQ("Got null pointer to frame.", mbus_error_str());
    EXPECT_EQ(-1, mbus_frame_data_parse(&frame, nullptr, nullptr));
    EXPECT_STREQ("Got null pointer to data.", mbus_error_str());

    frame.type = MBUS_FRAME_TYPE_LONG;
    frame.control = 0x53;
    frame.control_information = 0x72;
    EXPECT_EQ(-1, mbus_frame_data_parse(&frame, data.get(), nullptr));
    EXPECT_STREQ("Wrong direction in frame (master to slave)", mbus_error_str());
    mbus_frame_data_free(nullptr);
}

TEST(FrameData, WiredVariableDataTakeTheirHeaderFromTheData)
{
    mbus_frame frame{};
    frame.type = MBUS_FRAME_TYPE_LONG;
    frame.control = 0x08;
    frame.control_information = 0x72;
    auto bytes = Hex("78563412 D26A 01 07 2A 00 0000 01 13 07");
    std::copy(bytes.begin(), bytes.end(), frame.data);
    frame.data_size = bytes.size();
    FrameDataPtr data(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr)) << mbus_error_str();
    EXPECT_EQ(Hex("78563412"), Bytes(data->header.id_bcd, 4));
    EXPECT_EQ(0x2A, data->header.access_number);
    ASSERT_EQ(1u, data->nrecords);

    frame.data_size = 11;
    EXPECT_EQ(-1, mbus_frame_data_parse(&frame, data.get(), nullptr));
}

TEST(RecordAccessors, StorageTariffSubunit)
{
    struct Case
    {
        const char *records;
        long long storage;
        long tariff;
        int subunit;
    } cases[] = {
        {"04 13 00000000", 0, -1, -1},
        {"44 13 00000000", 1, -1, -1},
        {"84 10 13 00000000", 0, 1, 0},
        {"C4 DF 01 13 00000000", 0x1F | 0x20, 1 | 0, 1},
        // Ten DIFEs: 41 storage bits, 20 tariff bits, 10 subunit bits, all set.
        {"C4 FF FF FF FF FF FF FF FF FF 7F 13 00000000", (1LL << 41) - 1, (1L << 20) - 1, (1 << 10) - 1},
    };
    for (const auto &c : cases)
    {
        Decoded d = Records(c.records);
        ASSERT_EQ(0, d.dataRc) << c.records << " " << mbus_error_str();
        const mbus_data_record *r = d.Records()[0];
        EXPECT_EQ(c.storage, mbus_data_record_storage_number(r)) << c.records;
        EXPECT_EQ(c.tariff, mbus_data_record_tariff(r)) << c.records;
        EXPECT_EQ(c.subunit, mbus_data_record_subunit(r)) << c.records;
    }
    EXPECT_EQ(0, mbus_data_record_storage_number(nullptr));
    EXPECT_EQ(-1, mbus_data_record_tariff(nullptr));
    EXPECT_EQ(-1, mbus_data_record_subunit(nullptr));
}

TEST(RecordAccessors, FunctionTexts)
{
    struct Case
    {
        int dif;
        const char *function;
        const char *name;
    } cases[] = {{0x04, "inst", "Instantaneous value"},
                 {0x14, "max", "Maximum value"},
                 {0x24, "min", "Minimum value"},
                 {0x34, "error_state", "Value during error state"}};
    for (const auto &c : cases)
    {
        mbus_data_record record{};
        record.dif = static_cast<unsigned char>(c.dif);
        EXPECT_STREQ(c.function, mbus_data_record_function(&record));
        EXPECT_STREQ(c.name, mbus_data_record_function_name(c.dif));
    }
    EXPECT_EQ(nullptr, mbus_data_record_function(nullptr));
    EXPECT_STREQ("stored", mbus_data_fixed_function(0x40));
    EXPECT_STREQ("actual", mbus_data_fixed_function(0x80));
    EXPECT_STREQ("Stored value", mbus_data_fixed_function_name(0x40));
    EXPECT_STREQ("Actual value", mbus_data_fixed_function_name(0x00));
}

TEST(RecordAccessors, ApplicationErrorTexts)
{
    EXPECT_STREQ("Unspecified error", mbus_data_error_lookup(0));
    EXPECT_STREQ("More than 10 DIFE\xC2\xB4s", mbus_data_error_lookup(5));
    EXPECT_STREQ("Too many readouts", mbus_data_error_lookup(9));
    EXPECT_STREQ("Unknown error (0x0A)", mbus_data_error_lookup(10));
    EXPECT_STREQ("Unknown error (0xFF)", mbus_data_error_lookup(255));
}

TEST(RecordList, AppendKeepsOrderAndIgnoresNull)
{
    FrameDataPtr data(mbus_frame_data_new());
    mbus_data_record *a = mbus_data_record_new();
    mbus_data_record *b = mbus_data_record_new();
    b->custom_vif = static_cast<char *>(std::malloc(8)); // freed with the record
    mbus_data_record_append(data.get(), a);
    mbus_data_record_append(data.get(), b);
    mbus_data_record_append(data.get(), nullptr);
    mbus_data_record_append(nullptr, nullptr);
    EXPECT_EQ(a, data->records);
    EXPECT_EQ(b, a->next);
    EXPECT_EQ(nullptr, b->next);
}

} // namespace
