// The built Tolvern against a modem whose line misbehaves: acknowledgements and answers that
// come late, an answer an earlier run left in the line, events between the answers. Every
// value printed is the one the modem holds for that command, or the run fails with its error.
#include "LinkFaultRun.h"
#include "ListenModem.h"
#include "ModemFrame.h"
#include "OutputText.h"

#include <gtest/gtest.h>

namespace
{

using ModemEmu::Fault;
using ModemEmu::FaultKind;
using namespace std::chrono_literals;

// By default just past the host's 1 s wait.
Fault Late(FaultKind kind, int param, std::chrono::milliseconds delay = 1100ms)
{
    Fault fault;
    fault.kind = kind;
    fault.channel = 0;
    fault.command = ModemEmu::CmdRead;
    fault.param = param;
    fault.delay = delay;
    return fault;
}

// The answer to a read of param waits behind a burst of events on channel 2.
Fault Burst(int param, size_t events)
{
    Fault fault;
    fault.kind = FaultKind::EventBurst;
    fault.channel = 0;
    fault.command = ModemEmu::CmdRead;
    fault.param = param;
    fault.events = events;
    return fault;
}

// The next count frames of the control channel, whatever they are, acknowledged 3 s late.
Fault LateAcks(int count)
{
    Fault fault;
    fault.kind = FaultKind::LateAck;
    fault.count = count;
    fault.channel = 0;
    fault.delay = 3000ms;
    return fault;
}

std::function<void(ModemEmu::ModemEmulator &)> Inject(const Fault &fault)
{
    return [fault](ModemEmu::ModemEmulator &modem) { modem.InjectFault(fault); };
}

// An answer frame of the modem on the control channel, as a run killed before reading it left it.
std::function<void(ModemEmu::ModemEmulator &)> LeftInLine(const Bytes &answer)
{
    return [answer](ModemEmu::ModemEmulator &modem)
    { ASSERT_TRUE(modem.LeaveInLine(ModemEmu::ModemFrame(ModemEmu::FrameKind::Data, 0, 0, answer).Encode())); };
}

Bytes Read(uint8_t param)
{
    return {ModemEmu::CmdRead, param, 0};
}

// What Init reads once the modem has answered its version probe.
const std::vector<Bytes> Identity = {Read(2),  Read(3),  Read(1),  Read(4), Read(25),
                                     Read(10), Read(11), Read(12), Read(13)};

std::vector<Bytes> Concat(std::vector<Bytes> head, const std::vector<Bytes> &tail)
{
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

const std::vector<Bytes> Counters = {Read(50), Read(51), Read(52), Read(53)};

std::string Failed(const char *why)
{
    return std::string("Tolv_Main.cpp:N Request failed: ") + why + "\n";
}

} // namespace

TEST(LinkFaults, AnswersBelongToTheirCommands)
{
    struct Expected
    {
        int exitCode;
        std::string out;
        std::vector<Bytes> commands; // the last ones the host sent, in order
        bool whole = true;           // and nothing before them
    };
    const std::vector<LinkFaultCase> cases = {
        {"late ack of the version probe", Inject(Late(FaultKind::LateAck, 3)), "-m"},
        {"late answer to the version probe", Inject(Late(FaultKind::LateAnswer, 3)), "-m"},
        {"late answer to the description", Inject(Late(FaultKind::LateAnswer, 2)), "-m"},
        // The probe's answer, given up on too early, would come while the description is
        // awaited and be printed as the description.
        {"answers 3 s late to the probe and 2 s late to the description",
         [](ModemEmu::ModemEmulator &modem)
         {
             modem.InjectFault(Late(FaultKind::LateAnswer, 3, 3000ms));
             modem.InjectFault(Late(FaultKind::LateAnswer, 2, 2000ms));
         },
         "-m"},
        // With two frames in doubt, the late acknowledgement of the first would be taken for the
        // third frame's (same alternating bit), and its answer for the third's answer.
        {"acknowledgements 3 s late to the first five frames", Inject(LateAcks(5)), "-m"},
        {"text answer of a killed run in the line", LeftInLine({1, 0, 4, '9', '.', '9', 0}), "-m"},
        {"counter answer of a killed run in the line", LeftInLine({1, 0, 4, 8, 0, 0, 0}), "-s"},
        {"late answer to the channel read of the set-up", Inject(Late(FaultKind::LateAnswer, 21)),
         "-s --type ZVR169 --channel 3"},
        {"late answer to the first counter", Inject(Late(FaultKind::LateAnswer, 50)), "-s"},
        {"late ack of the first counter", Inject(Late(FaultKind::LateAck, 50)), "-s"},
        {"events on channel 2 between the answers",
         [](ModemEmu::ModemEmulator &modem) {
             modem.SetPeriodicEvent(2ms, {0xE1, 0x01});
         },
         "-m"},
        {"a burst of events ahead of the description", Inject(Burst(2, 1500)), "-m"},
        {"a burst of events ahead of the first counter", Inject(Burst(50, 1500)), "-s"},
    };
    const Expected expected[] = {
        {0, LinkFaultModemInfo, Concat({Read(3), Read(3)}, Identity)},
        {0, LinkFaultModemInfo, Concat({Read(3), Read(3)}, Identity)},
        {0, LinkFaultModemInfo, Concat({Read(3), Read(2)}, Identity)},
        {0, LinkFaultModemInfo, Identity, false},
        {0, LinkFaultModemInfo, Identity, false},
        {0, LinkFaultModemInfo, Concat({Read(3)}, Identity)},
        {0, LinkFaultStatistics, Concat(Concat({Read(3)}, Identity), Counters)},
        // The channel could not be read, so it is not written either; the counters are all true.
        {0, LinkFaultStatistics, Concat(Concat({Read(3)}, Identity), Concat({Read(21)}, Counters))},
        // The answer came too late: no counter at all rather than one of another parameter.
        {1, Failed("cmd timeout"), Concat(Concat({Read(3)}, Identity), {Read(50)})},
        {1, Failed("ack not received"), Concat(Concat({Read(3)}, Identity), {Read(50)})},
        {0, LinkFaultModemInfo, Concat({Read(3)}, Identity)},
        // However long the burst holds the answer back, the identity read last is the true one.
        {0, LinkFaultModemInfo, Identity, false},
        // Either in time and true, or too late and no counter at all.
        {-1, "", {}, false},
    };
    const std::vector<LinkFaultOutcome> outcomes = RunLinkFaultCases(cases);
    for (size_t i = 0; i < cases.size(); ++i)
    {
        SCOPED_TRACE(cases[i].name);
        const LinkFaultOutcome &outcome = outcomes[i];
        if (expected[i].exitCode == -1)
        {
            EXPECT_TRUE((outcome.exitCode == 0 && outcome.out == LinkFaultStatistics) ||
                        (outcome.exitCode == 1 && outcome.out == Failed("cmd timeout")))
                << outcome.exitCode << "\n"
                << outcome.out;
        }
        else
        {
            EXPECT_EQ(outcome.exitCode, expected[i].exitCode);
            EXPECT_EQ(outcome.out, expected[i].out);
        }
        const std::vector<Bytes> &commands = expected[i].commands;
        if (expected[i].whole)
        {
            EXPECT_EQ(outcome.commands, commands);
        }
        else
        {
            ASSERT_GE(outcome.commands.size(), commands.size());
            EXPECT_EQ(std::vector<Bytes>(outcome.commands.end() - commands.size(), outcome.commands.end()), commands);
        }
        EXPECT_EQ(outcome.violations, "");
    }
}

// The device goes away while a task waits on it: the run says so and ends, within seconds
// rather than after its waits; what came before it went is printed once.
TEST(LinkFaults, AnUnpluggedModemEndsTheRun)
{
    // Init's version probe and its nine identity reads are answered before the device goes.
    constexpr size_t InitAnswers = 10;
    const auto vanishAfter = [](size_t frames)
    { return [frames](ModemEmu::ModemEmulator &modem) { modem.VanishAfterAcknowledged(frames); }; };
    ModemEmu::MeterConfig meter;
    // Access numbers 101, 102 and 103 tell the frames apart.
    meter.frames = {MeterFrame(0x44, 101, MeterData()), MeterFrame(0x44, 102, MeterData()),
                    MeterFrame(0x44, 103, MeterData())};
    meter.period = 200ms;
    meter.firstDelay = 50ms;
    meter.repeat = false;
    const std::vector<LinkFaultCase> cases = {
        {"listening, after three frames", vanishAfter(InitAnswers + 3), "-l",
         [meter](ModemEmu::ModemEmulator &modem) { modem.AddMeter(meter); }},
        {"waiting for the module's first frame", vanishAfter(InitAnswers), ""},
        {"reading the statistics", vanishAfter(InitAnswers), "-s"},
        {"during the set-up", vanishAfter(3), "-m"},
    };
    const std::vector<LinkFaultOutcome> outcomes = RunLinkFaultCases(cases);
    const size_t documents[] = {3, 0, 0, 0};
    for (size_t i = 0; i < cases.size(); ++i)
    {
        SCOPED_TRACE(cases[i].name);
        const LinkFaultOutcome &outcome = outcomes[i];
        EXPECT_EQ(outcome.exitCode, 1) << outcome.out;
        const std::string last = Failed("modem disconnected");
        ASSERT_GE(outcome.out.size(), last.size()) << outcome.out;
        EXPECT_EQ(outcome.out.substr(outcome.out.size() - last.size()), last) << outcome.out;
        EXPECT_EQ(CountOf(outcome.out, "</mbus>\n"), documents[i]) << outcome.out;
        EXPECT_EQ(CountOf(outcome.out, "Tolvern version"), 0u) << "no identity after the modem went";
        // The first-frame wait alone would take 60 s.
        EXPECT_LT(outcome.took, 30s);
        EXPECT_EQ(outcome.violations, "");
    }
    for (const char *access : {"101", "102", "103"})
    {
        EXPECT_EQ(CountOf(outcomes[0].out, std::string("<AccessNumber>") + access + "<"), 1u)
            << "frame " << access << " printed once";
    }
}
