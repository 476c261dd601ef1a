#ifndef TOLV_TESTS_LOGCAPTURE_H
#define TOLV_TESTS_LOGCAPTURE_H

#include "Log.h"

#include <sstream>
#include <string>

// Collects what the logging facility prints and puts the facility back as it
// was (output and thresholds) when the test ends.
class LogCapture
{
public:
    explicit LogCapture(int level = LogLevel::Normal) : saved(Log::Instance().GetStream())
    {
        Log::Instance().GetStream() = &out;
        Log::Instance().SetAllLevels(level);
    }
    ~LogCapture()
    {
        Log::Instance().GetStream() = saved;
        Log::Instance().SetAllLevels(LogLevel::Normal);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::string Text() const { return out.str(); }
    bool Contains(const std::string &part) const { return out.str().find(part) != std::string::npos; }

private:
    std::ostringstream out;
    std::ostream *saved;
};

#endif
