// The modem's side of the serial protocol, driven by a raw client on the pty.
#include "EmulatorFixture.h"

using namespace ModemEmu;

namespace
{

const Bytes kReadHwVersion{0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5};
const Bytes kMboxGet{0xFF, 0x05, 0x00, 0x06, 0x00, 0xBF, 0xE5, 0xF5};
const Bytes kAckChannel1Bit1{0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5};

Bytes Answer(uint8_t status, const Bytes &data = {})
{
    Bytes answer{0x01, status, static_cast<uint8_t>(data.size())};
    answer.insert(answer.end(), data.begin(), data.end());
    return answer;
}

Bytes Text(const std::string &text)
{
    return Bytes(text.begin(), text.end());
}

} // namespace

TEST_F(EmulatorTest, AnswersTheWorkedReadCommand)
{
    client->Write(kReadHwVersion);
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 0, 0));
    auto answer = client->ReadFrame();
    ASSERT_TRUE(answer);
    EXPECT_EQ(*answer, EncodeFrame(0, 0, 0, Answer(0, Text("HW 2.1"))));
    client->Ack(*answer);

    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.Record().HostFrames().size() == 2; }, 1s));
    Bytes sent = kReadHwVersion;
    const Bytes ack = EncodeFrame(1, 0, 0);
    sent.insert(sent.end(), ack.begin(), ack.end());
    EXPECT_EQ(modem.Record().HostBytes(), sent);
    EXPECT_EQ(modem.Record().HostCommands(), (std::vector<Bytes>{{0x02, 0x01, 0x00}}));
    EXPECT_EQ(modem.Record().ViolationText(), "");
}

TEST_F(EmulatorTest, AnswersTheWorkedMailboxGet)
{
    client->Write(kMboxGet);
    EXPECT_EQ(client->ReadFrame(), EncodeFrame(1, 0, 0));
    auto answer = client->ReadFrame();
    ASSERT_TRUE(answer);
    EXPECT_EQ(PayloadOf(*answer), Answer(0, {8}));
}

TEST_F(EmulatorTest, AcknowledgesARadioFrameWithTheWorkedAck)
{
    const Bytes radio = RadioFrame::Build(Header(0x7B, 0x00112233, 0xA0), {0x2F, 0x2F, 0x01});
    client->Write(EncodeFrame(0, 1, 1, radio));
    EXPECT_EQ(client->ReadFrame(), kAckChannel1Bit1);
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.Record().RadioFrames().size() == 1; }, 1s));
    const HostRadioFrame recorded = modem.Record().RadioFrames()[0];
    EXPECT_EQ(recorded.path, RadioPath::Direct);
    EXPECT_EQ(recorded.bytes, radio);
    EXPECT_EQ(recorded.destination, RadioFrame::MakeAddress(0x00112233, 0x6AD2, 1, 0x31));
}

TEST_F(EmulatorTest, ReadsEveryParameterTheDriverAsksFor)
{
    ModemIdentity identity;
    identity.hwVersion = "H1";
    identity.description = "Desc";
    identity.swVersion = "01.01";
    identity.serial = "SN42";
    identity.manufacturer = 0x0201;
    identity.id = 0x44332211;
    identity.version = 5;
    identity.type = 6;
    identity.mode = 2;
    identity.channel = 3;
    modem.SetIdentity(identity);
    modem.SetMailboxCapacity(12);
    modem.SetStats(0x01020304, 5, 0x100, 0);

    const std::pair<uint8_t, Bytes> cases[] = {
        {1, Text("H1")},    {2, Text("Desc")},   {3, Text("01.01")},
        {4, Text("SN42")},  {10, {0x01, 0x02}},  {11, {0x11, 0x22, 0x33, 0x44}},
        {12, {5}},          {13, {6}},           {20, {2}},
        {21, {3}},          {25, {12, 0, 0, 0}}, {50, {0x04, 0x03, 0x02, 0x01}},
        {51, {5, 0, 0, 0}}, {52, {0, 1, 0, 0}},  {53, {0, 0, 0, 0}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(Command({0x02, c.first, 0x00}), Answer(0, c.second)) << "parameter " << int(c.first);

    // Ids without a name, and past the table, do not exist.
    EXPECT_EQ(Command({0x02, 5, 0x00}), Answer(StatusUnknown));
    EXPECT_EQ(Command({0x02, 54, 0x00}), Answer(StatusUnknown));
    EXPECT_EQ(modem.Record().ViolationText(), "");
}

TEST_F(EmulatorTest, WritesRadioSettingsAndRefusesTheRest)
{
    EXPECT_EQ(Command({0x03, 20, 1, 0x05}), Answer(0));
    EXPECT_EQ(Command({0x02, 20, 0x00}), Answer(0, {0x05}));
    EXPECT_EQ(modem.Param(20), Bytes{0x05});
    EXPECT_EQ(Command({0x03, 21, 1, 0x0A}), Answer(0));
    EXPECT_EQ(modem.Param(21), Bytes{0x0A});

    EXPECT_EQ(Command({0x03, 1, 2, 'X', 'Y'}), Answer(StatusReadOnly));
    EXPECT_EQ(Command({0x03, 20, 2, 0x01, 0x02}), Answer(StatusBadFormat));
    EXPECT_EQ(Command({0x03, 7, 1, 0x01}), Answer(StatusUnknown));
    EXPECT_EQ(modem.Record().ViolationText(), "");

    // A data length that disagrees with the frame is the host's fault.
    EXPECT_EQ(Command({0x03, 20, 3, 0x01}), Answer(StatusBadFormat));
    EXPECT_NE(modem.Record().ViolationText().find("malformed write"), std::string::npos);
    EXPECT_EQ(modem.Param(20), Bytes{0x05});
}

TEST_F(EmulatorTest, ForcedStatusMakesAParameterFail)
{
    modem.ForceParamStatus(3, 7);
    EXPECT_EQ(Command({0x02, 3, 0x00}), Answer(7));
    modem.ForceParamStatus(3, 0);
    EXPECT_EQ(Command({0x02, 3, 0x00}), Answer(0, Text("01.01.07")));
}

TEST_F(EmulatorTest, MailboxCommandsAndAFullMailbox)
{
    modem.SetMailboxCapacity(2);
    const Bytes frameA = RadioFrame::Build(Header(0x7B, 0x01, 0xA0), {0x2F, 0x2F, 0xAA});
    const Bytes frameB = RadioFrame::Build(Header(0x7B, 0x02, 0xA2), {0x2F, 0x2F, 0xBB});

    EXPECT_EQ(Command({0x06, 0x00}), Answer(0, {2}));
    EXPECT_EQ(Command(MboxAdd(frameA)), Answer(0, {1}));
    EXPECT_EQ(Command(MboxAdd(frameB)), Answer(0, {2}));
    EXPECT_EQ(Command({0x06, 0x00}), Answer(0, {0}));
    EXPECT_EQ(Command(MboxAdd(frameA)), Answer(StatusMailboxFull));

    EXPECT_EQ(Command({0x07, 0x01, 1}), Answer(0, {0})); // pending
    EXPECT_EQ(Command({0x05, 0x01, 1}), Answer(0));
    EXPECT_EQ(Command({0x07, 0x01, 1}), Answer(0, {1})); // gone
    EXPECT_EQ(Command({0x05, 0x01, 1}), Answer(StatusNoMessage));
    EXPECT_EQ(Command({0x06, 0x00}), Answer(0, {1}));
    // Ids move on rather than reusing the one just freed.
    EXPECT_EQ(Command(MboxAdd(frameA)), Answer(0, {3}));

    const std::vector<MailboxEntry> entries = modem.MailboxEntries();
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].id, 2);
    EXPECT_EQ(entries[0].frame, frameB);

    const std::vector<HostRadioFrame> radio = modem.Record().RadioFrames();
    ASSERT_EQ(radio.size(), 3u);
    EXPECT_EQ(radio[0].path, RadioPath::Mailbox);
    EXPECT_EQ(radio[0].messageId, 1);
    EXPECT_EQ(radio[0].bytes, frameA);
    EXPECT_EQ(modem.Record().ViolationText(), "");
}

TEST_F(EmulatorTest, MalformedMailboxRequestsAreRefusedAndRecorded)
{
    const Bytes requests[] = {
        {0x04, 0x05, 0x0A, 0x44}, // length says 5, 2 bytes follow
        {0x04, 0x00},             // empty frame
        {0x05, 0x02, 0x01, 0x00}, // del with two id bytes
        {0x07, 0x01},             // check without id
        {0x06, 0x01, 0x00},       // get with data
        {0x02, 0x01},             // read without its zero
    };
    for (const Bytes &request : requests)
        EXPECT_EQ(Command(request), Answer(StatusBadFormat));
    EXPECT_EQ(modem.Record().Violations().size(), std::size(requests));
    EXPECT_TRUE(modem.MailboxEntries().empty());
}

TEST_F(EmulatorTest, UnknownCommandIsAnsweredWithStatusUnknown)
{
    EXPECT_EQ(Command({0x09, 0x00}), Answer(StatusUnknown));
    EXPECT_NE(modem.Record().ViolationText().find("unknown command 9"), std::string::npos);
}

TEST_F(EmulatorTest, RefusesBrokenHostFramesWithoutAnswering)
{
    Bytes badCrc = kReadHwVersion;
    badCrc[6] ^= 0x10;
    client->Write(badCrc);
    client->Write({0x01, 0x02});
    EXPECT_TRUE(client->ReadAll(200ms).empty());
    const std::string violations = modem.Record().ViolationText();
    EXPECT_NE(violations.find("wrong CRC"), std::string::npos) << violations;
    EXPECT_NE(violations.find("garbage bytes outside a frame: 0102"), std::string::npos) << violations;

    // Still in step: the next good frame is answered.
    EXPECT_EQ(Command({0x06, 0x00}), Answer(0, {8}));
}

TEST_F(EmulatorTest, ChecksTheHostsAcknowledgements)
{
    CoreConfig config;
    config.ackTimeout = 150ms;
    config.detachAfterMissingAcks = 100;
    modem.SetConfig(config);

    // An ack for nothing, then an answer acknowledged with the wrong bit.
    client->Write(EncodeFrame(1, 1, 0));
    client->Write(EncodeFrame(0, 0, 0, {0x06, 0x00}));
    ASSERT_TRUE(client->ReadFrame());
    auto answer = client->ReadFrame();
    ASSERT_TRUE(answer);
    client->Write(EncodeFrame(1, 0, 1));
    // The next answer (bit 1) is never acknowledged.
    client->Write(EncodeFrame(0, 0, 1, {0x06, 0x00}));
    ASSERT_TRUE(client->ReadFrame());
    ASSERT_TRUE(client->ReadFrame());

    ASSERT_TRUE(modem.Record().WaitUntil(
        [&] { return modem.Record().HasEvent("host did not acknowledge frame on channel 0 with bit 1"); }, 1s));
    const std::string violations = modem.Record().ViolationText();
    EXPECT_NE(violations.find("link acknowledgement with no frame waiting for one"), std::string::npos);
    EXPECT_NE(violations.find("link acknowledgement with bit 1 for a frame with bit 0"), std::string::npos);
}

TEST_F(EmulatorTest, SendsPeriodicEventsOnChannelTwo)
{
    Attach();
    modem.SetPeriodicEvent(50ms, {0xE1, 0x02});
    for (uint8_t bit = 0; bit < 2; ++bit)
    {
        auto event = client->ReadFrame(1s);
        ASSERT_TRUE(event);
        EXPECT_EQ(*event, EncodeFrame(0, 2, bit, {0xE1, 0x02}));
        client->Ack(*event);
    }
}

TEST(EmulatorPty, LinksTheDeviceAndRemovesTheLinkAfterwards)
{
    char dir[] = "/tmp/modememu-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyModem";
    {
        ModemEmulator modem(link);
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(modem.DevicePath(), target);
        EXPECT_EQ(modem.LinkPath(), link);
        // A stale link from an earlier run is replaced.
        ModemEmulator second(link);
        char secondTarget[256] = {};
        ASSERT_GT(readlink(link.c_str(), secondTarget, sizeof secondTarget - 1), 0);
        EXPECT_EQ(second.DevicePath(), secondTarget);
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0);

    // A regular file at the path is never overwritten.
    FILE *file = fopen(link.c_str(), "w");
    ASSERT_NE(file, nullptr);
    fclose(file);
    EXPECT_THROW(ModemEmulator modem(link), std::runtime_error);
    unlink(link.c_str());
    rmdir(dir);
}

TEST(EmulatorPty, HostMayCloseAndReopenTheDevice)
{
    ModemEmulator modem;
    modem.Start();
    for (int run = 0; run < 2; ++run)
    {
        PtyClient client(modem.DevicePath());
        EXPECT_EQ(client.Command({0x06, 0x00}, 0), Answer(0, {8})) << "run " << run;
    }
}
