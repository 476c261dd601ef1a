#include "Log.h"

#include <boost/date_time/posix_time/posix_time.hpp>
#include <iostream>

namespace
{

// Only modules 0, 4, 22, 23 and 24 log in this program; the other rows only need
// to be eight characters wide.
constexpr const char *kTags[Log::ModuleCount] = {
    "Undef   ", "Main    ", "Config  ", "Os      ", "Utils   ", "Net     ", "Io      ", "Gpio    ", "Led     ",
    "Flash   ", "Storage ", "Timer   ", "Event   ", "Data    ", "Meter   ", "Alarm   ", "Upload  ", "Supv    ",
    "Backup  ", "Shell   ", "Script  ", "Modem   ", "WMBC    ", "Tolv    ", "WMBH    ", "Radio   ", "Crypto  ",
    "Decode  ", "Xml     ", "Tmpl    ", "Task    ", "Update  ", "Install ", "Stats   ", "Test    ", "Spare   ",
};

struct ColorRow
{
    int module;
    const char *escape;
};

constexpr ColorRow kColors[] = {
    {LogModule::Utils, "\033[3m\033[33m"},
    {LogModule::WMBC, "\033[40m\033[34m"},
    {LogModule::WMBH, "\033[40m\033[34m"},
    {LogModule::Tolv, "\033[3m\033[1;35m"},
};

constexpr const char *kErrorColor = "\033[41m\033[1;37m";

} // namespace

Log &Log::Instance()
{
    // Never destroyed: a detached thread that logs while the process exits must
    // still find the facility in place.
    static Log *const instance = new Log();
    return *instance;
}

Log::Log()
{
    ResetOutput();
    for (auto &threshold : thresholds)
        threshold.store(LogLevel::Normal, std::memory_order_relaxed);
}

void Log::SetLevel(int module, int level)
{
    if (IsModule(module) && level < LogLevel::Fatal)
        thresholds[module].store(level, std::memory_order_relaxed);
}

void Log::SetAllLevels(int level)
{
    for (auto &threshold : thresholds)
        threshold.store(level, std::memory_order_relaxed);
}

void Log::SetLevelByName(const std::string &name, int level)
{
    for (int module = 0; module < ModuleCount; ++module)
    {
        if (std::string(kTags[module]).find(name) != std::string::npos)
        {
            thresholds[module].store(level, std::memory_order_relaxed);
            return;
        }
    }
}

void Log::ResetOutput()
{
    nullStream = std::make_unique<basic_null_stream>();
    output = &std::cout;
}

void Log::PrintHeader(int level, int module)
{
    if (GetLevel(0) >= LogLevel::Normal)
        return;
    PrintTime();
    *output << '[' << std::dec << level << ']';
    PrintTag(module);
}

void Log::PrintTime()
{
    *output << '[' << std::dec << TimeText(boost::posix_time::microsec_clock::local_time()) << ']';
}

void Log::PrintTag(int module)
{
    *output << '[' << GetTag(module) << ']';
}

void Log::PrintInt(int n)
{
    *output << '[' << n << ']';
}

std::string Log::GetTag(int module) const
{
    return kTags[IsModule(module) ? module : 0];
}

std::string Log::TimeText(const boost::posix_time::ptime &time)
{
    // Boost's simple form already leaves out a zero fraction and gives six digits
    // at microsecond resolution.
    return boost::posix_time::to_simple_string(time);
}

const char *Log::ColorEscape(int level, int module)
{
    if (level >= LogLevel::Error)
        return kErrorColor;
    for (const auto &row : kColors)
        if (row.module == module)
            return row.escape;
    return nullptr;
}
