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
           "                            late-answer, no-answer, silent; COUNT 0 = until the end\n";
}

EmulatorOptions EmulatorOptions::Parse(const std::vector<std::string> &args)
{
    EmulatorOptions options;
    for (size_t i = 0; i < args.size(); ++i)
    {
        const std::string &option = args[i];
        auto value = [&]() -> const std::string &
        {
            if (i + 1 >= args.size())
                throw std::invalid_argument(option + ": missing value");
            return args[++i];
        };
        auto meter = [&]() -> MeterConfig &
        {
            if (options.meters.empty())
                throw std::invalid_argument(option + ": give --meter first");
            return options.meters.back();
        };

        if (option == "-h" || option == "--help")
            options.help = true;
        else if (option == "--link")
            options.linkPath = value();
        else if (option == "--record")
            options.recordPath = value();
        else if (option == "--time-limit")
            options.timeLimitSeconds = static_cast<unsigned>(ParseUnsigned(option, value(), 10, 7 * 24 * 3600));
        else if (option == "--hw-version")
            options.identity.hwVersion = value();
        else if (option == "--description")
            options.identity.description = value();
        else if (option == "--sw-version")
            options.identity.swVersion = value();
        else if (option == "--serial")
            options.identity.serial = value();
        else if (option == "--manufacturer")
            options.identity.manufacturer = static_cast<uint16_t>(ParseUnsigned(option, value(), 16, 0xFFFF));
        else if (option == "--id")
            options.identity.id = static_cast<uint32_t>(ParseUnsigned(option, value(), 16, 0xFFFFFFFF));
        else if (option == "--id-version")
            options.identity.version = static_cast<uint8_t>(ParseUnsigned(option, value(), 16, 0xFF));
        else if (option == "--id-type")
            options.identity.type = static_cast<uint8_t>(ParseUnsigned(option, value(), 16, 0xFF));
        else if (option == "--mode")
            options.identity.mode = static_cast<uint8_t>(ParseUnsigned(option, value(), 10, 0xFF));
        else if (option == "--channel")
            options.identity.channel = static_cast<uint8_t>(ParseUnsigned(option, value(), 10, 0xFF));
        else if (option == "--param")
        {
            const std::string &text = value();
            const size_t eq = text.find('=');
            if (eq == std::string::npos)
                throw std::invalid_argument(option + ": expected ID=HEX");
            const uint8_t id = static_cast<uint8_t>(ParseUnsigned(option, text.substr(0, eq), 10, 53));
            if (!ModemParams::Exists(id))
                throw std::invalid_argument(option + ": no parameter " + std::to_string(id));
            options.rawParams.emplace_back(id, ParseFrameList(option, text.substr(eq + 1)).front());
        }
        else if (option == "--mailbox")
            options.mailboxCapacity = ParseUnsigned(option, value(), 10, 255);
        else if (option == "--stats")
        {
            const std::string &text = value();
            std::array<uint32_t, 4> counters{};
            size_t start = 0;
            for (size_t n = 0; n < 4; ++n)
            {
                const size_t comma = text.find(',', start);
                if ((n < 3) == (comma == std::string::npos))
                    throw std::invalid_argument(option + ": expected four counters A,B,C,D");
                counters[n] =
                    static_cast<uint32_t>(ParseUnsigned(option, text.substr(start, comma - start), 10, 0xFFFFFFFF));
                start = comma + 1;
            }
            options.stats = counters;
        }
        else if (option == "--event-period")
            options.eventPeriod = ParseMs(option, value());
        else if (option == "--event")
            options.eventPayload = ParseFrameList(option, value()).front();
        else if (option == "--ack-timeout")
            options.core.ackTimeout = ParseMs(option, value());
        else if (option == "--answer-delay")
            options.core.answerDelay = ParseMs(option, value());
        else if (option == "--no-host-wait")
            options.core.requireHost = false;
        else if (option == "--mailbox-delivery")
        {
            const std::string &text = value();
            if (text == "on-transmit")
                options.core.delivery = MailboxDelivery::OnModuleTransmit;
            else if (text == "immediate")
                options.core.delivery = MailboxDelivery::Immediate;
            else if (text == "never")
                options.core.delivery = MailboxDelivery::Never;
            else
                throw std::invalid_argument(option + ": bad value '" + text + "'");
        }
        else if (option == "--meter")
        {
            MeterConfig config;
            config.frames = ParseFrameList(option, value());
            config.name = "meter" + std::to_string(options.meters.size() + 1);
            options.meters.push_back(std::move(config));
        }
        else if (option == "--period")
            meter().period = ParseMs(option, value());
        else if (option == "--first-delay")
            meter().firstDelay = ParseMs(option, value());
        else if (option == "--key")
            meter().key = Aes128Cbc::ParseKey(value());
        else if (option == "--signal")
            meter().signal = static_cast<uint8_t>(ParseUnsigned(option, value(), 16, 0xFF));
        else if (option == "--once")
            meter().repeat = false;
        else if (option == "--name")
            meter().name = value();
        else if (option == "--fault")
            options.faults.push_back(ParseFault(value()));
        else
            throw std::invalid_argument("unknown option " + option);
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
