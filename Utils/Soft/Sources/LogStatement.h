#ifndef LOGSTATEMENT_H
#define LOGSTATEMENT_H

#include "Log.h"

#include <ios>
#include <ostream>

// One log line: the constructor takes the facility's lock and writes the header,
// the source position (levels 6 and 7) and the colour escape; the caller streams
// the message; the destructor ends the line, flushes and releases the lock.
// The stream's formatting (hex, fill, width) is restored afterwards so that one
// statement's std::hex never leaks into the next line.
class LogStatement
{
public:
    LogStatement(int level, int module, const char *file, int line);
    ~LogStatement();

    LogStatement(const LogStatement &) = delete;
    LogStatement &operator=(const LogStatement &) = delete;

    std::ostream &Stream() { return *stream; }

    // Steps that run without the lock: enabled, and threshold not above level.
    static bool Passes(int level, int module)
    {
        const Log &log = Log::Instance();
        return log.IsEnabled() && log.GetLevel(module) <= level;
    }
    // The text after the last '/' of a source path.
    static const char *SourceName(const char *path);

private:
    Log &log;
    std::ostream *stream;
    bool colored;
    std::ios_base::fmtflags flags;
    std::streamsize precision;
    char fill;
};

// LOG_LINE(LogLevel::Debug, LogModule::Utils) << "Thread::Start";
// The message is evaluated only when the line will be printed.
#define LOG_LINE(level, module)                                                                                        \
    if (!LogStatement::Passes((level), (module)))                                                                      \
    {                                                                                                                  \
    }                                                                                                                  \
    else                                                                                                               \
        LogStatement((level), (module), __FILE__, __LINE__).Stream()

#endif
