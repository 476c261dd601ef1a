// The commissioned module on its own: requests handed to it directly, its
// answers caught by a radio world of the test.
#include "CommissionedModule.h"
#include "HexBytes.h"

#include <gtest/gtest.h>

using namespace ModemEmu;
using Bytes = std::vector<uint8_t>;

namespace
{

struct Sent
{
    Bytes frame;
    std::chrono::milliseconds delay;
};

class TestWorld : public RadioWorld
{
public:
    void Transmit(const std::vector<uint8_t> &airFrame, uint8_t, std::chrono::milliseconds delay) override
    {
        sent.push_back({airFrame, delay});
    }
    Clock::time_point Now() const override { return now; }

    std::vector<Sent> sent;
    Clock::time_point now{};
};

const RadioAddress kModule = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);
const AesKey kKey = Aes128Cbc::ParseKey("7C41D09A2E6B35F8A1C94E07B2D6F358");

// A request as the host queues it: its link address is the modem's own.
Bytes Request(uint8_t ci, const std::string &payloadHex, const AesKey &key = kKey, bool encrypt = true)
{
    RadioHeader header;
    header.c = 0x7B;
    header.id = 0x12345678;
    header.version = 0x07;
    header.type = 0x37;
    header.ci = ci;
    header.access = 0x67;
    header.transport = kModule;
    Bytes data = ParseHex("2F 2F " + payloadHex);
    const Bytes plain = RadioFrame::Build(header, data);
    return encrypt ? RadioFrame::EncryptMode5(plain, key) : plain;
}

HostRadioFrame FromHost(const Bytes &bytes)
{
    return {Clock::time_point{}, RadioPath::Mailbox, 1, bytes, RadioFrame::Destination(bytes)};
}

CommissionedConfig Config()
{
    CommissionedConfig config;
    config.configuration = ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 01");
    config.logs = ParseHex("02 FD 17 05 00");
    return config;
}

// The data of an answer after its two fillers, with the fillers of the last block cut off.
Bytes AnswerData(const Bytes &air)
{
    const Bytes open = RadioFrame::DecryptMode5(air, kKey);
    EXPECT_EQ(open[15], 0x2F);
    EXPECT_EQ(open[16], 0x2F);
    Bytes data(open.begin() + 17, open.end());
    while (!data.empty() && data.back() == 0x2F)
    {
        data.pop_back();
    }
    return data;
}

} // namespace

TEST(CommissionedModule, AnswersEachRequestWithItsAnswerCi)
{
    struct Case
    {
        uint8_t ci;
        const char *payload;
        uint8_t answerCi;
        const char *answer;
    };
    // One module for all: the write changes what the reads that follow see.
    const Case cases[] = {
        {0xA0, "", 0xA1, "04 FD 3A 78 00 00 00 01 FD 0E 01"},                     // everything held
        {0xA2, "01 FD 0E 02 02 FD 3B 0E 00", 0xA3, "01 FD 0E 02 02 FD 3B 0E 00"}, // echo
        {0xA0, "01 FD 0E 00 04 FD 3A 00 00 00 00 02 FD 17 00 00", 0xA1,
         "01 FD 0E 02 04 FD 3A 78 00 00 00 02 FD 17 00 00"}, // held values; an unknown item as asked
        {0xA0, "", 0xA1, "04 FD 3A 78 00 00 00 01 FD 0E 02 02 FD 3B 0E 00"},
        {0xA6, "", 0xA7, "02 FD 17 05 00"},
        {0xA8, "01 FD 08 05 04 FD 3A 0A 00 00 00 01 FD 3A 03", 0xA9, "01 FD 08 05 04 FD 3A 0A 00 00 00 01 FD 3A 03"},
    };
    CommissionedModule module(Config());
    TestWorld world;
    for (const Case &c : cases)
    {
        world.sent.clear();
        module.OnHostFrame(FromHost(Request(c.ci, c.payload)), world);
        ASSERT_EQ(world.sent.size(), 1u) << c.payload;
        const Bytes &answer = world.sent[0].frame;
        EXPECT_EQ(answer[1], 0x08);                     // RSP-UD
        EXPECT_EQ(RadioFrame::Source(answer), kModule); // from the module itself
        EXPECT_EQ(answer[10], c.answerCi);
        EXPECT_EQ(AnswerData(answer), ParseHex(c.answer)) << c.payload;
    }
    EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 02 02 FD 3B 0E 00"));

    const std::vector<ModuleRequest> requests = module.Requests();
    ASSERT_EQ(requests.size(), 6u);
    EXPECT_TRUE(requests[1].decrypted && requests[1].answered);
    EXPECT_EQ(requests[1].ci, 0xA2);
    EXPECT_EQ(requests[1].access, 0x67);
    EXPECT_EQ(requests[1].plain, ParseHex("2F 2F 01 FD 0E 02 02 FD 3B 0E 00 2F 2F 2F 2F 2F"));
    EXPECT_EQ(requests[1].records, ParseHex("01 FD 0E 02 02 FD 3B 0E 00"));
}

TEST(CommissionedModule, PlainAnswersWithFillersBetweenTheRecords)
{
    CommissionedConfig config = Config();
    config.encryptAnswers = false;
    config.answerFillers = 2;
    CommissionedModule module(config);
    TestWorld world;
    module.OnHostFrame(FromHost(Request(0xA2, "01 FD 0E 02 02 FD 3B 0E 00")), world);
    ASSERT_EQ(world.sent.size(), 1u);
    const Bytes &answer = world.sent[0].frame;
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(answer);
    ASSERT_TRUE(layout.has_value());
    EXPECT_EQ(answer[layout->config + 1] & 0x0F, 0); // not encrypted
    EXPECT_EQ(Bytes(answer.begin() + static_cast<long>(layout->data), answer.end()),
              ParseHex("2F 2F 01 FD 0E 02 2F 2F 02 FD 3B 0E 00 2F 2F"));
    // The fillers are no part of what the module holds.
    EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 02 02 FD 3B 0E 00"));
}

TEST(CommissionedModule, OpensARequestEncryptedElsewhere)
{
    // Encrypted with another AES implementation: key above, IV from the link address and access number 0x67.
    const Bytes request = ParseHex("267BD26A785634120737A212345678D26A0107670010059BE80BB5EBEDC68BAF33CF94116BE016");
    CommissionedModule module(Config());
    TestWorld world;
    module.OnHostFrame(FromHost(request), world);
    const std::vector<ModuleRequest> requests = module.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].decrypted);
    EXPECT_EQ(requests[0].plain, ParseHex("2F 2F 01 FD 0E 02 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F"));
    EXPECT_EQ(requests[0].records, ParseHex("01 FD 0E 02"));
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(AnswerData(world.sent[0].frame), ParseHex("01 FD 0E 02"));
}

TEST(CommissionedModule, AnswerFaults)
{
    const char *const written = "01 FD 0E 02 02 FD 3B 0E 00";
    struct Case
    {
        ModuleAnswer answer;
        std::vector<const char *> answers; // data of each frame sent, in order
        bool impostorFirst;
    };
    const Case cases[] = {
        {ModuleAnswer::Wrong, {"01 FD 0E 02 02 FD 3B 0E FF"}, false},
        {ModuleAnswer::Short, {"01 FD 0E 02"}, false},
        {ModuleAnswer::Empty, {""}, false},
        {ModuleAnswer::Extended, {"01 FD 0E 02 02 FD 3B 0E 00 0F 5A A5"}, false},
        {ModuleAnswer::Impostor, {"01 FD 0E 02 02 FD 3B 0E FF", written}, true},
        {ModuleAnswer::None, {}, false},
    };
    for (const Case &c : cases)
    {
        CommissionedModule module(Config());
        module.SetAnswer(c.answer);
        TestWorld world;
        module.OnHostFrame(FromHost(Request(0xA2, written)), world);
        ASSERT_EQ(world.sent.size(), c.answers.size()) << static_cast<int>(c.answer);
        for (size_t i = 0; i < c.answers.size(); ++i)
        {
            EXPECT_EQ(AnswerData(world.sent[i].frame), ParseHex(c.answers[i])) << static_cast<int>(c.answer);
            const bool fromModule = RadioFrame::Source(world.sent[i].frame) == kModule;
            EXPECT_EQ(fromModule, !(c.impostorFirst && i == 0)) << static_cast<int>(c.answer);
        }
        if (c.impostorFirst)
        {
            EXPECT_LT(world.sent[0].delay, world.sent[1].delay);
        }
        // The module took the write whatever its answer says.
        EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 02 02 FD 3B 0E 00"));
        EXPECT_EQ(module.Requests().at(0).answered, c.answer != ModuleAnswer::None);
    }
}

// A late answer goes out only with the next request's answer, ahead of it.
TEST(CommissionedModule, LateAnswerComesBeforeTheNextAnswer)
{
    CommissionedModule module(Config());
    module.SetAnswerFor(0, ModuleAnswer::Late);
    TestWorld world;
    module.OnHostFrame(FromHost(Request(0xA2, "01 FD 0E 02")), world);
    EXPECT_TRUE(world.sent.empty());
    EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 02"));
    module.OnHostFrame(FromHost(Request(0xA2, "04 FD 3A 2C 01 00 00")), world);
    ASSERT_EQ(world.sent.size(), 2u);
    EXPECT_EQ(AnswerData(world.sent[0].frame), ParseHex("01 FD 0E 02"));
    EXPECT_EQ(AnswerData(world.sent[1].frame), ParseHex("04 FD 3A 2C 01 00 00"));
    EXPECT_LT(world.sent[0].delay, world.sent[1].delay);
    EXPECT_TRUE(module.Requests().at(0).answered);
}

TEST(CommissionedModule, AnswerForOneRequestOnly)
{
    CommissionedModule module(Config());
    module.SetAnswerFor(1, ModuleAnswer::None);
    TestWorld world;
    for (int i = 0; i < 3; ++i)
    {
        module.OnHostFrame(FromHost(Request(0xA6, "")), world);
    }
    EXPECT_EQ(world.sent.size(), 2u);
    const std::vector<ModuleRequest> requests = module.Requests();
    ASSERT_EQ(requests.size(), 3u);
    EXPECT_TRUE(requests[0].answered);
    EXPECT_FALSE(requests[1].answered);
    EXPECT_TRUE(requests[2].answered);
}

TEST(CommissionedModule, RequestsItCannotOpenAreKeptButNotAnswered)
{
    struct Case
    {
        const char *what;
        Bytes frame;
        bool decrypted;
    };
    const Case cases[] = {
        {"another key", Request(0xA2, "01 FD 0E 02", Aes128Cbc::ParseKey("00112233445566778899AABBCCDDEEFF")), false},
        {"not encrypted", Request(0xA2, "01 FD 0E 02", kKey, false), false},
        {"a firmware block", Request(0xA4, "01 FD 0E 02"), true},
        {"a frame too short for its header", ParseHex("0B 7B D2 6A 78 56 34 12 07 37 A2 12"), false},
    };
    for (const Case &c : cases)
    {
        CommissionedModule module(Config());
        TestWorld world;
        module.OnHostFrame(FromHost(c.frame), world);
        EXPECT_TRUE(world.sent.empty()) << c.what;
        ASSERT_EQ(module.Requests().size(), 1u) << c.what;
        EXPECT_EQ(module.Requests()[0].decrypted, c.decrypted) << c.what;
        EXPECT_FALSE(module.Requests()[0].answered) << c.what;
        EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 01")) << c.what;
    }
}

TEST(CommissionedModule, BytesThatAreNoRecordsAreEchoedNotStored)
{
    CommissionedModule module(Config());
    TestWorld world;
    // The last record is cut: two of its four value bytes are missing. The
    // payload fills its block, so no fillers follow to be read as the value.
    const char *const payload = "01 FD 0E 03 02 FD 3B 05 00 04 FD 3A 01 02";
    module.OnHostFrame(FromHost(Request(0xA2, payload)), world);
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(AnswerData(world.sent[0].frame), ParseHex(payload));
    EXPECT_EQ(module.Configuration(), ParseHex("04 FD 3A 78 00 00 00 01 FD 0E 03 02 FD 3B 05 00"));

    CommissionedConfig broken = Config();
    broken.configuration = ParseHex("04 FD 3A 01");
    EXPECT_THROW(CommissionedModule{broken}, std::invalid_argument);
}

TEST(CommissionedModule, SendsItsOwnFramesAtItsPeriod)
{
    CommissionedConfig config = Config();
    config.beaconPeriod = std::chrono::milliseconds(100);
    config.beaconFirstDelay = std::chrono::milliseconds(10);
    CommissionedModule module(config);
    TestWorld world;
    module.Start(world);
    for (int ms : {0, 9, 10, 50, 109, 110, 150})
    {
        world.now = Clock::time_point{} + std::chrono::milliseconds(ms);
        module.Tick(world);
    }
    ASSERT_EQ(world.sent.size(), 2u);
    for (const Sent &sent : world.sent)
    {
        EXPECT_EQ(sent.frame[1], 0x08);
        EXPECT_EQ(sent.frame[10], 0x7A);
        EXPECT_EQ(RadioFrame::Source(sent.frame), kModule);
    }
    // Consecutive access numbers: the module numbers its frames.
    EXPECT_EQ(world.sent[1].frame[11], world.sent[0].frame[11] + 1);

    CommissionedModule silent(Config());
    TestWorld quiet;
    silent.Start(quiet);
    quiet.now += std::chrono::seconds(5);
    silent.Tick(quiet);
    EXPECT_TRUE(quiet.sent.empty());
}
