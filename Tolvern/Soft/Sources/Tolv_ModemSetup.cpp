#include "Tolv_ModemSetup.h"

#include "LogStatement.h"
#include "Serial.h"
#include "Tolv_Config.h"
#include "Tolv_GpioHolder.h"
#include "WMBC_ZV_Interface.h"

#include <algorithm>
#include <cctype>

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
bool ReadChannel(const std::string &text, long long &number)
{
    size_t pos = text.find_first_not_of(" \t\r\n\v\f");
    if (pos == std::string::npos)
    {
        return false;
    }
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-')
    {
        negative = text[pos] == '-';
        ++pos;
    }
    if (pos == text.size())
    {
        return false;
    }
    constexpr long long Beyond = 1000000; // any value past this one is as far out of range
    number = 0;
    for (; pos < text.size(); ++pos)
    {
        if (!std::isdigit(static_cast<unsigned char>(text[pos])))
        {
            return false;
        }
        number = std::min(Beyond, number * 10 + (text[pos] - '0'));
    }
    number = negative ? -number : number;
    return true;
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
    long long number = 0;
    if (!ReadChannel(channel, number))
    {
        RefuseSetting(refusals, "channel \"" + channel + "\" is not a number", "channel");
        return;
    }
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

    if (config.ChannelGiven || !config.OptChannel.empty())
    {
        SetChannel(*driver, config.OptChannel);
    }
    if (config.ModeGiven || !config.OptMode.empty())
    {
        SetMode(*driver, config.OptMode);
    }
}

} // namespace Tolv
