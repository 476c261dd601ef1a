// The modem's link rules on a clock of our own, without a pty.
#include "ModemCore.h"

#include <gtest/gtest.h>

using namespace ModemEmu;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

namespace
{

class CoreTest : public ::testing::Test
{
protected:
    CoreTest()
        : core(
              record, [this](const Bytes &bytes) { line.push_back(bytes); }, [this] { ++flushes; })
    {
        CoreConfig config;
        config.answerDelay = 0ms;
        core.Config() = config;
    }

    void Host(const Bytes &bytes) { core.OnBytes(bytes.data(), bytes.size(), now); }
    void Advance(std::chrono::milliseconds by)
    {
        now += by;
        core.Tick(now);
    }
    Bytes Take()
    {
        if (line.empty())
            return {};
        Bytes first = line.front();
        line.erase(line.begin());
        return first;
    }

    HostRecord record;
    std::vector<Bytes> line;
    int flushes = 0;
    Clock::time_point now = Clock::time_point{} + 1h;
    ModemCore core;
};

const Bytes kRadio{0x0A, 0x44, 0xD2, 0x6A, 0x12, 0x34, 0x56, 0x78, 0x01, 0x07, 0x78};

Bytes Frame(FrameKind kind, uint8_t channel, uint8_t bit, Bytes payload = {})
{
    return ModemFrame(kind, channel, bit, std::move(payload)).Encode();
}

Bytes Delivered()
{
    Bytes payload = kRadio;
    payload[0] = 0x0B;
    payload.push_back(0xC4);
    return payload;
}

} // namespace

TEST_F(CoreTest, SendsOneFramePerChannelUntilTheHostAcknowledgesIt)
{
    Host(Frame(FrameKind::Data, 0, 0, {0x06, 0x00}));
    Take(); // link acknowledgement
    Advance(0ms);
    EXPECT_EQ(Take(), Frame(FrameKind::Data, 0, 0, {0x01, 0x00, 0x01, 0x08}));
    core.ReceiveRadio(kRadio, 0xC4, now);
    core.ReceiveRadio(kRadio, 0xC4, now);
    // Channel 1 runs beside channel 0, but its second frame waits for the first one's ack.
    EXPECT_EQ(Take(), Frame(FrameKind::Data, 1, 0, Delivered()));
    EXPECT_TRUE(line.empty());
    Host(Frame(FrameKind::Ack, 1, 0));
    EXPECT_EQ(Take(), Frame(FrameKind::Data, 1, 1, Delivered()));
    Host(Frame(FrameKind::Ack, 1, 1));
    Host(Frame(FrameKind::Ack, 0, 0));
    EXPECT_TRUE(line.empty());
    EXPECT_TRUE(record.Violations().empty());
}

TEST_F(CoreTest, MovesOnAfterTheAckTimeoutAndDropsAGoneHost)
{
    Host(Frame(FrameKind::Data, 0, 0, {0x06, 0x00}));
    Advance(0ms);
    line.clear();
    core.ReceiveRadio(kRadio, 0xC4, now);
    core.ReceiveRadio(kRadio, 0xC4, now);
    core.ReceiveRadio(kRadio, 0xC4, now);
    EXPECT_EQ(Take(), Frame(FrameKind::Data, 1, 0, Delivered()));
    Advance(999ms);
    EXPECT_TRUE(line.empty());
    Advance(1ms);
    // The answer on channel 0 was not acknowledged either: two misses take the host as gone.
    EXPECT_TRUE(record.HasEvent("host did not acknowledge frame on channel 1 with bit 0"));
    EXPECT_FALSE(core.HostAttached());
    EXPECT_EQ(flushes, 1);
    EXPECT_TRUE(line.empty()); // the queued radio frames went with it

    // A new host is served again, with the bit carrying on.
    Host(Frame(FrameKind::Data, 0, 0, {0x06, 0x00}));
    Take();
    core.ReceiveRadio(kRadio, 0xC4, now);
    EXPECT_EQ(Take(), Frame(FrameKind::Data, 1, 1, Delivered()));
}

TEST_F(CoreTest, NotesARepeatedHostBitWithoutRefusingTheFrame)
{
    Host(Frame(FrameKind::Data, 0, 1, {0x06, 0x00}));
    Host(Frame(FrameKind::Data, 0, 1, {0x06, 0x00}));
    EXPECT_TRUE(record.HasEvent("host repeated alternating bit 1 on channel 0"));
    EXPECT_EQ(record.HostCommands().size(), 2u);
    EXPECT_EQ(Take(), Frame(FrameKind::Ack, 0, 1));
    EXPECT_EQ(Take(), Frame(FrameKind::Ack, 0, 1));
}
