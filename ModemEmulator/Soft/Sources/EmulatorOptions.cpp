#include "EmulatorOptions.h"

#include "HexBytes.h"

#include <stdexcept>

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
           "  --mailbox-delivery on-transmit|immediate|never\n"
           "Radio modules:\n"
           "  --meter HEX[,HEX...]      a meter sending these air frames (L counting the bytes after it)\n"
           "  --period MS  --first-delay MS  --key HEX32  --signal HEX  --once  --name TEXT\n"
           "                            settings of the meter named last\n"
           "Faults:\n"
           "  --fault KIND[@CHANNEL][:COUNT[:ARG]]   bad-crc, garbage, cut-short, no-ack, late-ack, nak,\n"
           "                            late-answer, no-answer, silent, event-burst; COUNT 0 = until\n"
           "                            the end\n";
}

namespace
{

MeterConfig &LastMeter(EmulatorOptions &options, const std::string &option)
{
    if (options.meters.empty())
        throw std::invalid_argument(option + ": give --meter first");
    return options.meters.back();
}

uint8_t Byte(const std::string &option, const std::string &text, int base)
{
    return static_cast<uint8_t>(ParseUnsigned(option, text, base, 0xFF));
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
    o.meters.push_back(std::move(config));
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
    {"--meter", true, AddMeter},
    {"--period", true, [](O &o, S n, S v) { LastMeter(o, n).period = ParseMs(n, v); }},
    {"--first-delay", true, [](O &o, S n, S v) { LastMeter(o, n).firstDelay = ParseMs(n, v); }},
    {"--key", true, [](O &o, S n, S v) { LastMeter(o, n).key = Aes128Cbc::ParseKey(v); }},
    {"--signal", true, [](O &o, S n, S v) { LastMeter(o, n).signal = Byte(n, v, 16); }},
    {"--once", false, [](O &o, S n, S) { LastMeter(o, n).repeat = false; }},
    {"--name", true, [](O &o, S n, S v) { LastMeter(o, n).name = v; }},
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
    // Build the meters once here, so that a bad frame is a usage error and not a failure later.
    for (const MeterConfig &config : options.meters)
        MeterModule check(config);
    return options;
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
    for (const MeterConfig &config : meters)
        emulator.AddMeter(config);
    for (const Fault &fault : faults)
        emulator.InjectFault(fault);
}

} // namespace ModemEmu
