// Each fault injection taking effect, as a raw host on the line sees it.
#include "EmulatorFixture.h"

using namespace ModemEmu;

namespace
{

const Bytes kMboxGet{0x06, 0x00};
// What the default modem answers to "mbox get" (8 free entries) on channel 0, bit 0.
const Bytes kGetAnswer = EncodeFrame(0, 0, 0, {0x01, 0x00, 0x01, 0x08});
const Bytes kAck0 = EncodeFrame(1, 0, 0);

Fault MakeFault(FaultKind kind, int count = 1)
{
    Fault fault;
    fault.kind = kind;
    fault.count = count;
    return fault;
}

Bytes MeterFrame()
{
    return RadioFrame::Build(Header(0x44, 0x78563412, 0x7A, 1, 7), {0x2F, 0x2F, 0x01});
}

long MsSince(std::chrono::steady_clock::time_point start)
{
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
}

} // namespace

TEST_F(EmulatorTest, ManglingFaultsChangeTheBytesOnTheLine)
{
    Bytes badCrc = kGetAnswer;
    badCrc[badCrc.size() - 2] ^= 0xFF;
    Bytes badAckCrc = kAck0;
    badAckCrc[badAckCrc.size() - 2] ^= 0xFF;
    Fault garbage = MakeFault(FaultKind::Garbage);
    garbage.garbage = {0x11, 0x22, 0x33};
    Fault cut = MakeFault(FaultKind::CutShort);
    cut.keepBytes = 5;
    Fault ackCrc = MakeFault(FaultKind::BadCrc);
    ackCrc.onAcks = true;

    struct Case
    {
        const char *name;
        Fault fault;
        Bytes line; // everything the host reads for one "mbox get"
    };
    const Case cases[] = {
        {"bad crc on the answer", MakeFault(FaultKind::BadCrc),
         [&]
         {
             Bytes b = kAck0;
             b.insert(b.end(), badCrc.begin(), badCrc.end());
             return b;
         }()},
        {"garbage before the answer", garbage,
         [&]
         {
             Bytes b = kAck0;
             b.insert(b.end(), {0x11, 0x22, 0x33});
             b.insert(b.end(), kGetAnswer.begin(), kGetAnswer.end());
             return b;
         }()},
        {"answer cut short", cut,
         [&]
         {
             Bytes b = kAck0;
             b.insert(b.end(), kGetAnswer.begin(), kGetAnswer.begin() + 5);
             return b;
         }()},
        {"bad crc on the link acknowledgement", ackCrc,
         [&]
         {
             Bytes b = badAckCrc;
             b.insert(b.end(), kGetAnswer.begin(), kGetAnswer.end());
             return b;
         }()},
    };
    for (const Case &c : cases)
    {
        // A fresh emulator each time: the modem's alternating bit must start at 0.
        ModemEmulator fresh;
        fresh.Start();
        PtyClient host(fresh.DevicePath());
        fresh.InjectFault(c.fault);
        host.Write(EncodeFrame(0, 0, 0, kMboxGet));
        EXPECT_EQ(host.ReadAll(150ms), c.line) << c.name;
        EXPECT_EQ(fresh.PendingFaults(), 0u) << c.name;
    }
}

TEST_F(EmulatorTest, FaultCountAndFiltersPickTheFramesHit)
{
    // Two bad answers, then good ones again.
    modem.InjectFault(MakeFault(FaultKind::BadCrc, 2));
    for (int i = 0; i < 3; ++i)
    {
        client->Write(EncodeFrame(0, 0, i & 1, kMboxGet));
        ASSERT_TRUE(client->ReadFrame());
        auto answer = client->ReadFrame();
        ASSERT_TRUE(answer);
        const bool good = *answer == EncodeFrame(0, 0, i & 1, {0x01, 0x00, 0x01, 0x08});
        EXPECT_EQ(good, i == 2) << "answer " << i;
        client->Ack(*answer);
    }

    // Only reads of parameter 3 lose their answer.
    Fault noAnswer = MakeFault(FaultKind::NoAnswer, 0);
    noAnswer.param = 3;
    modem.InjectFault(noAnswer);
    EXPECT_EQ(Command({0x02, 1, 0x00}).size(), 9u);
    client->Write(EncodeFrame(0, 0, 1, {0x02, 3, 0x00}));
    ASSERT_TRUE(client->ReadFrame());
    EXPECT_TRUE(client->ReadAll(150ms).empty());

    // A channel filter keeps the radio frames whole and spoils the answers only.
    modem.ClearFaults();
    Fault onRadio = MakeFault(FaultKind::BadCrc, 0);
    onRadio.channel = 1;
    modem.InjectFault(onRadio);
    EXPECT_EQ(Command(kMboxGet), (Bytes{0x01, 0x00, 0x01, 0x08}));
    modem.ReceiveRadio(MeterFrame());
    auto radio = client->ReadFrame();
    ASSERT_TRUE(radio);
    EXPECT_NE(*radio, EncodeFrame(0, 1, 0, PayloadOf(*radio)));
}

TEST_F(EmulatorTest, MissingAcknowledgementDropsTheFrame)
{
    modem.InjectFault(MakeFault(FaultKind::NoAck));
    client->Write(EncodeFrame(0, 0, 0, MboxAdd(MeterFrame())));
    EXPECT_TRUE(client->ReadAll(200ms).empty());
    EXPECT_TRUE(modem.MailboxEntries().empty());
    // The link goes on with the next frame.
    client->Write(EncodeFrame(0, 0, 1, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 0, 1));
}

TEST_F(EmulatorTest, NakRefusesTheFrame)
{
    modem.InjectFault(MakeFault(FaultKind::Nak));
    client->Write(EncodeFrame(0, 0, 1, MboxAdd(MeterFrame())));
    EXPECT_EQ(client->ReadAll(200ms), EncodeFrame(2, 0, 1));
    EXPECT_TRUE(modem.MailboxEntries().empty());
}

TEST_F(EmulatorTest, LateAcknowledgementComesAfterItsDelayAndTheAnswerAfterIt)
{
    Fault late = MakeFault(FaultKind::LateAck);
    late.delay = 300ms;
    modem.InjectFault(late);
    const auto start = std::chrono::steady_clock::now();
    client->Write(EncodeFrame(0, 0, 0, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), kAck0);
    EXPECT_GE(MsSince(start), 290);
    EXPECT_EQ(client->ReadFrame(), kGetAnswer);
}

TEST_F(EmulatorTest, MissingAnswerStillCarriesOutTheCommand)
{
    modem.InjectFault(MakeFault(FaultKind::NoAnswer));
    client->Write(EncodeFrame(0, 0, 0, MboxAdd(MeterFrame())));
    EXPECT_EQ(client->ReadAll(200ms), kAck0);
    EXPECT_EQ(modem.MailboxEntries().size(), 1u);
}

TEST_F(EmulatorTest, LateAnswerFollowsAPromptAcknowledgement)
{
    Fault late = MakeFault(FaultKind::LateAnswer);
    late.delay = 300ms;
    modem.InjectFault(late);
    const auto start = std::chrono::steady_clock::now();
    client->Write(EncodeFrame(0, 0, 0, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), kAck0);
    EXPECT_LT(MsSince(start), 250);
    EXPECT_EQ(client->ReadFrame(), kGetAnswer);
    EXPECT_GE(MsSince(start), 290);
}

TEST_F(EmulatorTest, SilentModemSaysNothingUntilCleared)
{
    Attach();
    modem.InjectFault(MakeFault(FaultKind::Silent, 0));
    client->Write(EncodeFrame(0, 0, 1, kMboxGet));
    modem.ReceiveRadio(MeterFrame());
    modem.SetPeriodicEvent(20ms, {0xE0});
    EXPECT_TRUE(client->ReadAll(200ms).empty());
    // The host's frames are still on record.
    EXPECT_EQ(modem.Record().HostCommands().size(), 2u);
    EXPECT_TRUE(modem.Record().HasEvent("silent modem kept back a frame on channel 1"));

    modem.ClearFaults();
    modem.SetPeriodicEvent(0ms, {});
    client->Write(EncodeFrame(0, 0, 0, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), kAck0);
}

TEST_F(EmulatorTest, SilenceForACountOfFramesEndsByItself)
{
    modem.InjectFault(MakeFault(FaultKind::Silent, 1));
    client->Write(EncodeFrame(0, 0, 0, kMboxGet));
    EXPECT_TRUE(client->ReadAll(150ms).empty());
    client->Write(EncodeFrame(0, 0, 1, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 0, 1));
}

TEST_F(EmulatorTest, BurstOfEventsGoesAheadOfTheAnswer)
{
    Attach();
    Fault burst = MakeFault(FaultKind::EventBurst);
    burst.events = 3;
    modem.InjectFault(burst);
    client->Write(EncodeFrame(0, 0, 1, kMboxGet));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 0, 1));
    for (uint8_t i = 0; i < 3; ++i)
    {
        const std::optional<Bytes> event = client->ReadFrame();
        ASSERT_TRUE(event);
        EXPECT_EQ(*event, EncodeFrame(0, 2, i & 1, {0xE2, i}));
        client->Ack(*event);
    }
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(0, 0, 1, {0x01, 0x00, 0x01, 0x08}));
    EXPECT_EQ(ParseFault("event-burst@0:1:20").events, 20u);
}

// What an earlier host never read waits in the line for the next one.
TEST(EmulatorLine, BytesLeftInTheLineBeforeTheHostOpensIt)
{
    ModemEmulator modem;
    modem.Start();
    const Bytes stale = EncodeFrame(0, 0, 0, {0x01, 0x00, 0x00});
    ASSERT_TRUE(modem.LeaveInLine(stale));
    PtyClient client(modem.DevicePath());
    EXPECT_EQ(client.ReadFrame(), stale);
}

// Unplugged after the host acknowledged two data frames: the host's reads end, as on a removed device.
TEST(EmulatorLine, DeviceVanishesAfterItsAcknowledgedFrames)
{
    ModemEmulator modem;
    modem.VanishAfterAcknowledged(2);
    modem.Start();
    PtyClient client(modem.DevicePath());
    for (uint8_t bit = 0; bit < 2; ++bit)
    {
        EXPECT_FALSE(modem.Vanished());
        client.Command(kMboxGet, bit);
    }
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.Vanished(); }, std::chrono::seconds(5)));
    EXPECT_TRUE(client.ReadAll(std::chrono::milliseconds(50)).empty());
    EXPECT_TRUE(modem.Record().HasEvent("device vanished after 2 acknowledged frames"));
}
