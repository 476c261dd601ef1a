#ifndef LOGCAPTURE_H
#define LOGCAPTURE_H

#include "Log.h"

#include <sstream>
#include <string>
#include <vector>

// Sends the facility's lines into a string for one test and puts the defaults
// (standard output, all thresholds 5, no colour) back afterwards.
class LogCapture
{
public:
    explicit LogCapture(int allLevels = LogLevel::Normal)
    {
        Log::Instance().SetAllLevels(allLevels);
        Log::Instance().GetStream() = &text;
    }
    ~LogCapture()
    {
        Log &log = Log::Instance();
        log.ResetOutput();
        log.SetAllLevels(LogLevel::Normal);
        log.SetColored(false);
        log.SetEnabled(true);
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::string Text() const { return text.str(); }
    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(text.str());
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

private:
    std::ostringstream text;
};

#endif
