#include "Serial.h"
#include "SystemException.h"
#include "TestPty.h"

#include <atomic>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

class SerialTest : public ::testing::Test
{
protected:
    void SetUp() override { serial.Open(pty.SlaveName(), 115200); }

    // The line settings as the device holds them.
    termios Settings() const
    {
        const int fd = ::open(pty.SlaveName().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
        termios settings{};
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::tcgetattr(fd, &settings), 0);
        ::close(fd);
        return settings;
    }

    std::string ReadText(unsigned int count, std::int32_t timeoutUs)
    {
        std::string buffer(count, '\0');
        unsigned int got = count;
        if (serial.ReadWithTimeout(reinterpret_cast<unsigned char *>(&buffer[0]), got, timeoutUs) != 0)
            return "<failed>";
        buffer.resize(got);
        return buffer;
    }

    TestPty pty;
    Serial serial;
};

TEST_F(SerialTest, OpenConfiguresARawEightNoneOneLine)
{
    const termios settings = Settings();
    EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(settings.c_cflag & PARENB);
    EXPECT_FALSE(settings.c_cflag & CSTOPB);
    EXPECT_FALSE(settings.c_cflag & CRTSCTS);
    EXPECT_FALSE(settings.c_lflag & (ECHO | ICANON | ISIG));
    EXPECT_FALSE(settings.c_iflag & (ICRNL | INLCR | IXON));
    EXPECT_FALSE(settings.c_oflag & OPOST);
    EXPECT_EQ(cfgetispeed(&settings), static_cast<speed_t>(B115200));
    EXPECT_EQ(serial.GetDeviceName(), pty.SlaveName());
}

TEST_F(SerialTest, BytesPassUntranslatedAndAreNotEchoed)
{
    const std::string frame("\xFF\x0D\x0A\x03\x11\x13\x00\xF5", 8);
    pty.Send(frame);
    EXPECT_EQ(ReadText(8, 1000000), frame);
    EXPECT_EQ(pty.Receive(20), "");

    serial.Write(reinterpret_cast<const unsigned char *>(frame.data()), frame.size());
    serial.WriteByte(0x16);
    EXPECT_EQ(pty.Receive(100), frame + "\x16");
}

TEST_F(SerialTest, TimeOutReturnsFailureAndDoesNotDisturbTheNextRead)
{
    unsigned char byte = 0;
    unsigned int count = 1;
    const auto start = Clock::now();
    EXPECT_EQ(serial.ReadWithTimeout(&byte, count, 10000), -1);
    EXPECT_GE(Clock::now() - start, milliseconds(9));
    EXPECT_EQ(count, 0u);

    // The time-out stays in force, and the next byte is read exactly once.
    pty.Send("A");
    count = 1;
    EXPECT_EQ(serial.Read(&byte, count), 0);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(byte, 'A');
    count = 1;
    EXPECT_EQ(serial.ReadByte(&byte), -1);
}

TEST_F(SerialTest, AShortReadFailsButKeepsItsBytesForTheNextRead)
{
    pty.Send("ab");
    unsigned char buffer[3] = {};
    unsigned int count = 3;
    EXPECT_EQ(serial.ReadWithTimeout(buffer, count, 20000), -1);
    EXPECT_EQ(count, 0u);

    pty.Send("c");
    EXPECT_EQ(ReadText(1, 20000), "a");
    EXPECT_EQ(ReadText(2, 20000), "bc");
}

TEST_F(SerialTest, BytesTakenAheadAreDeliveredInOrderEvenAfterTheFarEndClosed)
{
    // The first read takes the whole burst from the line; the rest waits for the next reads.
    pty.Send("abcdef");
    EXPECT_EQ(ReadText(1, 1000000), "a");
    pty.CloseMaster();
    EXPECT_EQ(ReadText(2, 20000), "bc");
    EXPECT_EQ(ReadText(3, 20000), "def");

    // Nothing is left: the next read fails at once instead of waiting out its time-out.
    const auto start = Clock::now();
    EXPECT_EQ(ReadText(1, 10000000), "<failed>");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
}

TEST_F(SerialTest, AReadLongerThanOneTakeFromTheLineGetsEveryByte)
{
    std::string burst;
    for (int i = 0; i < 3000; ++i)
        burst.push_back(static_cast<char>(i * 7));
    pty.Send(burst);
    EXPECT_TRUE(ReadText(3000, 2000000) == burst);
}

TEST_F(SerialTest, ZeroTimeOutWaitsWithoutALimit)
{
    std::thread late(
        [this]
        {
            std::this_thread::sleep_for(milliseconds(150));
            pty.Send("xyz");
        });
    EXPECT_EQ(ReadText(3, 0), "xyz");
    late.join();
}

TEST_F(SerialTest, CloseAndOpenResetTheTimeOut)
{
    EXPECT_EQ(ReadText(1, 10000), "<failed>");
    pty.Send("q"); // read before the close: held bytes are dropped with it
    EXPECT_EQ(serial.Close(), 0);
    pty.Receive(10);
    serial.Open(pty.SlaveName(), 115200);

    std::thread late(
        [this]
        {
            std::this_thread::sleep_for(milliseconds(100));
            pty.Send("z");
        });
    unsigned char byte = 0;
    unsigned int count = 1;
    EXPECT_EQ(serial.Read(&byte, count), 0);
    late.join();
    EXPECT_EQ(count, 1u);
}

TEST_F(SerialTest, ReadsFailWhenTheFarEndHasClosed)
{
    EXPECT_EQ(ReadText(1, 10000), "<failed>");
    EXPECT_FALSE(serial.LineLost()) << "a time-out is no hang-up";
    pty.CloseMaster();
    const auto start = Clock::now();
    for (int i = 0; i < 3; ++i)
    {
        unsigned char byte = 0;
        unsigned int count = 1;
        EXPECT_EQ(serial.ReadWithTimeout(&byte, count, 10000000), -1);
        EXPECT_EQ(count, 0u);
    }
    // A hang-up is reported at once, not after the 10 s time-out.
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5));
    EXPECT_TRUE(serial.LineLost());
}

// What an earlier run left in the line, and what a short read kept back, is gone after a flush;
// what comes afterwards is read.
TEST_F(SerialTest, FlushDropsWhatTheLineHeld)
{
    pty.Send("ab");
    EXPECT_EQ(ReadText(3, 20000), "<failed>"); // keeps "ab" back
    pty.Send("old");
    std::this_thread::sleep_for(milliseconds(50));
    EXPECT_EQ(serial.Flush(2), 0);
    EXPECT_EQ(ReadText(1, 20000), "<failed>");
    pty.Send("new");
    EXPECT_EQ(ReadText(3, 200000), "new");
}

TEST_F(SerialTest, FlowControlAndStopBitOptions)
{
    serial.SetFlowControl(0);
    EXPECT_TRUE(Settings().c_cflag & CRTSCTS);
    serial.SetFlowControl(1);
    EXPECT_FALSE(Settings().c_cflag & CRTSCTS);
    serial.SetStopBits(1);
    EXPECT_TRUE(Settings().c_cflag & CSTOPB);
    serial.SetStopBits(0);
    EXPECT_FALSE(Settings().c_cflag & CSTOPB);
    serial.SetBaudRate(9600);
    EXPECT_EQ(cfgetospeed(&static_cast<const termios &>(Settings())), static_cast<speed_t>(B9600));
}

TEST_F(SerialTest, ClosedPortFailsReadsAndWrites)
{
    serial.Close();
    unsigned char byte = 0;
    unsigned int count = 1;
    EXPECT_EQ(serial.ReadWithTimeout(&byte, count, 1000), -1);
    EXPECT_EQ(count, 0u);
    try
    {
        serial.WriteByte(1);
        FAIL() << "write on a closed port did not throw";
    }
    catch (const SystemException &e)
    {
        EXPECT_EQ(std::string(e.what()), std::string("write: ") + std::strerror(EBADF));
    }
}

TEST(SerialOpen, MissingDeviceThrowsTheSystemsMessage)
{
    Serial serial;
    try
    {
        serial.Open("/dev/tolvern-no-such-port", 115200);
        FAIL() << "open did not throw";
    }
    catch (const std::runtime_error &e)
    {
        EXPECT_EQ(std::string(e.what()), std::string("open: ") + std::strerror(ENOENT));
    }
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.GetDeviceName(), "");
}

TEST(SerialOpen, AFailedReopenKeepsTheOldName)
{
    TestPty pty;
    Serial serial;
    serial.Open(pty.SlaveName(), 115200);
    EXPECT_THROW(serial.Open("/dev/tolvern-no-such-port", 115200), SystemException);
    EXPECT_FALSE(serial.IsOpen());
    EXPECT_EQ(serial.GetDeviceName(), pty.SlaveName());
}

// Bytes sent with random gaps and read back with 1 ms time-outs arrive exactly
// once and in order, whether they are read one at a time or in small blocks.
TEST(SerialStress, BytesWithRandomGapsArriveExactlyOnceInOrder)
{
    constexpr size_t kBytes = 1500;
    TestPty pty;
    Serial serial;
    serial.Open(pty.SlaveName(), 115200);

    std::string sent;
    for (size_t i = 0; i < kBytes; ++i)
        sent.push_back(static_cast<char>((i * 31 + i / 256) & 0xFF));

    std::atomic<bool> writerDone{false};
    std::thread writer(
        [&]
        {
            std::mt19937 random(12345);
            std::uniform_int_distribution<int> gap(0, 1500);
            std::uniform_int_distribution<size_t> burst(1, 6);
            for (size_t at = 0; at < kBytes;)
            {
                const size_t n = std::min(burst(random), kBytes - at);
                pty.Send(sent.substr(at, n));
                at += n;
                std::this_thread::sleep_for(std::chrono::microseconds(gap(random)));
            }
            writerDone = true;
        });

    std::string received;
    std::mt19937 random(777);
    std::uniform_int_distribution<unsigned int> size(1, 4);
    int timeOuts = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    int idleAfterWriter = 0;
    while (received.size() < kBytes && Clock::now() < deadline && idleAfterWriter < 200)
    {
        unsigned char buffer[4];
        unsigned int count = std::min<unsigned int>(size(random), kBytes - received.size());
        if (serial.ReadWithTimeout(buffer, count, 1000) == 0)
        {
            received.append(reinterpret_cast<char *>(buffer), count);
            idleAfterWriter = 0;
        }
        else
        {
            EXPECT_EQ(count, 0u);
            ++timeOuts;
            if (writerDone)
                ++idleAfterWriter;
        }
    }
    writer.join();
    EXPECT_EQ(received.size(), sent.size());
    EXPECT_TRUE(received == sent) << "bytes lost, doubled or out of order";
    EXPECT_GT(timeOuts, 0) << "the gaps never made a read time out";
}

TEST(SerialConcurrency, WritesFromTwoThreadsGoOutWhole)
{
    TestPty pty;
    Serial serial;
    serial.Open(pty.SlaveName(), 115200);
    std::string reader;
    std::atomic<bool> stop{false};
    std::thread drain(
        [&]
        {
            while (!stop)
                reader += pty.Receive(5);
            reader += pty.Receive(20);
        });
    auto write = [&serial](unsigned char value)
    {
        const std::vector<unsigned char> block(64, value);
        for (int i = 0; i < 50; ++i)
            serial.Write(block.data(), static_cast<unsigned int>(block.size()));
    };
    std::thread a(write, 'a');
    std::thread b(write, 'b');
    a.join();
    b.join();
    stop = true;
    drain.join();
    ASSERT_EQ(reader.size(), 2u * 50 * 64);
    for (size_t at = 0; at < reader.size(); at += 64)
        EXPECT_EQ(reader.substr(at, 64), std::string(64, reader[at])) << "block at " << at;
}

} // namespace
