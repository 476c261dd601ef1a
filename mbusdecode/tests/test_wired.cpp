#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <regex>
#include <string>
#include <vector>

using wmbus_test::FrameDataPtr;
using wmbus_test::Hex;
using wmbus_test::kMakerLink;
using wmbus_test::WFrame;

namespace
{

struct FrameDeleter
{
    void operator()(mbus_frame *frame) const { mbus_frame_free(frame); }
};
using FramePtr = std::unique_ptr<mbus_frame, FrameDeleter>;

std::vector<unsigned char> Pack(mbus_frame *frame)
{
    unsigned char buffer[300];
    int n = mbus_frame_pack(frame, buffer, sizeof buffer);
    if (n < 0)
        return {};
    return std::vector<unsigned char>(buffer, buffer + n);
}

TEST(WiredFrame, NewSetsStartAndStopByType)
{
    struct Case
    {
        int type;
        unsigned char start1, length1, start2, stop;
    } cases[] = {
        {1, 0xE5, 0, 0, 0}, {2, 0x10, 0, 0, 0x16}, {3, 0x68, 3, 0x68, 0x16}, {4, 0x68, 0, 0x68, 0x16}, {9, 0, 0, 0, 0}};
    for (const auto &c : cases)
    {
        FramePtr frame(mbus_frame_new(c.type));
        ASSERT_NE(nullptr, frame);
        EXPECT_EQ(c.type, frame->type);
        EXPECT_EQ(c.start1, frame->start1);
        EXPECT_EQ(c.length1, frame->length1);
        EXPECT_EQ(c.length1, frame->length2);
        EXPECT_EQ(c.start2, frame->start2);
        EXPECT_EQ(c.stop, frame->stop);
    }
    EXPECT_EQ(-1, mbus_frame_free(nullptr));
    // A chain is freed whole (the sanitizer build checks for leaks).
    mbus_frame *head = mbus_frame_new(4);
    head->next = mbus_frame_new(4);
    head->next->next = mbus_frame_new(2);
    EXPECT_EQ(0, mbus_frame_free(head));
}

TEST(WiredFrame, PackAndParseEveryType)
{
    struct Case
    {
        const char *name;
        int type;
        unsigned char control, address, ci;
        const char *data;
        const char *packed;
    } cases[] = {
        {"ack", 1, 0, 0, 0, "", "E5"},
        {"short", 2, 0x5B, 0x01, 0, "", "10 5B 01 5C 16"},
        {"control", 3, 0x53, 0xFE, 0x51, "", "68 03 03 68 53 FE 51 A2 16"},
        {"long", 4, 0x08, 0x05, 0x72, "01 02 03", "68 06 06 68 08 05 72 01 02 03 85 16"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        FramePtr frame(mbus_frame_new(c.type));
        frame->control = c.control;
        frame->address = c.address;
        frame->control_information = c.ci;
        auto data = Hex(c.data);
        std::copy(data.begin(), data.end(), frame->data);
        frame->data_size = data.size();
        auto packed = Pack(frame.get());
        EXPECT_EQ(Hex(c.packed), packed);

        mbus_frame parsed{};
        ASSERT_EQ(0, mbus_parse(&parsed, packed.data(), packed.size())) << mbus_error_str();
        EXPECT_EQ(c.type, parsed.type);
        EXPECT_EQ(c.control, parsed.control);
        EXPECT_EQ(data, std::vector<unsigned char>(parsed.data, parsed.data + parsed.data_size));
    }
}

TEST(WiredFrame, PackRefusals)
{
    FramePtr frame(mbus_frame_new(4));
    unsigned char buffer[32];
    EXPECT_EQ(-1, mbus_frame_pack(nullptr, buffer, sizeof buffer));
    EXPECT_EQ(-1, mbus_frame_pack(frame.get(), nullptr, sizeof buffer));
    frame->data_size = 8;
    EXPECT_EQ(-4, mbus_frame_pack(frame.get(), buffer, 16));
    EXPECT_EQ(17, mbus_frame_pack(frame.get(), buffer, 17));
    // L counts data + 3 in one byte.
    frame->data_size = 253;
    EXPECT_EQ(-1, mbus_frame_pack(frame.get(), buffer, sizeof buffer));
    frame->type = MBUS_FRAME_TYPE_WIRELESS;
    EXPECT_EQ(-3, mbus_frame_pack(frame.get(), buffer, sizeof buffer));
}

TEST(WiredFrame, ParseFailures)
{
    struct Case
    {
        const char *name;
        const char *input;
        int rc;
        const char *error;
    } cases[] = {
        {"short frame too short", "10 5B 01", 2, nullptr},
        {"short frame too long", "10 5B 01 5C 16 00", -2, "Too much data in frame."},
        {"long frame, two bytes", "68 06", 1, nullptr},
        {"long frame, lengths differ", "68 06 05 68", -2, "Invalid M-Bus frame length."},
        {"long frame, length below 3", "68 02 02 68", -2, "Invalid M-Bus frame length."},
        {"long frame missing bytes", "68 06 06 68 08 05 72 01", 4, nullptr},
        {"long frame too long", "68 06 06 68 08 05 72 01 02 03 83 16 00", -2, "Too much data in frame."},
        {"bad start", "11 00", -4, "Invalid M-Bus frame start."},
        {"bad checksum", "68 06 06 68 08 05 72 01 02 03 84 16", -3, "Invalid checksum (0x84 != 0x85)"},
        {"no stop", "10 5B 01 5C 17", -3, "No frame stop"},
        {"second start", "68 06 06 69 08 05 72 01 02 03 83 16", -3, "No frame start"},
        {"short control code", "10 41 01 42 16", -3, "Unknown Control Code 0x41"},
        {"long control code", "68 06 06 68 09 05 72 01 02 03 84 16", -3, "Unknown Control Code 0x09"},
    };
    for (const auto &c : cases)
    {
        SCOPED_TRACE(c.name);
        mbus_error_reset();
        auto input = Hex(c.input);
        mbus_frame frame{};
        EXPECT_EQ(c.rc, mbus_parse(&frame, input.data(), input.size()));
        EXPECT_STREQ(c.error ? c.error : "no errors", mbus_error_str());
    }
    mbus_frame frame{};
    EXPECT_EQ(-1, mbus_parse(&frame, nullptr, 3));
    EXPECT_STREQ("Got null pointer to frame, data or zero data_size.", mbus_error_str());
}

TEST(WiredFrame, VerifyDirectionAndType)
{
    mbus_frame frame{};
    frame.type = 7;
    EXPECT_EQ(-1, mbus_frame_verify(&frame));
    EXPECT_STREQ("Unknown frame type 0x07", mbus_error_str());
    EXPECT_EQ(-1, mbus_frame_verify(nullptr));
    EXPECT_STREQ("Got null pointer to frame.", mbus_error_str());

    FramePtr control(mbus_frame_new(3));
    control->control = 0x53;
    control->address = 1;
    control->control_information = 0x51;
    mbus_frame_set_checksum(control.get());
    control->length1 = 4;
    EXPECT_EQ(-1, mbus_frame_verify(control.get()));
    EXPECT_STREQ("Frame length 1 != 2", mbus_error_str());
    control->length2 = 4;
    EXPECT_EQ(-1, mbus_frame_verify(control.get()));
    EXPECT_STREQ("Frame length 1 != calc length", mbus_error_str());

    EXPECT_EQ(0x40, mbus_frame_direction(control.get()));
    control->control = 0x08;
    EXPECT_EQ(0, mbus_frame_direction(control.get()));
    FramePtr ack(mbus_frame_new(1));
    EXPECT_EQ(0, mbus_frame_direction(ack.get()));
    EXPECT_EQ(-1, mbus_frame_direction(nullptr));
    EXPECT_EQ(3, mbus_frame_type(control.get()));
    EXPECT_EQ(-1, mbus_frame_type(nullptr));
    EXPECT_EQ(-1, mbus_frame_set_checksum(&frame));
}

TEST(SecondaryAddress, SelectionFrameFromMask)
{
    FramePtr frame(mbus_frame_new(4));
    ASSERT_EQ(0, mbus_frame_select_secondary_pack(frame.get(), "12345678D26A0107"));
    EXPECT_EQ(0x73, frame->control);
    EXPECT_EQ(0xFD, frame->address);
    EXPECT_EQ(0x52, frame->control_information);
    EXPECT_EQ(Hex("78 56 34 12 D2 6A 01 07"), std::vector<unsigned char>(frame->data, frame->data + frame->data_size));

    ASSERT_EQ(0, mbus_frame_select_secondary_pack(frame.get(), "1234ffffFFFFFFFF"));
    EXPECT_EQ(Hex("FF FF 34 12 FF FF FF FF"), std::vector<unsigned char>(frame->data, frame->data + 8));

    EXPECT_EQ(-1, mbus_frame_select_secondary_pack(frame.get(), "12345678D26A010"));
    EXPECT_STREQ("mbusdecode: address is invalid.", mbus_error_str());
    EXPECT_EQ(-1, mbus_frame_select_secondary_pack(nullptr, "12345678D26A0107"));
    EXPECT_STREQ("mbusdecode: frame or address arguments are NULL.", mbus_error_str());
}

TEST(SecondaryAddress, AddressChecks)
{
    EXPECT_TRUE(mbus_is_secondary_address("12345678D26A0107"));
    EXPECT_TRUE(mbus_is_secondary_address("ffffffffffffffff"));
    EXPECT_FALSE(mbus_is_secondary_address("12345678D26A010"));
    EXPECT_FALSE(mbus_is_secondary_address("12345678D26A01070"));
    EXPECT_FALSE(mbus_is_secondary_address("12345678D26A01G7"));
    EXPECT_FALSE(mbus_is_secondary_address(nullptr));
    EXPECT_TRUE(mbus_is_primary_address(0));
    EXPECT_TRUE(mbus_is_primary_address(255));
    EXPECT_FALSE(mbus_is_primary_address(256));
    EXPECT_FALSE(mbus_is_primary_address(-1));
}

TEST(SecondaryAddress, ReadFromAVariableDataResponse)
{
    FramePtr response(mbus_frame_new(4));
    response->control = 0x08;
    response->address = 0x05;
    response->control_information = 0x72;
    auto data = Hex("78563412 D26A 01 07 2A 00 0000 01 13 07");
    std::copy(data.begin(), data.end(), response->data);
    response->data_size = data.size();
    auto input = Pack(response.get());
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse(&frame, input.data(), input.size())) << mbus_error_str();
    EXPECT_STREQ("12345678D26A0107", mbus_frame_get_secondary_address(&frame));

    frame.control_information = 0x78;
    EXPECT_EQ(nullptr, mbus_frame_get_secondary_address(&frame));
    EXPECT_STREQ("Non-variable data response (can't get secondary address from response).", mbus_error_str());
}

TEST(FrameDataPack, VariableDataPackedIntoAWiredFrameParseToTheSameRecords)
{
    // Plain-text unit, LVAR, reserved LVAR, compact profile, DIFEs and VIFEs, vendor data.
    auto input =
        WFrame(std::string(kMakerLink) + "7A 2A 00 0000 " + "2F 2F 04 FC 03 434241 70 01020304 " +
               "0D 13 03 313233 0D 13 FB 00 13 010203 4D 93 3C 06 12 01 0100 0200 " + "C4 10 93 3C 05060708 0F 0102");
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    FrameDataPtr first(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&frame, first.get(), nullptr)) << mbus_error_str();

    FramePtr wired(mbus_frame_new(4));
    wired->control = 0x08;
    wired->control_information = 0x72;
    ASSERT_EQ(0, mbus_frame_data_pack(wired.get(), first.get()));
    FrameDataPtr second(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(wired.get(), second.get(), nullptr)) << mbus_error_str();

    EXPECT_EQ(0, std::memcmp(first->header.id_bcd, second->header.id_bcd, 12));
    ASSERT_EQ(first->nrecords, second->nrecords);
    const mbus_data_record *a = first->records;
    const mbus_data_record *b = second->records;
    for (; a && b; a = a->next, b = b->next)
    {
        SCOPED_TRACE(static_cast<int>(a->dif));
        EXPECT_EQ(a->dif, b->dif);
        EXPECT_EQ(a->ndife, b->ndife);
        EXPECT_EQ(a->vif, b->vif);
        EXPECT_EQ(a->nvife, b->nvife);
        EXPECT_EQ(0, std::memcmp(a->vife, b->vife, a->nvife));
        EXPECT_STREQ(a->plain_unit, b->plain_unit);
        EXPECT_EQ(a->lvar, b->lvar);
        EXPECT_EQ(a->compact_length, b->compact_length);
        EXPECT_EQ(a->spacing_control, b->spacing_control);
        EXPECT_EQ(a->spacing_value, b->spacing_value);
        ASSERT_EQ(a->data_len, b->data_len);
        EXPECT_EQ(0, std::memcmp(a->data, b->data, a->data_len));
    }
}

TEST(FrameDataPack, FixedErrorAndRefusals)
{
    FramePtr wired(mbus_frame_new(4));
    FrameDataPtr data(mbus_frame_data_new());
    data->type = MBUS_DATA_TYPE_FIXED;
    data->fixed.id_bcd[0] = 0x78;
    data->fixed.counter2_value[3] = 0x99;
    ASSERT_EQ(0, mbus_frame_data_pack(wired.get(), data.get()));
    ASSERT_EQ(16u, wired->data_size);
    EXPECT_EQ(0x78, wired->data[0]);
    EXPECT_EQ(0x99, wired->data[15]);

    data->type = MBUS_DATA_TYPE_ERROR;
    data->error = 8;
    ASSERT_EQ(0, mbus_frame_data_pack(wired.get(), data.get()));
    EXPECT_EQ(Hex("08"), std::vector<unsigned char>(wired->data, wired->data + wired->data_size));

    data->type = MBUS_DATA_TYPE_NONE;
    EXPECT_EQ(-2, mbus_frame_data_pack(wired.get(), data.get()));
    EXPECT_EQ(-1, mbus_frame_data_pack(nullptr, data.get()));

    // Records that need more than a frame holds are refused, not cut.
    data->type = MBUS_DATA_TYPE_VARIABLE;
    for (int i = 0; i < 2; ++i)
    {
        mbus_data_record *r = mbus_data_record_new();
        r->dif = 0x0D;
        r->vif = 0x13;
        r->lvar = 0xBF;
        r->data_len = 191;
        mbus_data_record_append(data.get(), r);
    }
    EXPECT_EQ(-1, mbus_frame_data_pack(wired.get(), data.get()));
    EXPECT_LE(wired->data_size, 252u);
}

TEST(Dumps, FramePrintAndHexDump)
{
    FramePtr frame(mbus_frame_new(2));
    frame->control = 0x5B;
    frame->address = 0x01;
    frame->next = mbus_frame_new(1);
    testing::internal::CaptureStdout();
    EXPECT_EQ(0, mbus_frame_print(frame.get()));
    EXPECT_EQ("mbusdecode: Dumping M-Bus frame [type 2, 5 bytes]: 10 5B 01 5C 16 \n"
              "mbusdecode: Dumping M-Bus frame [type 1, 1 bytes]: E5 \n",
              testing::internal::GetCapturedStdout());
    EXPECT_EQ(-1, mbus_frame_print(nullptr));

    auto bytes = Hex("01 AB 02");
    testing::internal::CaptureStderr();
    mbus_dump_recv(bytes.data(), bytes.size());
    mbus_dump_send(bytes.data(), 1);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(std::regex_match(err, std::regex(R"(\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\] RECV \(003\): 01 AB 02
\[[^\]]+\] SEND \(001\): 01
)"))) << err;
}

} // namespace

namespace
{

std::string PrintedFrameData(mbus_frame_data *data, int &rc)
{
    testing::internal::CaptureStdout();
    rc = mbus_frame_data_print(data);
    return testing::internal::GetCapturedStdout();
}

TEST(Dumps, FrameDataListings)
{
    auto input = WFrame(std::string(kMakerLink) + "7A 2A 00 0000 84 50 13 01020304 1F 01 02");
    mbus_frame frame{};
    ASSERT_EQ(0, mbus_parse_wmbus(&frame, input.data(), input.size()));
    FrameDataPtr data(mbus_frame_data_new());
    ASSERT_EQ(0, mbus_frame_data_parse(&frame, data.get(), nullptr));
    int rc = -1;
    std::string text = PrintedFrameData(data.get(), rc);
    EXPECT_EQ(0, rc);
    for (const char *line :
         {"mbusdecode: ID           = 12345678\n", "mbusdecode: Manufacturer = 0x6AD2 (ZVR)\n", "DIFE.Tariff   = 1\n",
          "DIFE.Device   = 1\n", "VIF           = 13\n", "mbusdecode: VENDOR DATA [size=2] = 01 02 \n",
          "mbusdecode: More records follow in next telegram\n"})
        EXPECT_NE(std::string::npos, text.find(line)) << line << "\n" << text;

    data->type = MBUS_DATA_TYPE_FIXED;
    data->fixed.status = 0x80;
    data->fixed.counter1_value[0] = 0x2A;
    text = PrintedFrameData(data.get(), rc);
    EXPECT_EQ(0, rc);
    EXPECT_NE(std::string::npos, text.find("mbusdecode: Counter1 = 42\n")) << text;

    data->type = MBUS_DATA_TYPE_ERROR;
    data->error = 8;
    EXPECT_EQ("mbusdecode: Error = 8\n", PrintedFrameData(data.get(), rc));
    EXPECT_EQ(-1, rc);
    EXPECT_EQ(-1, mbus_frame_data_print(nullptr));
}

} // namespace
