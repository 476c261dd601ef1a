#ifndef GUI_BACKEND_LOGGER_H
#define GUI_BACKEND_LOGGER_H

#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QString>
#include <QTextStream>
#include <cstdint>
#include <memory>

// The one log of the GUI: log.txt in the preferences directory, every line also on the debug output.
class Logger
{
public:
    static constexpr uint32_t OpenMarker = 0xAA55AA55u;
    static constexpr qint64 RotateLimit = 0x100000; // a bigger log.txt is moved aside at start
    static constexpr int LineCapacity = 2048;       // a line keeps at most LineCapacity - 1 bytes

    Logger();
    ~Logger();
    Logger(const Logger &) = delete;
    Logger &operator=(const Logger &) = delete;

    void write(const char *className, const char *function, int line, const char *format, ...)
        __attribute__((format(printf, 5, 6)));

    QString logFilePath() const { return path; }

private:
    uint32_t open;
    QFile file;
    std::unique_ptr<QTextStream> stream;
    QString path;
    QMutex lock; // runners log from their worker threads too

    void rotate(const QString &dir);
};

// The log statement of every GUI class: with a logger the full line, without one only where it came from.
#define GUI_LOG(logger, className, ...) GUI_LOG_AS(logger, className, __func__, __VA_ARGS__)

// The same for a line that belongs to the operation a helper works for: it is logged under that name.
#define GUI_LOG_AS(logger, className, function, ...)                                                                   \
    do                                                                                                                 \
    {                                                                                                                  \
        if (logger)                                                                                                    \
            (logger)->write(className, function, __LINE__, __VA_ARGS__);                                               \
        else                                                                                                           \
            qDebug() << function << "():" << __LINE__;                                                                 \
    } while (0)

#endif
