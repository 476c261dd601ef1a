#include "LogCapture.h"
#include "ManualModem.h"
#include "Serial.h"
#include "WMBC_ZV.h"

#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <stdexcept>
#include <sys/resource.h>
#include <thread>
#include <vector>

using namespace WMBusMod;
using namespace std::chrono_literals;

namespace
{

// The link on a port whose far end the test plays by hand.
class LinkTest : public ::testing::Test
{
protected:
    LinkTest()
    {
        serial.Open(modem.DeviceName(), 115200);
        link = std::make_unique<WMBC_ZV>(serial);
    }
    ~LinkTest() override { link.reset(); }

    template <typename F> static auto Host(F f) { return std::async(std::launch::async, f); }

    // Sends one radio frame from the host side while the test plays the modem.
    auto SendRadioFrame()
    {
        return Host(
            [this]
            {
                WMBC_ZV_Frame frame = RadioFrame();
                link->SendWithAck(frame);
            });
    }

    // Runs one host call while the test answers its command frame with the given payload.
    template <typename F> void Exchange(F call, const std::vector<uint8_t> &payload)
    {
        auto host = Host(call);
        auto command = modem.NextData();
        ASSERT_TRUE(command);
        modem.Answer(*command, payload);
        host.get();
    }

    static std::string ErrorOf(std::future<void> &host)
    {
        try
        {
            host.get();
        }
        catch (const std::exception &e)
        {
            return e.what();
        }
        return "";
    }

    WMBC_ZV_Frame RadioFrame()
    {
        WMBC_ZV_Frame frame;
        frame.Init(KindData);
        const uint8_t bytes[] = {0x0A, 0x44};
        frame.Append(bytes, 2);
        frame.SetChannel(ChannelData);
        return frame;
    }

    ManualModem modem;
    Serial serial;
    std::unique_ptr<WMBC_ZV> link;
};

} // namespace

TEST_F(LinkTest, AlternatingBitTogglesForEveryFrameSent)
{
    const struct
    {
        bool acked;
        int bit;
    } steps[] = {{true, 0}, {true, 1}, {false, 0}, {true, 1}, {true, 0}};
    for (const auto &step : steps)
    {
        auto host = SendRadioFrame();
        auto sent = modem.NextData();
        ASSERT_TRUE(sent);
        EXPECT_EQ(sent->GetChannel(), ChannelData);
        EXPECT_EQ(sent->GetFlag(), step.bit);
        if (step.acked)
        {
            modem.Ack(*sent);
        }
        EXPECT_EQ(ErrorOf(host), step.acked ? "" : "ack not received");
    }
}

TEST_F(LinkTest, NakIsReportedAndTheBitStillMovesOn)
{
    auto host = SendRadioFrame();
    auto sent = modem.NextData();
    ASSERT_TRUE(sent);
    modem.Ack(*sent, KindNak);
    EXPECT_EQ(ErrorOf(host), "nak received");

    host = SendRadioFrame();
    sent = modem.NextData();
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->GetFlag(), 1);
    modem.Ack(*sent);
    EXPECT_EQ(ErrorOf(host), "");
}

// A late acknowledgement belongs to the frame that timed out; the next frame must wait for its own.
TEST_F(LinkTest, LateAckDoesNotAnswerTheNextFrame)
{
    auto host = SendRadioFrame();
    auto first = modem.NextData();
    ASSERT_TRUE(first);
    EXPECT_EQ(ErrorOf(host), "ack not received");
    modem.Ack(*first); // arrives after the time-out
    std::this_thread::sleep_for(50ms);

    host = SendRadioFrame();
    auto second = modem.NextData();
    ASSERT_TRUE(second);
    EXPECT_EQ(host.wait_for(300ms), std::future_status::timeout) << "the stale ack was taken for this frame";
    modem.Ack(*second);
    EXPECT_EQ(ErrorOf(host), "");
}

TEST_F(LinkTest, DataFramesAreAcknowledgedAtOnceAndQueuedPerChannel)
{
    modem.SendData(ChannelData, {0x0A, 0x44, 0x93}, 1);
    auto ack = modem.Next();
    ASSERT_TRUE(ack);
    EXPECT_EQ(std::vector<uint8_t>(ack->buffer, ack->buffer + 6),
              (std::vector<uint8_t>{0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5}));

    WMBC_ZV_Frame frame;
    EXPECT_FALSE(link->WaitChannelFrame(ChannelCtrl, frame, 0));
    ASSERT_TRUE(link->WaitChannelFrame(ChannelData, frame, 1000));
    EXPECT_EQ(frame.GetDataLength(), 3);
    EXPECT_EQ(frame.GetData()[2], 0x93);
    EXPECT_FALSE(link->WaitChannelFrame(ChannelData, frame, 0));
    EXPECT_FALSE(link->WaitChannelFrame(3, frame, 0));
}

TEST_F(LinkTest, RepeatedDataFrameIsQueuedAgainAndOrderIsKept)
{
    modem.SendData(ChannelData, {1}, 0);
    modem.SendData(ChannelData, {1}, 0);
    modem.SendData(ChannelData, {2}, 1);
    WMBC_ZV_Frame frame;
    for (uint8_t expected : {1, 1, 2})
    {
        ASSERT_TRUE(link->WaitChannelFrame(ChannelData, frame, 1000));
        EXPECT_EQ(frame.GetData()[0], expected);
    }
}

TEST_F(LinkTest, RadioFramesReachAWaitingTaskLongBeforeItsTimeOut)
{
    // Radio frames may be handed over a few together, but neither a lone frame on a quiet line
    // nor a burst may leave the task waiting for its own time-out.
    for (const int burst : {1, 25})
    {
        SCOPED_TRACE(burst);
        auto task = Host(
            [this, burst]
            {
                std::vector<int> got;
                WMBC_ZV_Frame frame;
                const auto start = std::chrono::steady_clock::now();
                while (int(got.size()) < burst && link->WaitChannelFrame(ChannelData, frame, 10000))
                {
                    got.push_back(frame.GetData()[0]);
                }
                return std::make_pair(got, std::chrono::steady_clock::now() - start);
            });
        std::this_thread::sleep_for(50ms); // most likely the task is waiting by now
        std::vector<int> sent;
        for (int i = 0; i < burst; ++i)
        {
            modem.SendData(ChannelData, {uint8_t(i)}, i & 1);
            sent.push_back(i);
        }
        const auto [got, took] = task.get();
        EXPECT_EQ(got, sent);
        EXPECT_LT(took, 5s);
    }
}

TEST_F(LinkTest, EventChannelIsAcknowledgedButDoesNotGrowWithoutBound)
{
    constexpr int sent = 40;
    for (int i = 0; i < sent; ++i)
    {
        modem.SendData(ChannelEvent, {uint8_t(i)}, i & 1);
    }
    for (int i = 0; i < sent; ++i)
    {
        auto ack = modem.Next();
        ASSERT_TRUE(ack) << "ack " << i;
        EXPECT_EQ(ack->GetKind(), KindAck);
        EXPECT_EQ(ack->GetChannel(), ChannelEvent);
    }
    WMBC_ZV_Frame frame;
    int kept = 0;
    int last = -1;
    while (link->WaitChannelFrame(ChannelEvent, frame, 0))
    {
        ++kept;
        last = frame.GetData()[0];
    }
    EXPECT_GT(kept, 0);
    EXPECT_LT(kept, sent);
    EXPECT_EQ(last, sent - 1) << "the newest events are the ones kept";
}

TEST_F(LinkTest, FramesOfUndefinedKindOrChannelAreDropped)
{
    for (uint8_t control : {0x30, 0xC0})
    {
        WMBC_ZV_Frame frame;
        frame.Init(KindData);
        frame.buffer[2] = control;
        frame.Finalize();
        modem.Send(frame);
    }
    EXPECT_FALSE(modem.Next(200ms)) << "nothing is acknowledged";
    WMBC_ZV_Frame frame;
    for (int channel = 0; channel < 3; ++channel)
    {
        EXPECT_FALSE(link->WaitChannelFrame(channel, frame, 0));
    }
}

TEST_F(LinkTest, GetConfigReadsTheParameter)
{
    uint8_t out[4] = {};
    int length = 4;
    auto host = Host([&] { link->GetConfig(ParamId, out, length); });
    auto command = modem.NextData();
    ASSERT_TRUE(command);
    EXPECT_EQ(std::vector<uint8_t>(command->buffer, command->buffer + command->len + 3),
              (std::vector<uint8_t>{0xFF, 0x06, 0x00, 0x02, 0x0B, 0x00, command->buffer[6], command->buffer[7], 0xF5}));
    modem.Answer(*command, {0x01, 0x00, 0x03, 0x11, 0x22, 0x33});
    EXPECT_EQ(ErrorOf(host), "");
    EXPECT_EQ(length, 3);
    EXPECT_EQ(out[0], 0x11);
    EXPECT_EQ(out[2], 0x33);
}

TEST_F(LinkTest, TypedReadersAreLittleEndian)
{
    uint32_t u32 = 0xFFFFFFFF;
    Exchange([&] { link->GetConfigUInt32(ParamMboxSize, u32); }, {0x01, 0x00, 0x02, 0x34, 0x12});
    EXPECT_EQ(u32, 0x1234u);
    uint16_t u16 = 0;
    Exchange([&] { link->GetConfigUInt16(ParamIdManuf, u16); }, {0x01, 0x00, 0x02, 0xD2, 0x6A});
    EXPECT_EQ(u16, 0x6AD2);
    // An answer without a data byte is no number (a write or a delete answers so).
    uint8_t byte = 0xFF;
    EXPECT_THROW(Exchange([&] { link->GetConfigByte(ParamIdType, byte); }, {0x01, 0x00, 0x00}), WrongResponseSize);
    EXPECT_EQ(byte, 0xFF);
    std::string text;
    Exchange([&] { link->GetConfigString(ParamSwVersion, text); }, {0x01, 0x00, 0x06, '0', '1', '.', '0', 0, 'x'});
    EXPECT_EQ(text, "01.0");
}

// A number of another size than its parameter holds is not its value: the error names the
// parameter and both sizes, and the value read into stays as it was.
TEST_F(LinkTest, NumbersOfTheWrongSizeAreNamed)
{
    struct Case
    {
        int width; // 1, 2 or 4: the reader
        uint8_t param;
        std::vector<uint8_t> answer;
        const char *error;
    };
    const Case cases[] = {
        {1, ParamIdVersion, {0x01, 0x00, 0x02, 0x07, 0x00}, "parameter 12 (id version): 2 bytes, expected 1"},
        {1, ParamIdType, {0x01, 0x00, 0x00}, "parameter 13 (id type): 0 bytes, expected 1"},
        {2, ParamIdManuf, {0x01, 0x00, 0x01, 0xD2}, "parameter 10 (id manuf.): 1 byte, expected 2"},
        {2, ParamIdManuf, {0x01, 0x00, 0x03, 0xD2, 0x6A, 0x00}, "parameter 10 (id manuf.): 3 bytes, expected 2"},
        {4, ParamId, {0x01, 0x00, 0x05, 1, 2, 3, 4, 5}, "parameter 11 (id): 5 bytes, expected 1 to 4"},
        {4, ParamStatsFrame, {0x01, 0x00, 0x00}, "parameter 50 (stats frame): 0 bytes, expected 1 to 4"},
    };
    for (const Case &c : cases)
    {
        uint32_t value = 0xEEEEEEEE;
        std::string error;
        Exchange(
            [&]
            {
                try
                {
                    if (c.width == 1)
                    {
                        uint8_t byte = 0xEE;
                        link->GetConfigByte(c.param, byte);
                        value = byte;
                    }
                    else if (c.width == 2)
                    {
                        uint16_t word = 0xEEEE;
                        link->GetConfigUInt16(c.param, word);
                        value = word;
                    }
                    else
                    {
                        link->GetConfigUInt32(c.param, value);
                    }
                }
                catch (const WrongResponseSize &e)
                {
                    error = e.what();
                }
            },
            c.answer);
        EXPECT_EQ(error, std::string("wrong response size for ") + c.error);
        EXPECT_EQ(value, 0xEEEEEEEEu) << c.error;
    }
}

TEST_F(LinkTest, BadAnswersRaiseClearErrors)
{
    struct Case
    {
        const char *name;
        bool asString;
        std::vector<uint8_t> payload;
        const char *error;
    };
    const Case cases[] = {
        {"not an ack", false, {0x02, 0x00, 0x00}, "ack not received"},
        {"status", false, {0x01, 0x05, 0x00}, "cmd failed"},
        {"status of a text read", true, {0x01, 0x05, 0x00}, "cmd id failure"},
        {"longer than asked", false, {0x01, 0x00, 0x03, 1, 2, 3}, "response to long"},
        {"empty payload", false, {}, "malformed response"},
        {"no status", false, {0x01}, "malformed response"},
        {"no length", true, {0x01, 0x00}, "malformed response"},
        {"length beyond the data", false, {0x01, 0x00, 0x09, 0x01}, "malformed response"},
    };
    for (const Case &c : cases)
    {
        uint8_t out[2] = {0xEE, 0xEE};
        auto host = Host(
            [&]
            {
                if (c.asString)
                {
                    std::string text;
                    link->GetConfigString(ParamHwVersion, text);
                }
                else
                {
                    int length = 2;
                    link->GetConfig(ParamHwVersion, out, length);
                }
            });
        auto command = modem.NextData();
        ASSERT_TRUE(command) << c.name;
        modem.Answer(*command, c.payload);
        EXPECT_EQ(ErrorOf(host), c.error) << c.name;
        EXPECT_EQ(out[0], 0xEE) << c.name << ": nothing copied";
    }
}

// The answer to a command that timed out must not be taken for the answer to the next one.
TEST_F(LinkTest, LateAnswerDoesNotAnswerTheNextCommand)
{
    uint8_t out[4] = {};
    int length = 4;
    auto host = Host([&] { link->GetConfig(ParamMode, out, length); });
    auto first = modem.NextData();
    ASSERT_TRUE(first);
    modem.Ack(*first);
    EXPECT_EQ(ErrorOf(host), "cmd timeout");
    modem.SendData(ChannelCtrl, {0x01, 0x00, 0x01, 0xAA}); // the late answer
    ASSERT_TRUE(modem.Next());                             // our ack of it
    std::this_thread::sleep_for(50ms);

    length = 4;
    Exchange([&] { link->GetConfig(ParamChannel, out, length); }, {0x01, 0x00, 0x01, 0x07});
    EXPECT_EQ(length, 1);
    EXPECT_EQ(out[0], 0x07);
}

TEST_F(LinkTest, WriteConfigIfChangedWritesOnlyADifferentValue)
{
    const uint8_t mode = 4;
    struct Case
    {
        const char *name;
        std::vector<uint8_t> stored;
        bool writes;
    };
    const Case cases[] = {{"same", {0x04}, false},
                          {"longer but starting alike", {0x04, 0x01}, false},
                          {"different", {0x05}, true},
                          {"shorter", {}, true}};
    for (const Case &c : cases)
    {
        LogCapture log(LogLevel::Warning, LogModule::WMBC);
        auto host = Host([&] { link->WriteConfigIfChanged(ParamMode, &mode, 1); });
        auto read = modem.NextData();
        ASSERT_TRUE(read) << c.name;
        EXPECT_EQ(read->GetData()[0], CmdRead) << c.name;
        std::vector<uint8_t> answer = {0x01, 0x00, uint8_t(c.stored.size())};
        answer.insert(answer.end(), c.stored.begin(), c.stored.end());
        modem.Answer(*read, answer);
        if (c.writes)
        {
            auto write = modem.NextData();
            ASSERT_TRUE(write) << c.name;
            EXPECT_EQ(std::vector<uint8_t>(write->GetData(), write->GetData() + write->GetDataLength()),
                      (std::vector<uint8_t>{CmdWrite, ParamMode, 1, mode}))
                << c.name;
            modem.Answer(*write, {0x01, 0x00, 0x00});
        }
        EXPECT_EQ(ErrorOf(host), "") << c.name;
        EXPECT_FALSE(modem.NextData(100ms)) << c.name << ": nothing more is sent";
        EXPECT_EQ(log.Text(), "") << c.name;
    }
}

TEST_F(LinkTest, WriteConfigIfChangedLogsFailuresInsteadOfRaising)
{
    LogCapture log(LogLevel::Warning, LogModule::WMBC);
    const uint8_t channel = 3;
    auto host = Host([&] { link->WriteConfigIfChanged(ParamChannel, &channel, 1); });
    auto read = modem.NextData();
    ASSERT_TRUE(read);
    modem.Answer(*read, {0x01, 0x01, 0x00}); // the read fails
    EXPECT_EQ(ErrorOf(host), "");
    EXPECT_EQ(log.Text(), "Failed to write config id 21\n");
}

TEST_F(LinkTest, UpdateConfigWritesTheTextWithoutTerminator)
{
    auto host = Host([&] { link->UpdateConfig(ParamModuleDesc, "AB"); });
    auto read = modem.NextData();
    ASSERT_TRUE(read);
    modem.Answer(*read, {0x01, 0x00, 0x01, 'A'});
    auto write = modem.NextData();
    ASSERT_TRUE(write);
    EXPECT_EQ(std::vector<uint8_t>(write->GetData(), write->GetData() + write->GetDataLength()),
              (std::vector<uint8_t>{CmdWrite, ParamModuleDesc, 2, 'A', 'B'}));
    modem.Answer(*write, {0x01, 0x00, 0x00});
    EXPECT_EQ(ErrorOf(host), "");
}

TEST_F(LinkTest, TeardownDoesNotSitOutTheReadTimeOut)
{
    const auto start = std::chrono::steady_clock::now();
    link.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
}

TEST_F(LinkTest, SerialReadLockKeepsTheReaderOffThePort)
{
    const auto start = std::chrono::steady_clock::now();
    link->LockSerialRead();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
    modem.SendData(ChannelData, {0x55});
    EXPECT_FALSE(modem.Next(200ms)) << "the reader read while the lock was held";
    link->UnlockSerialRead();
    EXPECT_TRUE(modem.Next(2s)) << "the reader resumes";
}

namespace
{

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

// With the device gone every read fails at once; the reader must not turn that into a busy loop.
TEST(WMBC_ZV, ReaderBacksOffWhenThePortFailsHard)
{
    Serial serial; // never opened: every read fails immediately
    WMBC_ZV link(serial);
    std::this_thread::sleep_for(100ms);
    const double before = CpuSeconds();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(CpuSeconds() - before, 0.1);

    WMBC_ZV_Frame frame;
    frame.Init(KindData);
    EXPECT_THROW(link.SendWithAck(frame), std::runtime_error);
}
