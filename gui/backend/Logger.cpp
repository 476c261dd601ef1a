#include "Logger.h"

#include "PreferencesDir.h"

#include <QDir>
#include <QMutexLocker>
#include <QSaveFile>
#include <QTime>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{
// Drops a UTF-8 sequence that the length cut left incomplete, so the line still decodes cleanly.
int utf8SafeLength(const char *text, int length)
{
    int start = length;
    while (start > 0 && (static_cast<unsigned char>(text[start - 1]) & 0xC0) == 0x80)
        --start;
    if (start == 0)
        return length;
    const unsigned char lead = static_cast<unsigned char>(text[start - 1]);
    int need = 1;
    if ((lead & 0xE0) == 0xC0)
        need = 2;
    else if ((lead & 0xF0) == 0xE0)
        need = 3;
    else if ((lead & 0xF8) == 0xF0)
        need = 4;
    if (need > 1 && length - (start - 1) < need)
        return start - 1;
    return length;
}
} // namespace

Logger::Logger() : open(0)
{
    const QString dir = PreferencesDir::path();
    open = OpenMarker;
    PreferencesDir::ensure();
    path = dir + "/log.txt";
    qDebug().noquote() << "Log file:" + path;
    rotate(dir);
    file.setFileName(path);
    file.open(QIODevice::WriteOnly | QIODevice::Append);
    stream = std::make_unique<QTextStream>(&file);
    stream->setCodec("UTF-8");
}

// The current log is truncated only once a complete copy of it stands as log_old.txt.
void Logger::rotate(const QString &dir)
{
    QFile current(path);
    if (!current.exists() || current.size() <= RotateLimit)
        return;
    if (!current.open(QIODevice::ReadOnly))
        return;
    QSaveFile old(dir + "/log_old.txt");
    if (!old.open(QIODevice::WriteOnly))
        return;
    while (!current.atEnd())
    {
        const QByteArray block = current.read(64 * 1024);
        if (block.isEmpty() || old.write(block) != block.size())
        {
            old.cancelWriting();
            return;
        }
    }
    current.close();
    if (!old.commit())
        return;
    current.open(QIODevice::WriteOnly | QIODevice::Truncate);
}

Logger::~Logger()
{
    QMutexLocker guard(&lock);
    stream.reset();
    open = 0;
    file.close();
}

void Logger::write(const char *className, const char *function, int line, const char *format, ...)
{
    char buffer[LineCapacity];
    const QByteArray time = QTime::currentTime().toString("hh:mm:ss.zzz").toUtf8();
    int used = std::snprintf(buffer, sizeof buffer, "[%s][%s::%s():%d] ", time.constData(), className ? className : "",
                             function ? function : "", line);
    if (used < 0)
        used = 0;
    if (used < LineCapacity - 1 && format != nullptr)
    {
        va_list values;
        va_start(values, format);
        std::vsnprintf(buffer + used, sizeof buffer - used, format, values);
        va_end(values);
    }
    buffer[LineCapacity - 1] = '\0';
    const int length = utf8SafeLength(buffer, static_cast<int>(std::strlen(buffer)));
    const QString text = QString::fromUtf8(buffer, length);
    qDebug().noquote() << text;

    QMutexLocker guard(&lock);
    if (stream && open == OpenMarker)
    {
        *stream << text << '\n';
        stream->flush();
    }
}
