#include "Tolv_ModemTasks.h"

#include "LogStatement.h"

namespace Tolv
{

namespace
{

constexpr int VersionMajor = 1;
constexpr int VersionMinor = 8;

} // namespace

void GetModemInfo(WMBusMod::WMBC_Interface &driver, std::ostream &direct)
{
    direct << "Tolvern version: " << VersionMajor << '.' << VersionMinor << '\n' << std::flush;
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Get modem info";
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Info: " << driver.GetModuleDescription();
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Address: " << std::hex << driver.GetModuleAddress();
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Firmware version: " << driver.GetSoftwareVersion();
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Hardware version: " << driver.GetHardwareVersion();
}

void ReadStatistics(WMBusMod::WMBC_Interface &driver)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Read module statistics";
    WMBusMod::ModemStats stats; // all four start at 0
    driver.GetStats(&stats);
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "received frames   : " << stats.receivedFrames;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "detected preambles: " << stats.detectedPreambles;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Sync. address     : " << stats.syncAddresses;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "CRC errors        : " << stats.crcErrors;
}

} // namespace Tolv
