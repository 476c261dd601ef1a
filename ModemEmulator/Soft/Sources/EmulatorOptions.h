#ifndef MODEMEMU_EMULATOROPTIONS_H
#define MODEMEMU_EMULATOROPTIONS_H

#include "CommissionedModule.h"
#include "Concentrator.h"
#include "FirmwareReceiver.h"
#include "InstallingModule.h"
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
    // Gives the key to every scripted module without a key of its own.
    void ApplyModuleKey(const AesKey &key);

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
    std::vector<CommissionedConfig> commissioned;
    std::vector<FirmwareReceiverConfig> firmwareReceivers;
    std::vector<InstallingConfig> installing;
    std::vector<ConcentratorConfig> concentrators;
    // The key of the scripted modules (not the meters) given no --key of their own.
    std::optional<AesKey> moduleKey;
    std::vector<Fault> faults;
    CoreConfig core;

    // Which module the per-module options (--key, --name, ...) set: the one given last.
    enum class ModuleKind
    {
        Meter,
        Commissioned,
        FirmwareReceiver,
        Installing,
        Concentrator
    };
    struct ModuleRef
    {
        ModuleKind kind;
        size_t index;
        bool operator==(const ModuleRef &other) const { return kind == other.kind && index == other.index; }
    };
    std::optional<ModuleRef> lastModule;
    std::vector<ModuleRef> ownKeys; // scripted modules with a --key of their own
};

} // namespace ModemEmu

#endif
