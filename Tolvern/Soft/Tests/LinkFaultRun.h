#ifndef TOLV_TESTS_LINKFAULTRUN_H
#define TOLV_TESTS_LINKFAULTRUN_H

#include "ModemEmulator.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// One run of the built Tolvern against a modem emulator of its own that plays a fault of the
// line: the case sets the emulator up (faults, stale bytes, a vanishing device), the run goes to
// its end, and the outcome keeps what the program printed and what the modem was sent.
struct LinkFaultCase
{
    const char *name;
    std::function<void(ModemEmu::ModemEmulator &)> play;
    std::string args;
    // Runs once the program talks to the modem (radio frames before that are dropped).
    std::function<void(ModemEmu::ModemEmulator &)> attached = {};
};

struct LinkFaultOutcome
{
    int exitCode = -1; // -1: did not end by itself within the limit
    std::string out;   // source line numbers replaced by N
    std::chrono::milliseconds took{0};
    std::vector<std::vector<uint8_t>> commands; // host commands on the control channel, in order
    std::string violations;
};

// The modem every case starts from: identity and counters of its own, so a value printed for the
// wrong parameter cannot pass for the right one.
ModemEmu::ModemIdentity LinkFaultIdentity();
constexpr uint32_t LinkFaultStats[] = {11, 22, 33, 44};

// Runs every case at once (each against its own emulator), in the order given.
std::vector<LinkFaultOutcome> RunLinkFaultCases(const std::vector<LinkFaultCase> &cases,
                                                std::chrono::seconds limit = std::chrono::seconds(90));

// Output of -m for LinkFaultIdentity.
extern const char *const LinkFaultModemInfo;
// Output of -s for LinkFaultStats.
extern const char *const LinkFaultStatistics;

#endif
