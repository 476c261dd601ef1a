#include "LogCapture.h"
#include "Serial.h"
#include "TestPty.h"
#include "WMBC_ZV_Frame.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <thread>
#include <vector>

using namespace WMBusMod;
using namespace std::chrono_literals;

namespace
{

const std::vector<uint8_t> kAck = {0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5};
const std::vector<uint8_t> kRead = {0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5};

std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t> &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

class FrameReadTest : public ::testing::Test
{
protected:
    void SetUp() override { serial.Open(pty.SlaveName(), 115200); }

    bool Read(WMBC_ZV_Frame &frame, int timeoutMs = 200) { return frame.ReadFrame(serial, timeoutMs); }

    TestPty pty;
    Serial serial;
};

} // namespace

TEST_F(FrameReadTest, ReadsAFrameAndTracesIt)
{
    LogCapture log(LogLevel::Trace, LogModule::WMBC);
    pty.Write(kRead);
    WMBC_ZV_Frame frame;
    ASSERT_TRUE(Read(frame));
    EXPECT_EQ(frame.len, 6);
    EXPECT_EQ(std::vector<uint8_t>(frame.buffer, frame.buffer + 9), kRead);
    EXPECT_TRUE(log.Contains("rcv:FF 06 00 02 01 00 FD 16 F5 \n"));
    EXPECT_TRUE(log.Contains("rcv:[ctrl][dat read hw version][0] 01 00 crc: 0xfd16\n"));
}

// Each stream is followed by a good frame: after a refused frame the reader starts afresh.
TEST_F(FrameReadTest, RefusesOrAcceptsDamagedInput)
{
    struct Case
    {
        const char *name;
        std::vector<uint8_t> bytes;
        bool accepted;
        const char *logLine;
    };
    const Case cases[] = {
        {"noise before a frame", std::vector<uint8_t>{0x12, 0x00} + kAck, true, "Drop byte: 0x12\nDrop byte: 0x0\n"},
        {"other byte for the stop byte", {0xFF, 0x03, 0x58, 0x85, 0x7B, 0x00}, true, nullptr},
        {"wrong crc", {0xFF, 0x03, 0x58, 0x85, 0x7C, 0xF5}, false, "Wrong crc detected expected: 857b rcved: 857c\n"},
        {"length 0", {0xFF, 0x00}, false, nullptr},
        {"length 1", {0xFF, 0x01}, false, nullptr},
        {"length 2", {0xFF, 0x02}, false, "Invalid frame length: 2\n"},
    };
    for (const Case &c : cases)
    {
        LogCapture log(LogLevel::Trace, LogModule::WMBC);
        pty.Write(c.bytes);
        WMBC_ZV_Frame frame;
        EXPECT_EQ(Read(frame), c.accepted) << c.name;
        if (c.logLine != nullptr)
        {
            EXPECT_TRUE(log.Contains(c.logLine)) << c.name << ":\n" << log.Text();
        }
        pty.Write(kRead);
        WMBC_ZV_Frame next;
        ASSERT_TRUE(Read(next)) << c.name << ": the following frame is lost\n" << log.Text();
        EXPECT_EQ(next.len, 6) << c.name;
    }
}

TEST_F(FrameReadTest, WrongCrcIsDumpedAtDebugLevel)
{
    LogCapture log(LogLevel::Debug, LogModule::WMBC);
    pty.Write({0xFF, 0x03, 0x58, 0x85, 0x7C, 0xF5});
    WMBC_ZV_Frame frame;
    EXPECT_FALSE(Read(frame));
    EXPECT_EQ(log.Text(), "rcv: [dat][ack][1] 58 crc: 0x857c\nWrong crc detected expected: 857b rcved: 857c\n");
}

TEST_F(FrameReadTest, MissingStopByteCostsAShortWaitOnly)
{
    LogCapture log(LogLevel::Debug, LogModule::WMBC);
    pty.Write({0xFF, 0x03, 0x58, 0x85, 0x7B});
    WMBC_ZV_Frame frame;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(Read(frame, 2000));
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);
    EXPECT_EQ(log.Text(), "Cannot read stop byte\n");
}

TEST_F(FrameReadTest, ShortBodyIsRefused)
{
    LogCapture log(LogLevel::Debug, LogModule::WMBC);
    pty.Write({0xFF, 0x06, 0x00, 0x02});
    WMBC_ZV_Frame frame;
    EXPECT_FALSE(Read(frame, 100));
    EXPECT_EQ(log.Text(), "Cannot read data\n");
    EXPECT_EQ(frame.len, 0);
}

TEST_F(FrameReadTest, SilenceIsAQuietFalse)
{
    LogCapture log(LogLevel::Trace, LogModule::WMBC);
    WMBC_ZV_Frame frame;
    EXPECT_FALSE(Read(frame, 50));
    EXPECT_EQ(log.Text(), "");
}

TEST_F(FrameReadTest, StopTestEndsTheWaitForAStartByte)
{
    std::atomic<bool> stop{false};
    std::thread stopper(
        [&]
        {
            std::this_thread::sleep_for(100ms);
            stop = true;
        });
    WMBC_ZV_Frame frame;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(frame.ReadFrame(serial, 10000, [&] { return stop.load(); }));
    const auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_LT(took, 2s);

    // And a frame that comes during the sliced wait is read whole.
    std::thread writer(
        [&]
        {
            std::this_thread::sleep_for(250ms);
            pty.Write(kAck);
        });
    EXPECT_TRUE(frame.ReadFrame(serial, 2000, [] { return false; }));
    writer.join();
    EXPECT_EQ(frame.GetKind(), KindAck);
}

TEST_F(FrameReadTest, WriteFrameSendsTheFinishedBytes)
{
    LogCapture log(LogLevel::Trace, LogModule::WMBC);
    WMBC_ZV_Frame(KindAck, ChannelData, 1).WriteFrame(serial);
    EXPECT_EQ(pty.Read(1s, kAck.size()), kAck);
    EXPECT_TRUE(log.Contains("snd:FF 03 58 85 7B F5 \nsnd:[dat][ack][1] 58 crc: 0x857b\n"));
}

TEST(WMBC_ZV_FrameWrite, FailedWriteIsAnErrorLineNotAnException)
{
    LogCapture log(LogLevel::Error, LogModule::WMBC);
    Serial closed;
    EXPECT_NO_THROW(WMBC_ZV_Frame(KindAck).WriteFrame(closed));
    EXPECT_TRUE(log.Contains("Failed to write frame")) << log.Text();
    EXPECT_TRUE(log.Contains("WMBC_ZV_Frame.cpp:")) << log.Text();
}
