#ifndef TESTSUPPORT_LOGCAPTURE_H
#define TESTSUPPORT_LOGCAPTURE_H

#include "Log.h"

#include <sstream>
#include <string>
#include <vector>

// Points the logging facility at a string for one test and puts everything back afterwards
// (stream, thresholds, colour and enabled flags), so captures may nest.
// LogCapture log(LogLevel::Trace) lowers every threshold, which also switches the line header
// on; LogCapture log(LogLevel::Trace, LogModule::WMBC) lowers only that module's and leaves the
// header off. Safe while other threads (the modem reader) still log.
class LogCapture
{
public:
    static constexpr int AllModules = -1;

    explicit LogCapture(int level = LogLevel::Normal, int module = AllModules);
    ~LogCapture();

    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::string Text() const;
    std::vector<std::string> Lines() const;
    bool Contains(const std::string &part) const { return Text().find(part) != std::string::npos; }

private:
    std::ostringstream text;
    std::ostream *savedStream;
    int savedLevels[Log::ModuleCount];
    bool savedColored;
    bool savedEnabled;
};

#endif
