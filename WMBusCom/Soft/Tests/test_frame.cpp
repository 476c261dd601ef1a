#include "WMBC_ZV_Frame.h"

#include <gtest/gtest.h>
#include <sstream>
#include <stdexcept>
#include <vector>

using namespace WMBusMod;

namespace
{

std::vector<uint8_t> Bytes(const WMBC_ZV_Frame &frame)
{
    return std::vector<uint8_t>(frame.buffer, frame.buffer + frame.len + 3);
}

std::string Dump(const WMBC_ZV_Frame &frame)
{
    std::ostringstream os;
    WMBC_ZV_Frame::DumpFrame(os, frame);
    return os.str();
}

WMBC_ZV_Frame Finished(WMBC_ZV_Frame frame)
{
    frame.Finalize();
    return frame;
}

WMBC_ZV_Frame Command(uint8_t cmd, uint8_t param, std::vector<uint8_t> data = {})
{
    WMBC_ZV_Frame frame;
    frame.SetCommand(cmd, param, data.data(), int(data.size()));
    return Finished(frame);
}

WMBC_ZV_Frame Request(uint8_t cmd, std::vector<uint8_t> data = {})
{
    WMBC_ZV_Frame frame;
    frame.SetRequest(cmd, data.data(), int(data.size()));
    return Finished(frame);
}

} // namespace

TEST(WMBC_ZV_Frame, BuildsTheWorkedFrames)
{
    struct Case
    {
        const char *name;
        WMBC_ZV_Frame frame;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"ack of channel 1, bit 1", WMBC_ZV_Frame(KindAck, ChannelData, 1), {0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5}},
        {"read parameter 1", Command(CmdRead, ParamHwVersion), {0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5}},
        {"mbox get", Request(CmdMboxGet), {0xFF, 0x05, 0x00, 0x06, 0x00, 0xBF, 0xE5, 0xF5}},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(Bytes(c.frame), c.bytes) << c.name;
    }
}

TEST(WMBC_ZV_Frame, EmptyFrameOfAKindIsFinishedOnChannelZero)
{
    WMBC_ZV_Frame nak(KindNak);
    EXPECT_EQ(nak.len, 3);
    EXPECT_EQ(nak.buffer[2], 0x80);
    EXPECT_EQ(nak.GetKind(), KindNak);
    EXPECT_EQ(nak.GetChannel(), ChannelCtrl);
    EXPECT_EQ(nak.GetFlag(), 0);
    EXPECT_EQ(nak.GetDataLength(), 0);
    EXPECT_EQ(nak.buffer[5], 0xF5);
}

TEST(WMBC_ZV_Frame, BuildersKeepTheirLimits)
{
    const std::vector<uint8_t> data(247, 0xA5);
    struct Case
    {
        const char *name;
        int accepted;
        int finishedLength; // whole frame for the accepted size
        void (*build)(WMBC_ZV_Frame &, const uint8_t *, int);
    };
    const Case cases[] = {
        {"Append", 246, 252, [](WMBC_ZV_Frame &f, const uint8_t *d, int n) { f.Append(d, n); }},
        {"SetCommand", 246, 255, [](WMBC_ZV_Frame &f, const uint8_t *d, int n) { f.SetCommand(CmdWrite, 3, d, n); }},
        {"SetResponse", 246, 255, [](WMBC_ZV_Frame &f, const uint8_t *d, int n) { f.SetResponse(0, d, n); }},
        {"SetRequest", 246, 254, [](WMBC_ZV_Frame &f, const uint8_t *d, int n) { f.SetRequest(CmdMboxAdd, d, n); }},
    };
    for (const Case &c : cases)
    {
        WMBC_ZV_Frame frame;
        frame.Init(KindData);
        c.build(frame, data.data(), c.accepted);
        frame.Finalize();
        EXPECT_EQ(frame.len + 3, c.finishedLength) << c.name;
        EXPECT_EQ(frame.GetDataLength(), frame.len - 3) << c.name;

        WMBC_ZV_Frame refused;
        refused.Init(KindData);
        try
        {
            c.build(refused, data.data(), c.accepted + 1);
            ADD_FAILURE() << c.name << " accepted " << c.accepted + 1 << " bytes";
        }
        catch (const std::out_of_range &e)
        {
            EXPECT_STREQ(e.what(), "Out of range") << c.name;
        }
        EXPECT_EQ(refused.len, 3) << c.name << ": a refused payload leaves the frame empty";
    }
}

TEST(WMBC_ZV_Frame, AppendRefusesWithoutChangingTheFrame)
{
    WMBC_ZV_Frame frame;
    frame.Init(KindData);
    const std::vector<uint8_t> first(200, 1), second(47, 2);
    frame.Append(first.data(), int(first.size()));
    EXPECT_THROW(frame.Append(second.data(), int(second.size())), std::out_of_range);
    EXPECT_EQ(frame.len, 203);
    EXPECT_EQ(frame.buffer[203], 0) << "nothing of the refused bytes was copied";
    frame.Append(second.data(), 46);
    EXPECT_EQ(frame.len, 249);
}

TEST(WMBC_ZV_Frame, ControlFieldsAndTheirUndefinedValues)
{
    WMBC_ZV_Frame frame;
    frame.Init(KindData);
    frame.SetChannel(ChannelEvent);
    frame.SetFlag(3); // only the low bit counts
    frame.Finalize();
    EXPECT_EQ(frame.buffer[2], 0x28);
    EXPECT_EQ(frame.GetChannel(), ChannelEvent);
    EXPECT_EQ(frame.GetFlag(), 1);

    frame.buffer[2] = 0xC0;
    try
    {
        frame.GetKind();
        ADD_FAILURE() << "kind 3 accepted";
    }
    catch (const std::runtime_error &e)
    {
        EXPECT_STREQ(e.what(), "Invalid frame cmd");
    }
    frame.buffer[2] = 0x30;
    try
    {
        frame.GetChannel();
        ADD_FAILURE() << "channel 3 accepted";
    }
    catch (const std::runtime_error &e)
    {
        EXPECT_STREQ(e.what(), "Invalid frame channel");
    }
}

TEST(WMBC_ZV_Frame, ComputeCrcIsWhatFinalizeStores)
{
    WMBC_ZV_Frame frame = Command(CmdRead, ParamHwVersion);
    EXPECT_EQ(frame.ComputeCrc(), 0xFD16);
}

TEST(WMBC_ZV_Frame, ByteAtStaysInsideFrameAndBuffer)
{
    WMBC_ZV_Frame frame = Command(CmdRead, ParamHwVersion); // 9 bytes, stop byte at 8
    EXPECT_EQ(frame.ByteAt(0), 0xFF);
    EXPECT_EQ(frame.ByteAt(8), 0xF5);
    struct Case
    {
        unsigned position;
        const char *message;
    };
    const Case cases[] = {{9, "Index out of data range"},
                          {259, "Index out of data range"},
                          {260, "Index out of packet range"},
                          {4000, "Index out of packet range"}};
    for (const Case &c : cases)
    {
        try
        {
            frame.ByteAt(c.position);
            ADD_FAILURE() << c.position;
        }
        catch (const std::out_of_range &e)
        {
            EXPECT_STREQ(e.what(), c.message) << c.position;
        }
    }
    // Even with a length beyond the buffer, position 260 is never read.
    frame.len = 300;
    EXPECT_THROW(frame.ByteAt(260), std::out_of_range);
}

TEST(WMBC_ZV_Frame, DataHexIsUpperCaseAndBoundedByTheFrame)
{
    WMBC_ZV_Frame frame = Command(CmdWrite, ParamMode, {0x0A, 0xBC});
    EXPECT_EQ(frame.GetDataHex(0, 5), "03 14 02 0A BC ");
    EXPECT_EQ(frame.GetDataHex(3, 1), "0A ");
    // Past the payload only the CRC and the stop byte follow, then nothing.
    EXPECT_EQ(frame.GetDataHex(5, 100), frame.GetDataHex(5, 3));
    EXPECT_EQ(frame.GetDataHex(5, 3).size(), 9u);
    frame.len = 400;
    EXPECT_EQ(frame.GetDataHex(0, 1000).size(), size_t(260 - 3) * 3);
}

TEST(WMBC_ZV_Frame, DumpNamesChannelKindCommandAndParameter)
{
    struct Case
    {
        const char *name;
        WMBC_ZV_Frame frame;
        std::string dump;
    };
    WMBC_ZV_Frame response;
    const uint8_t value[] = {0x34, 0x12};
    response.SetResponse(0, value, 2);
    response.Finalize();
    const Case cases[] = {
        {"read", Command(CmdRead, ParamHwVersion), "[ctrl][dat read hw version][0] 01 00 crc: 0xfd16"},
        {"ack", WMBC_ZV_Frame(KindAck, ChannelData, 1), "[dat][ack][1] 58 crc: 0x857b"},
        {"response", response,
         "[ctrl][dat ack][0] 01 00 02 34 12 crc: 0x" + Dump(response).substr(Dump(response).size() - 4)},
        {"unnamed parameter", Command(CmdRead, 7), "[ctrl][dat read ][0] 07 00 crc: 0x"},
        {"unknown command", Request(0x99), "[ctrl][dat ][0] 99 00 crc: 0x"},
        {"write of stats", Command(CmdWrite, ParamStatsCrcErr, {1}), "[ctrl][dat write stats crc err][0] 35 01 01 crc"},
        {"data on channel 1",
         Finished(
             []
             {
                 WMBC_ZV_Frame f;
                 f.Init(KindData);
                 const uint8_t b[] = {0x44, 0x93};
                 f.Append(b, 2);
                 f.SetChannel(ChannelData);
                 return f;
             }()),
         "[dat][dat][0] 10 44 93 crc: 0x"},
        {"empty control data frame names no command", WMBC_ZV_Frame(KindData), "[ctrl][dat][0] 00 crc: 0x"},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(Dump(c.frame).substr(0, c.dump.size()), c.dump) << c.name;
    }
}

TEST(WMBC_ZV_Frame, NameTables)
{
    EXPECT_STREQ(ModemParamName(0), "none");
    EXPECT_STREQ(ModemParamName(51), "stats reamble detect");
    EXPECT_STREQ(ModemParamName(25), "mbox size");
    for (unsigned id : {5u, 9u, 14u, 19u, 26u, 49u, 54u, 255u})
    {
        EXPECT_STREQ(ModemParamName(id), "") << id;
    }
    EXPECT_STREQ(ModemCommandName(CmdMboxCheck), "mbox check");
    EXPECT_STREQ(ModemCommandName(8), "");
    EXPECT_STREQ(FrameChannelName(ChannelEvent), "evt");
    EXPECT_STREQ(FrameKindName(KindUndefined), "und");
}

TEST(WMBC_ZV_Frame, CopiesCarryLengthAndBuffer)
{
    WMBC_ZV_Frame original = Command(CmdWrite, ParamMode, {6});
    WMBC_ZV_Frame copy;
    copy = original;
    EXPECT_EQ(Bytes(copy), Bytes(original));
    original.buffer[6] = 0;
    EXPECT_EQ(copy.buffer[6], 6);
}
