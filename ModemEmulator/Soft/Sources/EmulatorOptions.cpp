#include "EmulatorOptions.h"

#include "HexBytes.h"
#include "ModuleGroup.h"

#include <algorithm>
#include <stdexcept>
#include <type_traits>

namespace ModemEmu
{

namespace
{

uint64_t ParseUnsigned(const std::string &option, const std::string &text, int base, uint64_t max)
{
    size_t used = 0;
    unsigned long long value = 0;
    try
    {
        if (!text.empty() && text[0] != '-')
            value = std::stoull(text, &used, base);
    }
    catch (const std::exception &)
    {
        used = 0;
    }
    if (used == 0 || used != text.size() || value > max)
        throw std::invalid_argument(option + ": bad value '" + text + "'");
    return value;
}

std::chrono::milliseconds ParseMs(const std::string &option, const std::string &text)
{
    return std::chrono::milliseconds(ParseUnsigned(option, text, 10, 24ULL * 3600 * 1000));
}

std::vector<std::vector<uint8_t>> ParseFrameList(const std::string &option, const std::string &text)
{
    std::vector<std::vector<uint8_t>> frames;
    size_t start = 0;
    for (;;)
    {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        try
        {
            frames.push_back(ParseHex(item));
        }
        catch (const std::invalid_argument &e)
        {
            throw std::invalid_argument(option + ": " + e.what());
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return frames;
}

} // namespace

const char *EmulatorOptions::Usage()
{
    return "Usage: modem-emulator [options]\n"
           "Plays the wireless M-Bus radio modem on a pseudo-terminal and prints its device path.\n"
           "  --link PATH               also make a symbolic link PATH to the device\n"
           "  --time-limit SECONDS      stop after this time (default: run until SIGINT/SIGTERM)\n"
           "  --record FILE             write what the host sent and did to FILE at the end\n"
           "Modem identity and parameters:\n"
           "  --hw-version TEXT  --description TEXT  --sw-version TEXT  --serial TEXT\n"
           "  --manufacturer HEX        2 bytes, e.g. 6AD2\n"
           "  --id HEX                  identification number, e.g. 00112233\n"
           "  --id-version HEX  --id-type HEX\n"
           "  --mode N  --channel N\n"
           "  --param ID=HEX            any parameter's raw value\n"
           "  --mailbox N               mailbox capacity\n"
           "  --stats A,B,C,D           counters of parameters 50 to 53\n"
           "  --event-period MS  --event HEX   periodic channel-2 event frames\n"
           "  --ack-timeout MS  --answer-delay MS\n"
           "  --no-host-wait            send radio frames before the host has spoken\n"
           "  --mailbox-delivery on-transmit|immediate|paced|never\n"
           "  --mailbox-pace MS         paced delivery: one mailbox frame handed out every MS (default 100)\n"
           "Radio modules:\n"
           "  --meter HEX[,HEX...]      a meter sending these air frames (L counting the bytes after it)\n"
           "  --period MS  --first-delay MS  --once\n"
           "                            settings of the meter named last\n"
           "  --commissioned            a module at 0x12345678d26a0107 that answers configuration read,\n"
           "                            write and check, log and missing-frame requests; it holds send\n"
           "                            period 120, mode 1, power 14 and index 1234 and sends a frame\n"
           "                            every 2 s (index 300, firmware 1.2, battery 3.60 V), after which\n"
           "                            it takes its requests\n"
           "  --beacon MS               period of the commissioned module's own frames (0: none)\n"
           "  --firmware-receiver       a module at 0x12345678d26a0107 taking a firmware update: it checks\n"
           "                            size and MD5 and reports the status; ready again afterwards. Its\n"
           "                            mail goes with the frames of a module at its address (the\n"
           "                            commissioned module's by default); alone it needs\n"
           "                            --mailbox-delivery immediate\n"
           "  --installing              a module at 0x11223344d26a0207 asking for installation: seven\n"
           "                            SND-IR, two of them for tracking, each again after 30 s unanswered\n"
           "  --concentrator            a concentrator answering test frames (--send-frame, radio test);\n"
           "                            give it again for more, each at the next address from 0x01009900d26a0131\n"
           "  --all-modules             one commissioned module, firmware receiver and installing module,\n"
           "                            and two concentrators\n"
           "  --key HEX32  --signal HEX  --name TEXT  --address HEX16\n"
           "                            settings of the module named last (--key: mode 5 for a meter)\n"
           "  --module-key HEX32        key of the modules above without a --key of their own\n"
           "                            (default: Tolvern's default key 7C41D09A2E6B35F8A1C94E07B2D6F358)\n"
           "Faults:\n"
           "  --fault KIND[@CHANNEL][:COUNT[:ARG]]   bad-crc, garbage, cut-short, no-ack, late-ack, nak,\n"
           "                            late-answer, no-answer, silent, event-burst; COUNT 0 = until\n"
           "                            the end\n";
}

namespace
{

using Kind = EmulatorOptions::ModuleKind;

uint8_t Byte(const std::string &option, const std::string &text, int base)
{
    return static_cast<uint8_t>(ParseUnsigned(option, text, base, 0xFF));
}

MeterConfig &LastMeter(EmulatorOptions &options, const std::string &option)
{
    if (!options.lastModule || options.lastModule->kind != Kind::Meter)
        throw std::invalid_argument(option + ": give --meter first");
    return options.meters.back();
}

// Calls set with the configuration of the module given last.
template <typename Set> void SetLastModule(EmulatorOptions &o, const std::string &option, Set set)
{
    if (!o.lastModule)
        throw std::invalid_argument(option + ": give a module first");
    const size_t index = o.lastModule->index;
    switch (o.lastModule->kind)
    {
    case Kind::Meter:
        set(o.meters[index]);
        break;
    case Kind::Commissioned:
        set(o.commissioned[index]);
        break;
    case Kind::FirmwareReceiver:
        set(o.firmwareReceivers[index]);
        break;
    case Kind::Installing:
        set(o.installing[index]);
        break;
    case Kind::Concentrator:
        set(o.concentrators[index]);
        break;
    }
}

// The module address text as Tolvern takes it: 16 hex digits, the bytes in the order they go on the air.
RadioAddress ParseAddress(const std::string &option, const std::string &text)
{
    const std::string digits = text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0 ? text.substr(2) : text;
    std::vector<uint8_t> bytes;
    try
    {
        bytes = ParseHex(digits);
    }
    catch (const std::invalid_argument &)
    {
    }
    if (digits.size() != 16 || bytes.size() != 8)
        throw std::invalid_argument(option + ": expected 16 hex digits, got '" + text + "'");
    RadioAddress address{};
    std::copy(bytes.begin(), bytes.end(), address.begin());
    return address;
}

void SetKey(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    const AesKey key = Aes128Cbc::ParseKey(text);
    SetLastModule(o, option, [&](auto &config) { config.key = key; });
    if (o.lastModule->kind != Kind::Meter)
        o.ownKeys.push_back(*o.lastModule);
}

void SetSignal(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    const uint8_t signal = Byte(option, text, 16);
    SetLastModule(o, option,
                  [&](auto &config)
                  {
                      if constexpr (std::is_same_v<std::decay_t<decltype(config)>, InstallingConfig>)
                      {
                          for (InstallFrame &frame : config.frames)
                              frame.signal = signal;
                      }
                      else
                          config.signal = signal;
                  });
}

template <typename Config> void AddModule(EmulatorOptions &o, Kind kind, std::vector<Config> &list, Config config)
{
    list.push_back(std::move(config));
    o.lastModule = EmulatorOptions::ModuleRef{kind, list.size() - 1};
}

const AesKey kTolvernKey = Aes128Cbc::ParseKey("7C41D09A2E6B35F8A1C94E07B2D6F358");

// The items of the example templates, and what the module logged. The items are the maker's own
// (vendor-specific VIF 0xFF and an extension): the GUI finds a template row by that extension.
CommissionedConfig ProgramCommissioned()
{
    CommissionedConfig config;
    config.key = kTolvernKey;
    config.configuration = ParseHex("04FF3A78000000 01FF0E01 02FF3B0E00 04FF13D2040000");
    config.logs = ParseHex("046D1E0A412C 02FD170500");
    // Its own frames say what the GUI's module information shows: index 300, firmware 1.2 and a
    // battery of 3.60 V (the maker's record 0x46, in millivolts).
    config.beaconData = ParseHex("04132C010000 02FD0E0201 02FF46100E");
    config.beaconPeriod = std::chrono::milliseconds(2000);
    config.beaconFirstDelay = std::chrono::milliseconds(500);
    return config;
}

FirmwareReceiverConfig ProgramFirmwareReceiver()
{
    FirmwareReceiverConfig config;
    config.key = kTolvernKey;
    return config;
}

InstallingConfig ProgramInstalling()
{
    InstallingConfig config;
    config.key = kTolvernKey;
    config.frames = {{0x8B, 0xC4}, {0x7A, 0xB0}, {0x7A, 0xA0}, {0x8B, 0x90}, {0x7A, 0xC4}, {0x7A, 0xB8}, {0x7A, 0xC4}};
    // Longer than the longest pause before an SND-NKE, so that a request being answered is not sent twice.
    config.retry = std::chrono::seconds(30);
    config.cycle = true;
    return config;
}

// The n-th concentrator (from 0): each further one farther away and slower to answer.
ConcentratorConfig ProgramConcentrator(size_t n)
{
    ConcentratorConfig config;
    const auto step = static_cast<uint8_t>(n % 4);
    config.name = "concentrator " + std::to_string(n + 1);
    config.address = RadioFrame::MakeAddress(static_cast<uint32_t>(0x00990001 + n), 0x6AD2, 0x01, 0x31);
    config.key = kTolvernKey;
    config.uid = static_cast<uint32_t>(0x12345678 + n);
    config.uplinkRssi = static_cast<uint8_t>(0x8A - 0x20 * step);
    config.signal = static_cast<uint8_t>(0xBE + 0x10 * step);
    config.delay = std::chrono::milliseconds(100 + 300 * step);
    return config;
}

void AddCommissioned(EmulatorOptions &o, const std::string &, const std::string &)
{
    AddModule(o, Kind::Commissioned, o.commissioned, ProgramCommissioned());
}

void AddFirmwareReceiver(EmulatorOptions &o, const std::string &, const std::string &)
{
    AddModule(o, Kind::FirmwareReceiver, o.firmwareReceivers, ProgramFirmwareReceiver());
}

void AddInstalling(EmulatorOptions &o, const std::string &, const std::string &)
{
    AddModule(o, Kind::Installing, o.installing, ProgramInstalling());
}

void AddConcentrator(EmulatorOptions &o, const std::string &, const std::string &)
{
    AddModule(o, Kind::Concentrator, o.concentrators, ProgramConcentrator(o.concentrators.size()));
}

void AddAllModules(EmulatorOptions &o, const std::string &option, const std::string &value)
{
    AddCommissioned(o, option, value);
    AddFirmwareReceiver(o, option, value);
    AddInstalling(o, option, value);
    AddConcentrator(o, option, value);
    AddConcentrator(o, option, value);
}

CommissionedConfig &LastCommissioned(EmulatorOptions &options, const std::string &option)
{
    if (!options.lastModule || options.lastModule->kind != Kind::Commissioned)
        throw std::invalid_argument(option + ": give --commissioned first");
    return options.commissioned.back();
}

void ParseStats(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    std::array<uint32_t, 4> counters{};
    size_t start = 0;
    for (size_t n = 0; n < 4; ++n)
    {
        const size_t comma = text.find(',', start);
        if ((n < 3) == (comma == std::string::npos))
            throw std::invalid_argument(option + ": expected four counters A,B,C,D");
        counters[n] = static_cast<uint32_t>(ParseUnsigned(option, text.substr(start, comma - start), 10, 0xFFFFFFFF));
        start = comma + 1;
    }
    o.stats = counters;
}

void ParseRawParam(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    const size_t eq = text.find('=');
    if (eq == std::string::npos)
        throw std::invalid_argument(option + ": expected ID=HEX");
    const uint8_t id = static_cast<uint8_t>(ParseUnsigned(option, text.substr(0, eq), 10, 53));
    if (!ModemParams::Exists(id))
        throw std::invalid_argument(option + ": no parameter " + std::to_string(id));
    o.rawParams.emplace_back(id, ParseFrameList(option, text.substr(eq + 1)).front());
}

void ParseDelivery(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    struct Named
    {
        const char *name;
        MailboxDelivery delivery;
    };
    static constexpr Named kDeliveries[] = {{"on-transmit", MailboxDelivery::OnModuleTransmit},
                                            {"immediate", MailboxDelivery::Immediate},
                                            {"paced", MailboxDelivery::Paced},
                                            {"never", MailboxDelivery::Never}};
    for (const Named &entry : kDeliveries)
    {
        if (text == entry.name)
        {
            o.core.delivery = entry.delivery;
            return;
        }
    }
    throw std::invalid_argument(option + ": bad value '" + text + "'");
}

void AddMeter(EmulatorOptions &o, const std::string &option, const std::string &text)
{
    MeterConfig config;
    config.frames = ParseFrameList(option, text);
    config.name = "meter" + std::to_string(o.meters.size() + 1);
    AddModule(o, Kind::Meter, o.meters, std::move(config));
}

using Apply = void (*)(EmulatorOptions &, const std::string &option, const std::string &value);

struct OptionEntry
{
    const char *name;
    bool takesValue;
    Apply apply;
};

using O = EmulatorOptions;
using S = const std::string &;

constexpr OptionEntry kOptions[] = {
    {"-h", false, [](O &o, S, S) { o.help = true; }},
    {"--help", false, [](O &o, S, S) { o.help = true; }},
    {"--link", true, [](O &o, S, S v) { o.linkPath = v; }},
    {"--record", true, [](O &o, S, S v) { o.recordPath = v; }},
    {"--time-limit", true,
     [](O &o, S n, S v) { o.timeLimitSeconds = static_cast<unsigned>(ParseUnsigned(n, v, 10, 7 * 24 * 3600)); }},
    {"--hw-version", true, [](O &o, S, S v) { o.identity.hwVersion = v; }},
    {"--description", true, [](O &o, S, S v) { o.identity.description = v; }},
    {"--sw-version", true, [](O &o, S, S v) { o.identity.swVersion = v; }},
    {"--serial", true, [](O &o, S, S v) { o.identity.serial = v; }},
    {"--manufacturer", true,
     [](O &o, S n, S v) { o.identity.manufacturer = static_cast<uint16_t>(ParseUnsigned(n, v, 16, 0xFFFF)); }},
    {"--id", true, [](O &o, S n, S v) { o.identity.id = static_cast<uint32_t>(ParseUnsigned(n, v, 16, 0xFFFFFFFF)); }},
    {"--id-version", true, [](O &o, S n, S v) { o.identity.version = Byte(n, v, 16); }},
    {"--id-type", true, [](O &o, S n, S v) { o.identity.type = Byte(n, v, 16); }},
    {"--mode", true, [](O &o, S n, S v) { o.identity.mode = Byte(n, v, 10); }},
    {"--channel", true, [](O &o, S n, S v) { o.identity.channel = Byte(n, v, 10); }},
    {"--param", true, ParseRawParam},
    {"--mailbox", true, [](O &o, S n, S v) { o.mailboxCapacity = ParseUnsigned(n, v, 10, 255); }},
    {"--stats", true, ParseStats},
    {"--event-period", true, [](O &o, S n, S v) { o.eventPeriod = ParseMs(n, v); }},
    {"--event", true, [](O &o, S n, S v) { o.eventPayload = ParseFrameList(n, v).front(); }},
    {"--ack-timeout", true, [](O &o, S n, S v) { o.core.ackTimeout = ParseMs(n, v); }},
    {"--answer-delay", true, [](O &o, S n, S v) { o.core.answerDelay = ParseMs(n, v); }},
    {"--no-host-wait", false, [](O &o, S, S) { o.core.requireHost = false; }},
    {"--mailbox-delivery", true, ParseDelivery},
    {"--mailbox-pace", true, [](O &o, S n, S v) { o.core.deliveryPace = ParseMs(n, v); }},
    {"--meter", true, AddMeter},
    {"--period", true, [](O &o, S n, S v) { LastMeter(o, n).period = ParseMs(n, v); }},
    {"--first-delay", true, [](O &o, S n, S v) { LastMeter(o, n).firstDelay = ParseMs(n, v); }},
    {"--once", false, [](O &o, S n, S) { LastMeter(o, n).repeat = false; }},
    {"--commissioned", false, AddCommissioned},
    {"--beacon", true, [](O &o, S n, S v) { LastCommissioned(o, n).beaconPeriod = ParseMs(n, v); }},
    {"--firmware-receiver", false, AddFirmwareReceiver},
    {"--installing", false, AddInstalling},
    {"--concentrator", false, AddConcentrator},
    {"--all-modules", false, AddAllModules},
    {"--key", true, SetKey},
    {"--signal", true, SetSignal},
    {"--name", true, [](O &o, S n, S v) { SetLastModule(o, n, [&](auto &config) { config.name = v; }); }},
    {"--address", true,
     [](O &o, S n, S v)
     {
         const RadioAddress address = ParseAddress(n, v);
         SetLastModule(o, n, [&](auto &config) { config.address = address; });
     }},
    {"--module-key", true, [](O &o, S, S v) { o.moduleKey = Aes128Cbc::ParseKey(v); }},
    {"--fault", true, [](O &o, S, S v) { o.faults.push_back(ParseFault(v)); }},
};

const OptionEntry *FindOption(const std::string &name)
{
    for (const OptionEntry &entry : kOptions)
    {
        if (name == entry.name)
            return &entry;
    }
    return nullptr;
}

} // namespace

EmulatorOptions EmulatorOptions::Parse(const std::vector<std::string> &args)
{
    EmulatorOptions options;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string &option = args[i];
        const OptionEntry *entry = FindOption(option);
        if (!entry)
            throw std::invalid_argument("unknown option " + option);
        if (entry->takesValue && i + 1 >= args.size())
            throw std::invalid_argument(option + ": missing value");
        static const std::string kNoValue;
        entry->apply(options, option, entry->takesValue ? args[++i] : kNoValue);
    }
    if (options.moduleKey)
        options.ApplyModuleKey(*options.moduleKey);
    // Build the modules once here, so that a bad frame is a usage error and not a failure later.
    for (const MeterConfig &config : options.meters)
        MeterModule check(config);
    for (const InstallingConfig &config : options.installing)
        InstallingModule check(config);
    return options;
}

void EmulatorOptions::ApplyModuleKey(const AesKey &key)
{
    const auto own = [this](ModuleKind kind, size_t index) {
        return std::find(ownKeys.begin(), ownKeys.end(), ModuleRef{kind, index}) != ownKeys.end();
    };
    const auto give = [&](ModuleKind kind, auto &list)
    {
        for (size_t i = 0; i < list.size(); ++i)
        {
            if (!own(kind, i))
                list[i].key = key;
        }
    };
    give(ModuleKind::Commissioned, commissioned);
    give(ModuleKind::FirmwareReceiver, firmwareReceivers);
    give(ModuleKind::Installing, installing);
    give(ModuleKind::Concentrator, concentrators);
}

void EmulatorOptions::Apply(ModemEmulator &emulator) const
{
    emulator.SetConfig(core);
    emulator.SetIdentity(identity);
    for (const auto &param : rawParams)
        emulator.SetParam(param.first, param.second);
    if (mailboxCapacity)
        emulator.SetMailboxCapacity(*mailboxCapacity);
    if (stats)
        emulator.SetStats((*stats)[0], (*stats)[1], (*stats)[2], (*stats)[3]);
    if (eventPeriod.count() > 0)
        emulator.SetPeriodicEvent(eventPeriod, eventPayload);
    std::vector<std::shared_ptr<ScriptedModule>> modules;
    for (const MeterConfig &config : meters)
        modules.push_back(std::make_shared<MeterModule>(config));
    for (const CommissionedConfig &config : commissioned)
        modules.push_back(std::make_shared<CommissionedModule>(config));
    for (const FirmwareReceiverConfig &config : firmwareReceivers)
        modules.push_back(std::make_shared<FirmwareReceiver>(config));
    for (const InstallingConfig &config : installing)
        modules.push_back(std::make_shared<InstallingModule>(config));
    for (const ConcentratorConfig &config : concentrators)
        modules.push_back(std::make_shared<Concentrator>(config));
    // Modules given at one address are one radio module in several roles: the commissioned
    // module and the firmware receiver by default.
    for (const std::shared_ptr<ScriptedModule> &module : ModuleGroup::ByAddress(modules))
        emulator.AddModule(module);
    for (const Fault &fault : faults)
        emulator.InjectFault(fault);
}

} // namespace ModemEmu
