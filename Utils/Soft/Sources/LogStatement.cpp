#include "LogStatement.h"

#include <cstring>

LogStatement::LogStatement(int level, int module, const char *file, int line)
    : log(Log::Instance()), stream(nullptr), colored(false)
{
    log.Lock();
    stream = log.GetStream();
    flags = stream->flags();
    precision = stream->precision();
    fill = stream->fill();

    log.PrintHeader(level, module);
    if (level >= LogLevel::Error)
        *stream << SourceName(file) << ':' << std::dec << line << ' ';
    if (log.IsColored())
    {
        const char *escape = Log::ColorEscape(level, module);
        if (escape)
        {
            *stream << escape;
            colored = true;
        }
    }
}

LogStatement::~LogStatement()
{
    if (colored)
        *stream << Log::ColorReset;
    *stream << '\n';
    stream->flush();
    stream->flags(flags);
    stream->precision(precision);
    stream->fill(fill);
    log.Unlock();
}

const char *LogStatement::SourceName(const char *path)
{
    const char *slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}
