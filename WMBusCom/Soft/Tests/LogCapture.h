#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include "Log.h"

#include <sstream>
#include <string>

// Points the logging facility at a string for one test, with the modem driver's module at the
// given level and no line header; everything is put back afterwards.
class LogCapture
{
public:
    explicit LogCapture(int level = LogLevel::Trace)
        : saved(Log::Instance().GetStream()), savedLevel(Log::Instance().GetLevel(LogModule::WMBC))
    {
        Log &log = Log::Instance();
        log.Lock();
        log.GetStream() = &text;
        log.Unlock();
        log.SetLevel(LogModule::WMBC, level);
    }
    ~LogCapture()
    {
        Log &log = Log::Instance();
        log.SetLevel(LogModule::WMBC, savedLevel);
        log.Lock();
        log.GetStream() = saved;
        log.Unlock();
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    // Safe while other threads still log.
    std::string Text()
    {
        Log &log = Log::Instance();
        log.Lock();
        std::string copy = text.str();
        log.Unlock();
        return copy;
    }
    bool Contains(const std::string &part) { return Text().find(part) != std::string::npos; }

private:
    std::ostream *saved;
    int savedLevel;
    std::ostringstream text;
};

#endif
