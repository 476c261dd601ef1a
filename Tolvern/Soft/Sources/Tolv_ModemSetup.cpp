#include "Tolv_ModemSetup.h"

#include "LogStatement.h"
#include "Serial.h"
#include "Tolv_Config.h"
#include "Tolv_GpioHolder.h"
#include "Tolv_ValueText.h"
#include "WMBC_ZV_Interface.h"

#include <cctype>
#include <optional>

namespace Tolv
{

namespace
{

constexpr unsigned int ModemBaudRate = 115200;
constexpr int FlushBoth = 2;
constexpr int NoFlowControl = 1;

struct ModuleTypeWord
{
    const char *word;
    int value;
    const char *traceLine;
};

constexpr ModuleTypeWord ModuleTypes[] = {
    {"ZVR169", WMBusMod::WMBC_ZV_Interface::Module169MHz, "set ZVR169"},
    {"ZVR868", WMBusMod::WMBC_ZV_Interface::Module868MHz, "set ZVR868"},
};

struct ModeWord
{
    const char *word;
    int value;
};

// Channels the command line passes on; the driver itself would also take 10.
constexpr int FirstChannel = 1;
constexpr int LastChannel = 9;

// The driver's modes 3 and 5 have no word.
constexpr ModeWord Modes[] = {{"t", 0}, {"tm", 1}, {"s", 2}, {"n", 4}, {"loc", 6}};

const ModuleTypeWord *FindModuleType(const std::string &type)
{
    for (const ModuleTypeWord &entry : ModuleTypes)
    {
        if (type == entry.word)
        {
            return &entry;
        }
    }
    return nullptr;
}

const ModeWord *FindMode(const std::string &mode)
{
    for (const ModeWord &entry : Modes)
    {
        if (mode == entry.word)
        {
            return &entry;
        }
    }
    return nullptr;
}

// The --type word of a module type, for the lines that tell why a setting was refused.
const char *ModuleTypeWordOf(int value)
{
    for (const ModuleTypeWord &entry : ModuleTypes)
    {
        if (entry.value == value)
        {
            return entry.word;
        }
    }
    return ModuleTypes[0].word; // the driver takes every other type for the 169 MHz module
}

// A channel is a decimal number, with blanks and a sign before it as a stream reads it, and
// nothing after it. Too many digits are a number all the same, just not a channel.
std::optional<long long> ReadChannel(const std::string &text)
{
    const size_t first = text.find_first_not_of(Blanks);
    return first == std::string::npos ? std::nullopt : ReadDecimal(text.substr(first));
}

// The radio keeps its own setting, and the technician is told so whatever the log level: the
// run goes on, since the GUI passes its preferences with every job.
void RefuseSetting(std::ostream &refusals, const std::string &why, const char *setting)
{
    refusals << why << ": wM-Bus " << setting << " not set\n" << std::flush;
}

} // namespace

void ApplyModuleType(WMBusMod::WMBC_Interface &driver, const std::string &type, bool given)
{
    if (type.empty() && !given)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Module type empty";
        return;
    }
    const ModuleTypeWord *entry = FindModuleType(type);
    if (entry == nullptr)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Unknown module type";
        return;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << entry->traceLine;
    driver.SetRfModuleType(entry->value);
}

void SetChannel(WMBusMod::WMBC_Interface &driver, const std::string &channel, std::ostream &refusals)
{
    const std::optional<long long> read = ReadChannel(channel);
    if (!read)
    {
        RefuseSetting(refusals, "channel \"" + channel + "\" is not a number", "channel");
        return;
    }
    const long long number = *read;
    if (number < FirstChannel || number > LastChannel)
    {
        RefuseSetting(refusals,
                      "channel " + channel + " out of range " + std::to_string(FirstChannel) + " to " +
                          std::to_string(LastChannel),
                      "channel");
        return;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Set the wM-Bus channel to " << number;
    const int type = driver.GetRfModuleType();
    if (!WMBusMod::WMBC_ZV_Interface::AcceptsChannel(type, static_cast<int>(number)))
    {
        RefuseSetting(refusals,
                      std::string("SetRfChannel not supported by the ") + ModuleTypeWordOf(type) + " module type",
                      "channel");
    }
    driver.SetRfChannel(static_cast<int>(number));
}

void SetMode(WMBusMod::WMBC_Interface &driver, std::string &mode, std::ostream &direct, std::ostream &refusals)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Set wM-Bus mode to " << mode;
    direct << "Set wM-Bus mode to: " << mode << '\n';
    for (char &c : mode)
    {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    direct << "Set wM-Bus mode to: " << mode << '\n' << std::flush;

    const ModeWord *entry = FindMode(mode);
    if (entry == nullptr)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Unknown wM-Bus mode " << mode << ", ignore it";
        return;
    }
    const int type = driver.GetRfModuleType();
    if (!WMBusMod::WMBC_ZV_Interface::AcceptsMode(type, entry->value))
    {
        RefuseSetting(refusals,
                      "mode " + std::to_string(entry->value) + " not supported by the " + ModuleTypeWordOf(type) +
                          " module type",
                      "mode");
    }
    driver.SetRadioMode(entry->value);
}

void SetupModule(std::unique_ptr<WMBusMod::WMBC_Interface> &driver, Serial &serial, Config &config)
{
    driver = std::make_unique<WMBusMod::WMBC_ZV_Interface>();
    ApplyModuleType(*driver, config.OptModuleType, config.ModuleTypeGiven);

    serial.Open(config.OptPort, ModemBaudRate);
    serial.Flush(FlushBoth);
    serial.SetFlowControl(NoFlowControl);

    const GpioHolder gpio;
    driver->Init(serial, gpio.Lines(), false);

    if (config.ChannelGiven)
    {
        SetChannel(*driver, config.OptChannel);
    }
    if (config.ModeGiven)
    {
        SetMode(*driver, config.OptMode);
    }
}

} // namespace Tolv
