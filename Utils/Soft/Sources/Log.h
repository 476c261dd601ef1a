#ifndef LOG_H
#define LOG_H

#include "Mutex.h"
#include "basic_null_stream.h"

#include <atomic>
#include <boost/date_time/posix_time/ptime.hpp>
#include <memory>
#include <ostream>
#include <string>

// Message levels; a statement prints when its module's threshold is not above its level.
namespace LogLevel
{
enum : int
{
    Trace = 1,
    Debug = 2,
    Warning = 4,
    Normal = 5,
    Error = 6,
    Fatal = 7
};
}

// Module numbers 0..35 index the thresholds and the tag table.
namespace LogModule
{
enum : int
{
    Undef = 0,
    Utils = 4,
    WMBC = 22,
    Tolv = 23,
    WMBH = 24
};
}

// The process-wide logging facility. Every line goes to one output stream under
// one recursive lock. Write lines with the LOG_LINE statement (LogStatement.h).
class Log
{
public:
    static constexpr int ModuleCount = 36;

    static Log &Instance();

    Log(const Log &) = delete;
    Log &operator=(const Log &) = delete;

    bool IsEnabled() const { return enabled.load(std::memory_order_relaxed); }
    void SetEnabled(bool on) { enabled.store(on, std::memory_order_relaxed); }
    bool IsColored() const { return colored.load(std::memory_order_relaxed); }
    void SetColored(bool on) { colored.store(on, std::memory_order_relaxed); }

    // 7 for a module outside 0..35, so only fatal lines of such a module print.
    int GetLevel(int module) const
    {
        return IsModule(module) ? thresholds[module].load(std::memory_order_relaxed) : LogLevel::Fatal;
    }
    // Changes nothing unless module is 0..35 and level is below 7.
    void SetLevel(int module, int level);
    void SetAllLevels(int level);
    // The first module whose tag contains name gets the level.
    void SetLevelByName(const std::string &name, int level);

    // Points back at standard output and replaces the owned null stream.
    void ResetOutput();
    // Statements write to *GetStream(); tests may point it at a string stream.
    std::ostream *&GetStream() { return output; }

    void Lock() { lock.Lock(); }
    void Unlock() { lock.Unlock(); }

    // "[time][level][tag]" while module 0's threshold is below 5, else nothing.
    void PrintHeader(int level, int module);
    void PrintTime();
    void PrintTag(int module);
    void PrintInt(int n);
    // The 8-character tag; modules outside 0..35 get module 0's tag.
    std::string GetTag(int module) const;

    // "2016-Mar-04 10:23:45.123456", the fraction left out when it is zero.
    static std::string TimeText(const boost::posix_time::ptime &time);
    // The colour escape that precedes a message when colours are on.
    static const char *ColorEscape(int level, int module);
    static constexpr const char *ColorReset = "\033[0m";

private:
    Log();
    static bool IsModule(int module) { return module >= 0 && module < ModuleCount; }

    std::atomic<bool> enabled{true};
    std::atomic<bool> colored{false};
    std::ostream *output = nullptr;
    std::unique_ptr<basic_null_stream> nullStream;
    std::atomic<int> thresholds[ModuleCount];
    Mutex lock{Mutex::Recursive};
};

#endif
