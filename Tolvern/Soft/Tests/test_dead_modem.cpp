// A modem that never gives its identity, whatever the way it fails: every task ends with an
// error line and exit code 1 once Init has used up its tries, instead of an empty identity.
#include "LinkFaultRun.h"

#include <gtest/gtest.h>

namespace
{

using ModemEmu::Fault;
using ModemEmu::FaultKind;
using namespace std::chrono_literals;

std::function<void(ModemEmu::ModemEmulator &)> Always(FaultKind kind)
{
    Fault fault;
    fault.kind = kind;
    fault.count = 0; // for the whole run
    fault.delay = 1100ms;
    return [fault](ModemEmu::ModemEmulator &modem) { modem.InjectFault(fault); };
}

} // namespace

TEST(DeadModem, EveryTaskFailsAfterInitsTries)
{
    const std::vector<LinkFaultCase> cases = {
        {"silent", Always(FaultKind::Silent), "-m"},
        {"NAK on every frame", Always(FaultKind::Nak), "-m"},
        {"bad CRC on every answer", Always(FaultKind::BadCrc), "-m"},
        {"no acknowledgement", Always(FaultKind::NoAck), "-m"},
        {"every acknowledgement late", Always(FaultKind::LateAck), "-m"},
        {"silent, statistics", Always(FaultKind::Silent), "-s"},
        {"silent, listen", Always(FaultKind::Silent), "-l"},
    };
    const std::vector<LinkFaultOutcome> outcomes = RunLinkFaultCases(cases);
    // Five probes of the version, then five tries of the identity, each ending at its first read.
    const std::vector<std::vector<uint8_t>> tries = {{2, 3, 0}, {2, 3, 0}, {2, 3, 0}, {2, 3, 0}, {2, 3, 0},
                                                     {2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}, {2, 2, 0}};
    for (size_t i = 0; i < cases.size(); ++i)
    {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(outcomes[i].exitCode, 1);
        EXPECT_EQ(outcomes[i].out, "Tolv_Main.cpp:N Request failed: modem not responding\n");
        EXPECT_EQ(outcomes[i].commands, tries);
        EXPECT_EQ(outcomes[i].violations, "");
    }
}
