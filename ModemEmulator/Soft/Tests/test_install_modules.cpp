// The installing module and the concentrator on their own, with a recording radio world.
#include "Concentrator.h"
#include "HexBytes.h"
#include "InstallingModule.h"
#include "RecordingWorld.h"

#include <gtest/gtest.h>

namespace
{

using namespace ModemEmu;
using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

const AesKey Key = Aes128Cbc::ParseKey("7C41D09A2E6B35F8A1C94E07B2D6F358");
const RadioAddress Modem = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x07, 0x37);

// A frame from the modem: its own link address, the given header and data.
HostRadioFrame FromModem(uint8_t c, uint8_t ci, const Bytes &data, uint8_t status = 0,
                         const std::optional<RadioAddress> &to = std::nullopt, uint8_t access = 0x55)
{
    RadioHeader header = RadioFrame::HeaderFrom(Modem, c, ci);
    header.transport = to;
    header.access = access;
    header.status = status;
    const Bytes air = RadioFrame::Build(header, data);
    return HostRadioFrame{Clock::time_point{}, RadioPath::Direct, 0, air, RadioFrame::Destination(air)};
}

HostRadioFrame TestFrame(const Bytes &records, const AesKey &key)
{
    Bytes data = records;
    data.insert(data.begin(), 2, 0x2F);
    HostRadioFrame frame = FromModem(0x46, 0x7A, data);
    frame.bytes = RadioFrame::EncryptMode5(frame.bytes, key);
    return frame;
}

ConcentratorConfig KeyedConcentrator()
{
    ConcentratorConfig config;
    config.key = Key;
    return config;
}

} // namespace

TEST(Concentrator, AnswersATestFrameWithItsUidAndTheUplinkStrength)
{
    ConcentratorConfig config = KeyedConcentrator();
    config.signal = 0xB0;
    config.delay = 300ms;
    Concentrator concentrator(config);
    RecordingWorld world;
    concentrator.OnHostFrame(TestFrame(Concentrator::TestFrameRecords(), Key), world);

    EXPECT_TRUE(concentrator.Problems().empty()) << concentrator.Problems().front();
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.sent[0].signal, 0xB0);
    EXPECT_EQ(world.sent[0].delay, 300ms);
    // SND-NKE from the concentrator (device type 0x31) to the sender of the test frame, the test
    // frame's access number, status 0x8A, then its uid under VIF 0xFD / VIFE 0x73.
    EXPECT_EQ(world.sent[0].frame, ParseHex("1D 40 D2 6A 01 00 99 00 01 31 80 12 34 56 78 D2 6A 07 37 55 8A 00 00 "
                                            "04 FD 73 78 56 34 12"));
    const std::vector<Bytes> heard = concentrator.TestFrames();
    ASSERT_EQ(heard.size(), 1u);
    EXPECT_EQ(heard[0], Concentrator::TestFrameRecords()); // 2F 2F and 30 bytes fill two blocks
}

TEST(Concentrator, StaysSilentOnFramesItCannotTake)
{
    Bytes otherRecords = Concentrator::TestFrameRecords();
    otherRecords[11] = 0x4C; // one letter of the model text
    struct Case
    {
        const char *what;
        HostRadioFrame frame;
        bool problem;
    };
    const Case cases[] = {
        {"other key",
         TestFrame(Concentrator::TestFrameRecords(), Aes128Cbc::ParseKey("000102030405060708090A0B0C0D0E0F")), true},
        {"other records", TestFrame(otherRecords, Key), true},
        {"plain test frame", FromModem(0x46, 0x7A, ParseHex("2F 2F 04 13 00 00 00 00")), true},
        {"not a test frame", FromModem(0x40, 0x80, {}, 0, Modem), false},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        Concentrator concentrator(KeyedConcentrator());
        RecordingWorld world;
        concentrator.OnHostFrame(c.frame, world);
        EXPECT_TRUE(world.sent.empty());
        EXPECT_EQ(concentrator.Problems().empty(), !c.problem);
        EXPECT_EQ(concentrator.AnswerCount(), 0u);
    }
}

TEST(InstallingModule, SendsEachRequestAfterTheAnswerToThePreviousOne)
{
    InstallingConfig config;
    config.frames = {{0x8B, 0xC4}, {0x7A, 0xFF}};
    config.firstDelay = 200ms;
    config.gap = 100ms;
    InstallingModule module(config);
    RecordingWorld world;
    module.Start(world);

    module.Tick(world);
    EXPECT_TRUE(world.sent.empty()); // not before its first delay
    world.now += 200ms;
    module.Tick(world);
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.sent[0].signal, 0xC4);
    // SND-IR from the module; CI 0x8B carries the module's own transport address.
    EXPECT_EQ(world.sent[0].frame, ParseHex("1C 46 D2 6A 11 22 33 44 02 07 8B 11 22 33 44 D2 6A 02 07 10 00 00 00 "
                                            "04 13 00 00 00 00"));

    world.now += 1s;
    module.Tick(world);
    module.OnHostFrame(FromModem(0x06, 0x80, {}, 0, config.address), world);
    module.Tick(world);
    EXPECT_EQ(world.sent.size(), 1u); // a CNF-IR is not the end of the exchange
    module.OnHostFrame(FromModem(0x40, 0x80, {}, 0x76, config.address), world);
    world.now += 99ms;
    module.Tick(world);
    EXPECT_EQ(world.sent.size(), 1u);
    world.now += 1ms;
    module.Tick(world);
    ASSERT_EQ(world.sent.size(), 2u);
    EXPECT_EQ(world.sent[1].frame[10], 0x7A);
    EXPECT_EQ(world.sent[1].signal, 0xFF);

    const std::vector<InstallAnswer> answers = module.Answers();
    ASSERT_EQ(answers.size(), 2u);
    EXPECT_EQ(answers[0].c, 0x06);
    EXPECT_EQ(answers[1].c, 0x40);
    EXPECT_EQ(answers[1].status, 0x76);
    EXPECT_EQ(answers[1].request, 0u);
    EXPECT_EQ(answers[1].destination, config.address);
    EXPECT_TRUE(module.Problems().empty()) << module.Problems().front();
    EXPECT_EQ(InstallingModule::RssiOf(0xC4), 0x76);
}

TEST(InstallingModule, EncryptsItsRequestsAndNotesStrayAnswers)
{
    InstallingConfig config;
    config.frames = {{0x7A, 0xC4}};
    config.key = Key;
    InstallingModule module(config);
    const Bytes plain = RadioFrame::DecryptMode5(module.AirFrames().at(0), Key);
    EXPECT_EQ(Bytes(plain.begin() + 15, plain.begin() + 23), ParseHex("2F 2F 04 13 00 00 00 00"));

    RecordingWorld world;
    module.OnHostFrame(FromModem(0x40, 0x80, {}, 0, config.address), world);
    EXPECT_EQ(module.Problems().size(), 1u); // an answer before any request

    config.frames = {{0x70, 0xC4}}; // no transport header to answer to
    EXPECT_THROW(InstallingModule{config}, std::invalid_argument);
}
