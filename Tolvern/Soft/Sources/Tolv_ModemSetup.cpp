#include "Tolv_ModemSetup.h"

#include "LogStatement.h"
#include "Serial.h"
#include "Tolv_Config.h"
#include "Tolv_GpioHolder.h"
#include "WMBC_ZV_Interface.h"

#include <cctype>
#include <sstream>

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

} // namespace

void ApplyModuleType(WMBusMod::WMBC_Interface &driver, const std::string &type)
{
    if (type.empty())
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

void SetChannel(WMBusMod::WMBC_Interface &driver, const std::string &channel)
{
    std::istringstream in(channel);
    int number = 0;
    if (!(in >> number) || number < 1 || number > 9)
    {
        return;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Set the wM-Bus channel to " << number;
    driver.SetRfChannel(number);
}

void SetMode(WMBusMod::WMBC_Interface &driver, std::string &mode, std::ostream &direct)
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
    driver.SetRadioMode(entry->value);
}

void SetupModule(std::unique_ptr<WMBusMod::WMBC_Interface> &driver, Serial &serial, Config &config)
{
    driver = std::make_unique<WMBusMod::WMBC_ZV_Interface>();
    ApplyModuleType(*driver, config.OptModuleType);

    serial.Open(config.OptPort, ModemBaudRate);
    serial.Flush(FlushBoth);
    serial.SetFlowControl(NoFlowControl);

    const GpioHolder gpio;
    driver->Init(serial, gpio.Lines(), false);

    if (!config.OptChannel.empty())
    {
        SetChannel(*driver, config.OptChannel);
    }
    if (!config.OptMode.empty())
    {
        SetMode(*driver, config.OptMode);
    }
}

} // namespace Tolv
