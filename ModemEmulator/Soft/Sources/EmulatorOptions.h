#ifndef MODEMEMU_EMULATOROPTIONS_H
#define MODEMEMU_EMULATOROPTIONS_H

#include "ModemEmulator.h"

#include <optional>
#include <string>
#include <vector>

namespace ModemEmu
{

// The command line of the modem-emulator program, turned into calls of the
// same API the tests use.
class EmulatorOptions
{
public:
    // Arguments without the program name. Throws std::invalid_argument with a
    // message naming the option at fault.
    static EmulatorOptions Parse(const std::vector<std::string> &args);
    static const char *Usage();

    void Apply(ModemEmulator &emulator) const;

    bool help = false;
    std::string linkPath;
    std::string recordPath;
    unsigned timeLimitSeconds = 0; // 0: until SIGINT or SIGTERM
    ModemIdentity identity;
    std::vector<std::pair<uint8_t, std::vector<uint8_t>>> rawParams;
    std::optional<size_t> mailboxCapacity;
    std::optional<std::array<uint32_t, 4>> stats;
    std::chrono::milliseconds eventPeriod{0};
    std::vector<uint8_t> eventPayload{0x00};
    std::vector<MeterConfig> meters;
    std::vector<Fault> faults;
    CoreConfig core;
};

} // namespace ModemEmu

#endif
