// The radio world behind the modem: meters, scripted modules and the mailbox.
#include "EmulatorFixture.h"

#include "HexBytes.h"

using namespace ModemEmu;

namespace
{

// Published mode-5 example and its plain twin, key 0102...0F11.
const char *const kPlainV3 =
    "2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F";
const char *const kEncryptedV3 =
    "2E4493157856341233037A2A0020055923C95AAA26D1B2E7493B013EC4A6F6D3529B520EDFF0EA6DEFC99D6D69EBF3";
const char *const kKeyV3 = "0102030405060708090A0B0C0D0E0F11";

const RadioAddress kModuleAddress = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);

// What the modem hands the host for an air frame: L counts the signal byte that follows.
Bytes Delivered(Bytes air, uint8_t signal)
{
    air[0] = static_cast<uint8_t>(air[0] + 1);
    air.push_back(signal);
    return air;
}

Bytes Request(uint8_t ci, const RadioAddress &to, const Bytes &data)
{
    RadioHeader header = Header(0x7B, 0x00112233, ci);
    header.transport = to;
    return RadioFrame::Build(header, data);
}

// Keeps what the host sends it and answers each frame with one of its own.
class AnsweringModule : public ScriptedModule
{
public:
    AnsweringModule(RadioAddress address, bool unaddressed) : address_(address), unaddressed_(unaddressed) {}

    std::string Name() const override { return "answering"; }
    RadioAddress Address() const override { return address_; }
    bool AcceptsUnaddressed() const override { return unaddressed_; }
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        received_.push_back(frame.bytes);
        world.Transmit(AnswerTo(frame.bytes), 0x90);
    }
    static Bytes AnswerTo(const Bytes &request)
    {
        return RadioFrame::Build(Header(0x08, 0x78563412, 0x7A, 0x01, 0x07), {0x2F, 0x2F, request[1]});
    }
    std::vector<Bytes> Received() const
    {
        std::lock_guard<std::mutex> lock(mutex_);
        return received_;
    }

private:
    RadioAddress address_;
    bool unaddressed_;
    mutable std::mutex mutex_;
    std::vector<Bytes> received_;
};

MeterConfig Meter(std::vector<Bytes> frames, std::chrono::milliseconds period)
{
    MeterConfig config;
    config.frames = std::move(frames);
    config.period = period;
    config.firstDelay = 10ms;
    return config;
}

} // namespace

TEST_F(EmulatorTest, MeterFramesReachTheHostWithTheSignalByte)
{
    const Bytes first = RadioFrame::Build(Header(0x44, 0x78563412, 0x7A, 1, 7), {0x2F, 0x2F, 0x01});
    const Bytes second = RadioFrame::Build(Header(0x08, 0x78563412, 0x7A, 1, 7), {0x2F, 0x2F, 0x02, 0x03});
    MeterConfig config = Meter({first, second}, 60ms);
    config.signal = 0xB0;
    Attach();
    auto meter = modem.AddMeter(config);
    EXPECT_EQ(meter->Address(), kModuleAddress);

    for (uint8_t bit = 0; bit < 3; ++bit)
    {
        auto frame = client->ReadFrame(1s);
        ASSERT_TRUE(frame);
        EXPECT_EQ(*frame, EncodeFrame(0, 1, bit, Delivered(bit == 1 ? second : first, 0xB0))) << "frame " << int(bit);
        client->Ack(*frame);
    }
    EXPECT_EQ(modem.Record().ViolationText(), "");
}

TEST_F(EmulatorTest, EncryptedMeterSendsThePublishedModeFiveFrame)
{
    MeterConfig config = Meter({ParseHex(kPlainV3)}, 1000ms);
    config.key = Aes128Cbc::ParseKey(kKeyV3);
    Attach();
    modem.AddMeter(config);
    auto frame = client->ReadFrame(1s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(PayloadOf(*frame), Delivered(ParseHex(kEncryptedV3), 0xC4));
}

TEST_F(EmulatorTest, RadioFramesWaitForAHost)
{
    MeterConfig config = Meter({ParseHex(kPlainV3)}, 20ms);
    config.firstDelay = 0ms;
    modem.AddMeter(config);
    EXPECT_TRUE(client->ReadAll(100ms).empty());
    EXPECT_TRUE(modem.Record().HasEvent("radio frame dropped, no host"));
    EXPECT_FALSE(modem.HostAttached());

    Attach();
    auto frame = client->ReadFrame(1s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(PayloadOf(*frame), Delivered(ParseHex(kPlainV3), 0xC4));
}

TEST_F(EmulatorTest, HostThatStopsAcknowledgingIsTakenAsGone)
{
    CoreConfig core;
    core.ackTimeout = 80ms;
    modem.SetConfig(core);
    Attach();
    modem.AddMeter(Meter({ParseHex(kPlainV3)}, 20ms));
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return !modem.HostAttached(); }, 2s));
    EXPECT_TRUE(modem.Record().HasEvent("host stopped acknowledging"));
    // What the gone host left unread was flushed; a new host starts clean.
    client->ReadAll(30ms);
    Attach();
    auto frame = client->ReadFrame(1s);
    ASSERT_TRUE(frame);
    EXPECT_EQ(PayloadOf(*frame), Delivered(ParseHex(kPlainV3), 0xC4));
}

TEST_F(EmulatorTest, HostFramesReachTheAddressedModule)
{
    auto addressed = std::make_shared<AnsweringModule>(kModuleAddress, false);
    auto listener = std::make_shared<AnsweringModule>(RadioFrame::MakeAddress(1, 2, 3, 4), true);
    modem.AddModule(addressed);
    modem.AddModule(listener);

    const Bytes request = Request(0xA0, kModuleAddress, {0x2F, 0x2F, 0x55});
    client->Write(EncodeFrame(0, 1, 0, request));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 1, 0));
    auto answer = client->ReadFrame(1s);
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, EncodeFrame(0, 1, 0, Delivered(AnsweringModule::AnswerTo(request), 0x90)));
    client->Ack(*answer);
    EXPECT_EQ(addressed->Received(), std::vector<Bytes>{request});
    EXPECT_TRUE(listener->Received().empty());

    // A short-header frame names nobody: it goes to the modules that listen to everything.
    const Bytes testFrame = RadioFrame::Build(Header(0x46, 0x00112233, 0x7A), {0x2F, 0x2F, 0x0D});
    client->Write(EncodeFrame(0, 1, 1, testFrame));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 1, 1));
    ASSERT_TRUE(client->ReadFrame(1s));
    EXPECT_EQ(listener->Received(), std::vector<Bytes>{testFrame});

    // Nobody at this address: recorded, not answered.
    const Bytes stray = Request(0xA0, RadioFrame::MakeAddress(9, 9, 9, 9), {0x2F, 0x2F});
    client->Write(EncodeFrame(0, 1, 0, stray));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 1, 0));
    EXPECT_TRUE(client->ReadAll(100ms).empty());
    EXPECT_TRUE(modem.Record().HasEvent("radio frame for no module"));
    EXPECT_EQ(modem.Record().RadioFrames().size(), 3u);
}

TEST_F(EmulatorTest, DirectFrameWithAWrongLengthByteIsAViolation)
{
    Bytes request = Request(0xA0, kModuleAddress, {0x2F, 0x2F});
    request[0] = static_cast<uint8_t>(request[0] + 1); // counts a signal byte the host must not add
    client->Write(EncodeFrame(0, 1, 0, request));
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 1, 0));
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return !modem.Record().Violations().empty(); }, 1s));
    EXPECT_NE(modem.Record().ViolationText().find("L does not count the bytes after it"), std::string::npos);
}

TEST_F(EmulatorTest, MailboxFrameGoesOutWhenItsModuleTransmits)
{
    const Bytes request = Request(0xA2, kModuleAddress, {0x2F, 0x2F, 0x01, 0x02});
    const Bytes other = Request(0xA2, RadioFrame::MakeAddress(5, 6, 7, 8), {0x2F, 0x2F});
    EXPECT_EQ(Command(MboxAdd(request)), (Bytes{0x01, 0x00, 0x01, 0x01}));
    EXPECT_EQ(Command(MboxAdd(other)), (Bytes{0x01, 0x00, 0x01, 0x02}));

    const Bytes own = RadioFrame::Build(Header(0x44, 0x78563412, 0x7A, 1, 7), {0x2F, 0x2F, 0x01});
    auto meter = modem.AddMeter(Meter({own}, 1000ms));
    auto frame = client->ReadFrame(1s);
    ASSERT_TRUE(frame);
    client->Ack(*frame);

    const std::vector<HostRadioFrame> received = meter->Received();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].path, RadioPath::Mailbox);
    EXPECT_EQ(received[0].messageId, 1);
    EXPECT_EQ(received[0].bytes, request);
    EXPECT_EQ(Command({0x07, 0x01, 1}), (Bytes{0x01, 0x00, 0x01, 0x01}));
    EXPECT_EQ(Command({0x07, 0x01, 2}), (Bytes{0x01, 0x00, 0x01, 0x00}));
    EXPECT_TRUE(modem.Record().HasEvent("mailbox message 1 delivered to meter"));
}

TEST_F(EmulatorTest, MailboxDeliveryCanBeImmediateOrNever)
{
    auto module = std::make_shared<AnsweringModule>(kModuleAddress, false);
    modem.AddModule(module);
    const Bytes request = Request(0xA0, kModuleAddress, {0x2F, 0x2F});

    CoreConfig core;
    core.delivery = MailboxDelivery::Never;
    modem.SetConfig(core);
    Command(MboxAdd(request));
    EXPECT_TRUE(module->Received().empty());
    EXPECT_EQ(modem.MailboxEntries().size(), 1u);

    core.delivery = MailboxDelivery::Immediate;
    modem.SetConfig(core);
    modem.DeliverMailbox();
    EXPECT_EQ(module->Received().size(), 1u);
    EXPECT_TRUE(modem.MailboxEntries().empty());
    auto answer = client->ReadFrame(1s);
    ASSERT_TRUE(answer);
    client->Ack(*answer);

    Command(MboxAdd(request));
    EXPECT_EQ(module->Received().size(), 2u);
    EXPECT_TRUE(modem.MailboxEntries().empty());
}

TEST_F(EmulatorTest, PacedDeliveryFreesOneEntryAtATimeOldestFirst)
{
    auto module = std::make_shared<AnsweringModule>(kModuleAddress, false);
    modem.AddModule(module);
    CoreConfig core;
    core.delivery = MailboxDelivery::Paced;
    core.deliveryPace = 300ms;
    modem.SetConfig(core);
    modem.SetMailboxCapacity(2);
    const Bytes first = Request(0xA0, kModuleAddress, {0x2F, 0x2F, 0x01});
    const Bytes second = Request(0xA0, kModuleAddress, {0x2F, 0x2F, 0x02});
    Command(MboxAdd(first));
    Command(MboxAdd(second));
    EXPECT_EQ(Command({0x06, 0x00}), (Bytes{0x01, 0x00, 0x01, 0x00})); // full
    EXPECT_EQ(Command(MboxAdd(first)), (Bytes{0x01, 0x04, 0x00}));     // refused as full

    // The first entry goes, the second waits for the next turn.
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.MailboxEntries().size() == 1; }, 2s));
    EXPECT_EQ(module->Received(), std::vector<Bytes>{first});
    EXPECT_EQ(modem.MailboxEntries()[0].id, 2);
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.MailboxEntries().empty(); }, 2s));
    EXPECT_EQ(module->Received(), (std::vector<Bytes>{first, second}));
    for (int answers = 0; answers < 2; ++answers)
    {
        auto answer = client->ReadFrame(1s);
        ASSERT_TRUE(answer);
        client->Ack(*answer);
    }
}

TEST_F(EmulatorTest, WithdrawalsAreRecordedWithTheirId)
{
    CoreConfig core;
    core.delivery = MailboxDelivery::Never;
    modem.SetConfig(core);
    Command(MboxAdd(Request(0xA0, kModuleAddress, {0x2F, 0x2F})));
    Command(MboxAdd(Request(0xA2, kModuleAddress, {0x2F, 0x2F})));
    EXPECT_EQ(Command({0x05, 0x01, 2}), (Bytes{0x01, 0x00, 0x00}));
    EXPECT_EQ(Command({0x05, 0x01, 2}), (Bytes{0x01, 0x05, 0x00})); // no longer there: nothing withdrawn
    EXPECT_TRUE(modem.Record().HasEvent("mailbox message 2 withdrawn by the host"));
    EXPECT_FALSE(modem.Record().HasEvent("mailbox message 1 withdrawn"));
    ASSERT_EQ(modem.MailboxEntries().size(), 1u);
    EXPECT_EQ(modem.MailboxEntries()[0].id, 1);
}
