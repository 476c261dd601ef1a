#include "LogCapture.h"

LogCapture::LogCapture(int level, int module)
{
    Log &log = Log::Instance();
    for (int m = 0; m < Log::ModuleCount; ++m)
        savedLevels[m] = log.GetLevel(m);
    savedColored = log.IsColored();
    savedEnabled = log.IsEnabled();

    log.Lock();
    savedStream = log.GetStream();
    log.GetStream() = &text;
    log.Unlock();

    if (module == AllModules)
        log.SetAllLevels(level);
    else
        log.SetLevel(module, level);
}

LogCapture::~LogCapture()
{
    Log &log = Log::Instance();
    // SetLevel refuses 7 and more, SetAllLevels takes anything: start from module 0's value.
    log.SetAllLevels(savedLevels[0]);
    for (int m = 1; m < Log::ModuleCount; ++m)
        if (savedLevels[m] != savedLevels[0])
            log.SetLevel(m, savedLevels[m]);
    log.SetColored(savedColored);
    log.SetEnabled(savedEnabled);

    log.Lock();
    log.GetStream() = savedStream;
    log.Unlock();
}

std::string LogCapture::Text() const
{
    Log &log = Log::Instance();
    log.Lock();
    std::string copy = text.str();
    log.Unlock();
    return copy;
}

std::vector<std::string> LogCapture::Lines() const
{
    std::vector<std::string> lines;
    std::istringstream in(Text());
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}
