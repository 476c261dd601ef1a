#include "tolvern_process.h"

#include "Logger.h"
#include "StrayProcessRegistry.h"
#include "TemplateDirectory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QMutexLocker>
#include <QProcess>
#include <QRegularExpression>
#include <QTextCodec>
#include <QWaitCondition>

namespace
{
constexpr int PollMs = 20;         // how often the worker looks at the child's pipes and at a stop request
constexpr int StartWaitMs = 10000; // a start that takes longer counts as failed
constexpr int DestroyWaitMs = 10000;

QMutex pathLock;
QString resolvedPath;

// One Tolvern owns the modem at a time. A run being stopped is still withdrawing what it queued, so a new
// run waits for it to end before it starts; one that had to be killed is gone well within this wait.
constexpr int HandOverWaitMs = 2 * tolvern_process::StopGraceMs + 1000;
QMutex stoppingLock;
QWaitCondition stoppingEnded;
int stoppingRuns = 0; // guarded by stoppingLock

void waitForStoppingRuns(const std::atomic<bool> &giveUp)
{
    QElapsedTimer waited;
    waited.start();
    QMutexLocker guard(&stoppingLock);
    while (stoppingRuns > 0 && !giveUp.load() && waited.elapsed() < HandOverWaitMs)
        stoppingEnded.wait(&stoppingLock, PollMs);
}

QTextDecoder *newUtf8Decoder()
{
    return QTextCodec::codecForName("UTF-8")->makeDecoder();
}

// Argument list as one readable line for the log; arguments with blanks are quoted there only.
QString displayLine(const QStringList &args)
{
    QStringList shown;
    for (const QString &arg : args)
        shown << ((arg.isEmpty() || arg.contains(' ')) ? '"' + arg + '"' : arg);
    return shown.join(' ');
}

// Channel of an N mode from its letter: "Na" is channel 1 .. "Nj" channel 10.
QString channelOf(const QString &mode)
{
    if (mode.size() < 2)
        return QString();
    const QChar letter = mode.at(1).toLower();
    if (letter < QLatin1Char('a') || letter > QLatin1Char('j'))
        return QString();
    return QString::number(letter.unicode() - 'a' + 1);
}
} // namespace

tolvern_process::tolvern_process(QObject *parent, Logger *logger, bool autoKill)
    : QThread(parent), logger(logger), autoKill(autoKill), stdoutDecoder(newUtf8Decoder()),
      stderrDecoder(newUtf8Decoder())
{
}

tolvern_process::~tolvern_process()
{
    disconnect(this, &tolvern_process::SendProcessOutput, nullptr, nullptr);
    disconnect(this, &tolvern_process::SendProcessEnd, nullptr, nullptr);
    disconnect(this, &tolvern_process::SendProcessError, nullptr, nullptr);
    disconnect(this, &tolvern_process::SendProcessFailure, nullptr, nullptr);
    GUI_LOG(logger, "tolvern_process", "~tolvern_process()");
    if (isRunning())
    {
        // Qt aborts the program when a running thread is destroyed: end the child and let the thread go.
        stopRequested = true;
        if (!wait(DestroyWaitMs))
        {
            terminate();
            wait();
        }
    }
}

QString tolvern_process::programPath()
{
    QMutexLocker guard(&pathLock);
    if (resolvedPath.isEmpty())
    {
        const QString fromEnvironment = qEnvironmentVariable("TOLVERN_PATH");
        if (!fromEnvironment.isEmpty())
            resolvedPath = QFileInfo(fromEnvironment).absoluteFilePath();
        else
            resolvedPath = QCoreApplication::applicationDirPath() + "/Tolvern";
    }
    return resolvedPath;
}

void tolvern_process::setProgramPath(const QString &path)
{
    QMutexLocker guard(&pathLock);
    resolvedPath = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
}

QString tolvern_process::devicePath(const QString &port)
{
    if (port.isEmpty() || port == "----" || port.contains('/'))
        return port;
    return "/dev/" + port;
}

QStringList tolvern_process::buildArguments(const WMBusSettings_t &settings, const QStringList &jobArgs, bool local)
{
    QStringList list{"-p", devicePath(settings.port), "-t", templateDirectory(settings.templateDir)};
    if (!settings.aes.isEmpty())
        list << "-k" << settings.aes;
    const QString &mode = settings.mode;
    if (!mode.isEmpty() && (mode.at(0) == 'N' || mode.at(0) == 'n'))
    {
        list << "--type"
             << "ZVR169"
             << "--mode"
             << "n";
        // Without a channel letter Tolvern keeps its own channel rather than getting a non-digit.
        const QString channel = channelOf(mode);
        if (!channel.isEmpty())
            list << "--channel" << channel;
    }
    else if (local)
        list << "--type"
             << "ZVR868"
             << "--mode"
             << "loc";
    else
    {
        list << "--type"
             << "ZVR868";
        // An empty mode would make --mode swallow the next argument.
        if (!mode.isEmpty())
            list << "--mode" << mode;
    }
    list << jobArgs;
    return list;
}

void tolvern_process::setArgs(const WMBusSettings_t *settings, const QStringList &jobArgs, bool local)
{
    args = buildArguments(settings ? *settings : WMBusSettings_t{}, jobArgs, local);
    const QByteArray shown = displayLine(args).toUtf8();
    GUI_LOG(logger, "tolvern_process", "Command args: %s", shown.constData());
}

QString tolvern_process::take(QByteArray &buffer, QTextDecoder &decoder)
{
    QMutexLocker guard(&bufferLock);
    QByteArray bytes;
    bytes.swap(buffer);
    guard.unlock();
    // A zero byte would end the text early in the GUI's string handling; drop it, keep what follows.
    bytes.replace('\0', QByteArray());
    return decoder.toUnicode(bytes);
}

QString tolvern_process::readStdout()
{
    if (runState.load() == 0)
        return QString();
    return take(stdoutBuffer, *stdoutDecoder);
}

QString tolvern_process::readStderr()
{
    if (runState.load() == 0)
        return QString();
    return take(stderrBuffer, *stderrDecoder);
}

void tolvern_process::Kill()
{
    const int now = runState.load();
    if (now == -1)
        return;
    // A thread still busy before the child starts (cleaning up strays) counts as running: stopping then
    // must keep the child from being started at all.
    if (now == 0 && !(isRunning() && !runReturned.load()))
        return;
    GUI_LOG(logger, "tolvern_process", "Kill process");
    runState = -1;
    stopRequested = true;
    countAsStopping();
    QThread::msleep(100);
}

QString tolvern_process::errorMessageOf(const QString &line)
{
    // Tolvern's error and fatal lines carry their source file and line before the message; with -d a header
    // of time, level and tag comes first. "Request failed: " is main's own error line.
    static const QRegularExpression errorLine(QStringLiteral(
        "^(?:\\[[^\\]]*\\]\\[[67]\\]\\[[^\\]]*\\])?[\\w.+-]+\\.(?:cpp|cc|cxx|c|hpp|h):\\d+ (.*\\S)\\s*$"));
    const QRegularExpressionMatch match = errorLine.match(line);
    if (match.hasMatch())
        return match.captured(1);
    const int failed = line.indexOf(QLatin1String("Request failed: "));
    return failed < 0 ? QString() : line.mid(failed).trimmed();
}

QString tolvern_process::lastErrorLine()
{
    QMutexLocker guard(&bufferLock);
    return lastError;
}

void tolvern_process::setLastError(const QString &text)
{
    QMutexLocker guard(&bufferLock);
    lastError = text;
}

void tolvern_process::scanForErrors(const QByteArray &out, bool final)
{
    auto scan = [this](const QByteArray &line)
    {
        const QString message = errorMessageOf(QString::fromUtf8(line));
        if (!message.isEmpty())
            setLastError(message);
    };
    unscannedLine.append(out);
    int start = 0;
    for (int end = unscannedLine.indexOf('\n'); end >= 0; end = unscannedLine.indexOf('\n', start))
    {
        scan(unscannedLine.mid(start, end - start));
        start = end + 1;
    }
    unscannedLine.remove(0, start);
    // The run's last line may come without its line end.
    if (final && !unscannedLine.isEmpty())
    {
        scan(unscannedLine);
        unscannedLine.clear();
    }
}

void tolvern_process::ReadOutPut()
{
    emit SendProcessOutput();
}

void tolvern_process::ReadError()
{
    GUI_LOG(logger, "tolvern_process", "Std error");
    const QString text = take(stderrBuffer, *stderrDecoder);
    if (!text.isEmpty())
        emit SendProcessError(text);
}

void tolvern_process::EndOfCommand(int exitCode, bool crashed)
{
    GUI_LOG(logger, "tolvern_process", "end of exec of command: %d", exitCode);
    if (runState.load() >= 0)
    {
        if (crashed)
        {
            setLastError("Tolvern crashed");
            emit SendProcessFailure("Tolvern crashed");
            emit SendProcessEnd(ExitCrashed);
        }
        else if (exitCode != 0)
            emit SendProcessEnd(exitCode);
    }
    runState = 0;
}

void tolvern_process::ReportFailure(QString reason, int exitCode)
{
    if (stopRequested.load())
        return;
    setLastError(reason);
    emit SendProcessFailure(reason);
    emit SendProcessEnd(exitCode);
}

void tolvern_process::collect(QProcess &child)
{
    const QByteArray out = child.readAllStandardOutput();
    const QByteArray err = child.readAllStandardError();
    if (!out.isEmpty())
    {
        scanForErrors(out, false);
        {
            QMutexLocker guard(&bufferLock);
            stdoutBuffer.append(out);
        }
        QMetaObject::invokeMethod(this, "ReadOutPut", Qt::QueuedConnection);
    }
    if (!err.isEmpty())
    {
        {
            QMutexLocker guard(&bufferLock);
            stderrBuffer.append(err);
        }
        QMetaObject::invokeMethod(this, "ReadError", Qt::QueuedConnection);
    }
}

void tolvern_process::countAsStopping()
{
    // Counted by the one who asks, not when the worker gets round to it: a run started right after
    // the stop must already see it.
    QMutexLocker guard(&stoppingLock);
    if (supervising && !countedAsStopping)
    {
        countedAsStopping = true;
        ++stoppingRuns;
    }
}

void tolvern_process::superviseUntilEnd(QProcess &child)
{
    {
        QMutexLocker guard(&stoppingLock);
        supervising = true;
    }
    QElapsedTimer elapsed;
    elapsed.start();
    QElapsedTimer sinceTerminate;
    bool terminateSent = false;
    bool killSent = false;
    while (child.state() != QProcess::NotRunning)
    {
        child.waitForFinished(PollMs);
        collect(child);
        if (child.state() == QProcess::NotRunning)
            break;
        const bool stop = stopRequested.load() || (timeout >= 0 && elapsed.elapsed() > timeout);
        if (stop && !terminateSent)
        {
            countAsStopping();
            child.terminate();
            terminateSent = true;
            sinceTerminate.start();
        }
        else if (terminateSent && !killSent && sinceTerminate.elapsed() >= StopGraceMs)
        {
            GUI_LOG(logger, "tolvern_process", "Tolvern did not stop, killed");
            child.kill();
            killSent = true;
        }
    }
    QMutexLocker guard(&stoppingLock);
    supervising = false;
    if (countedAsStopping)
    {
        countedAsStopping = false;
        --stoppingRuns;
        stoppingEnded.wakeAll();
    }
}

void tolvern_process::run()
{
    runReturned = false;
    setLastError(QString());
    unscannedLine.clear();
    // No child ran: no end of command will come, so the state goes back to idle here.
    auto finishWithout = [this](const QString &reason)
    {
        runState = 0;
        runReturned = true;
        if (!reason.isEmpty())
            QMetaObject::invokeMethod(this, "ReportFailure", Qt::QueuedConnection, Q_ARG(QString, reason),
                                      Q_ARG(int, ExitNotStarted));
    };

    int idle = 0;
    if (stopRequested.load() || !runState.compare_exchange_strong(idle, 1))
        return finishWithout(QString());
    waitForStoppingRuns(stopRequested);
    if (stopRequested.load())
        return finishWithout(QString());

    StrayProcessRegistry registry(StrayProcessRegistry::defaultFile());
    if (autoKill)
        registry.killStrays([this] { return stopRequested.load(); });
    if (stopRequested.load())
        return finishWithout(QString());

    const QString program = programPath();
    const QByteArray programText = program.toUtf8();
    const QFileInfo info(program);
    if (!info.isFile() || !info.isExecutable())
    {
        GUI_LOG(logger, "tolvern_process", "Tolvern not found %s", programText.constData());
        return finishWithout("Tolvern not found " + program);
    }
    GUI_LOG(logger, "tolvern_process", "execute %s", programText.constData());

    QProcess child;
    child.setProgram(program);
    child.setArguments(args);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    child.start(QIODevice::ReadWrite);
    if (!child.waitForStarted(StartWaitMs))
        return finishWithout("Tolvern could not be started: " + child.errorString());
    const qint64 pid = child.processId();
    registry.add(pid);

    superviseUntilEnd(child);
    collect(child);
    scanForErrors(QByteArray(), true);
    registry.remove(pid);
    const bool crashed = child.exitStatus() == QProcess::CrashExit;
    const int exitCode = child.exitCode();
    runReturned = true;
    QMetaObject::invokeMethod(this, "EndOfCommand", Qt::QueuedConnection, Q_ARG(int, exitCode), Q_ARG(bool, crashed));
}
