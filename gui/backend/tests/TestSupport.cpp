#include "TestSupport.h"

#include "Logger.h"
#include "xml_capture.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>

namespace
{
QMutex capturedLock; // runners log from their worker threads too
QStringList captured;

void collect(QtMsgType, const QMessageLogContext &, const QString &message)
{
    QMutexLocker guard(&capturedLock);
    captured << message;
}
} // namespace

QByteArray TestSupport::readFile(const QString &path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return file.readAll();
}

void TestSupport::writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(bytes);
}

QString TestSupport::readLog(const Logger &logger)
{
    return QString::fromUtf8(readFile(logger.logFilePath()));
}

QStringList TestSupport::frameIds(const xml_capture &store)
{
    QStringList list;
    for (const CaptureFrame &frame : store.getFrames())
        list << QString("%1:%2").arg(frame.getData().number).arg(frame.getData().Id);
    return list;
}

TestSupport::DebugCapture::DebugCapture()
{
    {
        QMutexLocker guard(&capturedLock);
        captured.clear();
    }
    previous = qInstallMessageHandler(collect);
}

TestSupport::DebugCapture::~DebugCapture()
{
    stop();
}

void TestSupport::DebugCapture::stop()
{
    if (!active)
        return;
    active = false;
    qInstallMessageHandler(previous);
}

QStringList TestSupport::DebugCapture::lines() const
{
    QMutexLocker guard(&capturedLock);
    return captured;
}
