// The installation scenario (-i) end to end: the built program plays the concentrator
// for the emulator's installing module. The pauses before each SND-NKE (0 to 24 s,
// the same every run) make this slow.
#include "Aes128Cbc.h"
#include "EmulatorTest.h"
#include "InstallingModule.h"

#include <memory>
#include <string>

namespace
{

using ModemEmu::InstallAnswer;
using ModemEmu::InstallingModule;
using namespace std::chrono_literals;

constexpr uint8_t CnfIr = 0x06;
constexpr uint8_t SndNke = 0x40;

using InstallTask = EmulatorTest;

std::vector<InstallAnswer> AnswersTo(const std::vector<InstallAnswer> &answers, size_t request)
{
    std::vector<InstallAnswer> to;
    for (const InstallAnswer &answer : answers)
    {
        if (answer.request == request)
        {
            to.push_back(answer);
        }
    }
    return to;
}

} // namespace

TEST_F(InstallTask, SevenRequestsAreAnsweredAndTheScenarioEnds)
{
    // Tracking requests (CI 0x8B) among plain ones; the signal 0xFF is heard with RSSI 0.
    ModemEmu::InstallingConfig config;
    config.frames = {{0x8B, 0xC4}, {0x7A, 0xFF}, {0x7A, 0xA0}, {0x8B, 0xB0},
                     {0x7A, 0xC4}, {0x7A, 0xC4}, {0x7A, 0xC4}, {0x7A, 0xC4}};
    config.key = ModemEmu::Aes128Cbc::ParseKey(DefaultKey);
    // The first request goes out 200 ms after the modem starts; a program that takes longer to
    // start (a loaded machine, the sanitizers) would never hear it, since the modem drops radio
    // frames while no host talks to it. So an unheard request is sent again, as a real module does;
    // 40 s is well past the longest pause before an answer (24 s), so no heard request repeats.
    config.retry = 40s;
    auto module = std::make_shared<InstallingModule>(config);
    modem.AddModule(module);
    modem.Start();

    const ProgramRun run = Run("--nowait -i");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(module->Problems().empty()) << module->Problems().front();

    // Each request heard is printed; the eighth comes after the seventh answer, when the
    // scenario is over, and stays unanswered.
    EXPECT_EQ(CountOf(run.out, "<Type>SND-IR</Type>"), 7u) << run.out;
    EXPECT_EQ(CountOf(run.out, "AES with iv\n"), 7u);
    const std::vector<InstallAnswer> answers = module->Answers();
    EXPECT_TRUE(AnswersTo(answers, 7).empty());
    for (size_t i = 0; i < 7; ++i)
    {
        SCOPED_TRACE("request " + std::to_string(i));
        const std::vector<InstallAnswer> to = AnswersTo(answers, i);
        const bool tracking = config.frames[i].ci == 0x8B;
        ASSERT_EQ(to.size(), tracking ? 2u : 1u);
        if (tracking)
        {
            EXPECT_EQ(to[0].c, CnfIr);
            EXPECT_EQ(to[0].status, 0);
            // At once: before the pause that precedes the SND-NKE.
            EXPECT_LT(to[0].time - module->SentTimes()[i], 1s);
        }
        for (const InstallAnswer &answer : to)
        {
            EXPECT_EQ(answer.ci, 0x80);
            EXPECT_EQ(answer.destination, config.address);
        }
        EXPECT_EQ(to.back().c, SndNke);
        EXPECT_EQ(to.back().status, InstallingModule::RssiOf(config.frames[i].signal));
    }
    EXPECT_EQ(InstallingModule::RssiOf(0xFF), 0);
    // Every answer goes out at once, none through the mailbox.
    for (const ModemEmu::HostRadioFrame &frame : modem.Record().RadioFrames())
    {
        EXPECT_EQ(frame.path, ModemEmu::RadioPath::Direct);
    }
}

TEST_F(InstallTask, WithoutInstallationFramesTheScenarioEndsAfterItsLimit)
{
    // A meter's frames (SND-NR) are printed and left unanswered.
    ModemEmu::MeterConfig meter;
    ModemEmu::RadioHeader header;
    header.c = 0x44;
    meter.frames = {ModemEmu::RadioFrame::Build(header, {0x04, 0x13, 0x2A, 0x00, 0x00, 0x00})};
    meter.period = 20s;
    auto sender = modem.AddMeter(meter);
    modem.Start();

    const auto start = std::chrono::steady_clock::now();
    const ProgramRun run = Run("--nowait -i");
    EXPECT_GE(std::chrono::steady_clock::now() - start, 215s);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_GE(CountOf(run.out, "<Type>SND-NR</Type>"), 10u) << run.out;
    EXPECT_TRUE(sender->Received().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}

TEST_F(InstallTask, WithAnAddressOnlyTheNamedModuleIsAnswered)
{
    // Two modules ask to be installed; -a names the first. The other asks again every 3 s, all
    // through the scenario, and is never answered.
    ModemEmu::InstallingConfig named;
    named.frames = {{0x8B, 0xC4}, {0x7A, 0xC4}, {0x7A, 0xC4}, {0x7A, 0xC4},
                    {0x7A, 0xC4}, {0x7A, 0xC4}, {0x7A, 0xC4}};
    named.key = ModemEmu::Aes128Cbc::ParseKey(DefaultKey);
    named.firstDelay = 2s;
    named.retry = 40s;
    ModemEmu::InstallingConfig other = named;
    other.name = "other installing module";
    other.address = ModemEmu::RadioFrame::MakeAddress(0x88776655, 0x6AD2, 0x02, 0x07);
    other.frames = {{0x8B, 0xB0}};
    other.firstDelay = 1s;
    other.retry = 3s;
    auto namedModule = std::make_shared<InstallingModule>(named);
    auto otherModule = std::make_shared<InstallingModule>(other);
    modem.AddModule(namedModule);
    modem.AddModule(otherModule);
    modem.Start();

    // No first frame is waited for: the scenario hears the installation frames itself.
    const ProgramRun run = Run("-i -a 0x11223344d26a0207");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.find("Place a magnet on product"), std::string::npos);
    EXPECT_TRUE(namedModule->Problems().empty()) << namedModule->Problems().front();
    const std::vector<InstallAnswer> answers = namedModule->Answers();
    EXPECT_EQ(AnswersTo(answers, 6).size(), 1u);
    EXPECT_EQ(answers.front().c, CnfIr);
    EXPECT_EQ(answers.back().c, SndNke);
    EXPECT_EQ(answers.size(), 8u); // seven SND-NKE and the CNF-IR of the tracking request

    // The other module was heard (printed) and told apart, never answered.
    EXPECT_TRUE(otherModule->Answers().empty());
    const std::string notNamed =
        "Installation frame of 55667788d26a0207 not answered: -a names 11223344d26a0207\n";
    EXPECT_GE(CountOf(run.out, notNamed), 2u) << run.out;
    EXPECT_EQ(CountOf(run.out, "<Type>SND-IR</Type>"), 7u + CountOf(run.out, notNamed)) << run.out;
    for (const ModemEmu::HostRadioFrame &frame : modem.Record().RadioFrames())
    {
        ASSERT_TRUE(frame.destination.has_value());
        EXPECT_EQ(*frame.destination, named.address);
    }
}
