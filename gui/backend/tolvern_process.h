#ifndef GUI_BACKEND_TOLVERN_PROCESS_H
#define GUI_BACKEND_TOLVERN_PROCESS_H

#include "WMBusSettings_t.h"

#include <QByteArray>
#include <QMutex>
#include <QStringList>
#include <QTextDecoder>
#include <QThread>
#include <atomic>
#include <memory>

class Logger;

// One run of Tolvern as a child process. The worker thread (run) owns the child and copies its output into
// locked buffers; everything the GUI sees arrives through queued calls in the GUI thread, in order, the
// end always after the last output.
class tolvern_process : public QThread
{
    Q_OBJECT
public:
    // Exit codes of SendProcessEnd for runs that never gave one of their own.
    static constexpr int ExitCrashed = -1;
    static constexpr int ExitNotStarted = -2;

    tolvern_process(QObject *parent, Logger *logger, bool autoKill);
    ~tolvern_process() override;

    // Builds the argument list from the link settings, the job's own arguments and the local-mode flag.
    void setArgs(const WMBusSettings_t *settings, const QStringList &jobArgs, bool local);
    static QStringList buildArguments(const WMBusSettings_t &settings, const QStringList &jobArgs, bool local);
    QStringList arguments() const { return args; }
    void setTimeout(int milliseconds) { timeout = milliseconds; }

    // Unread output while the child runs; empty once it ended or was killed.
    QString readStdout();
    QString readStderr();
    void Kill();

    // Tolvern's last error line of this run without its source location ("Request failed: ..."), or why
    // the run could not start or ended by a crash; empty when there was none.
    QString lastErrorLine();
    // The message of one line of Tolvern's output when it is an error line, else an empty text.
    static QString errorMessageOf(const QString &line);

    int state() const { return runState.load(); }
    // Whether Kill (or the destructor) stopped this run.
    bool wasKilled() const { return stopRequested.load(); }

    // The Tolvern executable: TOLVERN_PATH when set, else Tolvern beside the GUI's executable; resolved
    // once. setProgramPath replaces it (a setting, or a test's stand-in).
    static QString programPath();
    static void setProgramPath(const QString &path);

signals:
    void SendProcessOutput();
    void SendProcessEnd(int exitCode);
    void SendProcessError(QString text);
    // Tolvern could not be found or started, or it crashed: why, in words.
    void SendProcessFailure(QString reason);

public slots:
    void ReadOutPut();
    void ReadError();
    void EndOfCommand(int exitCode, bool crashed);

protected:
    void run() override;

private slots:
    void ReportFailure(QString reason, int exitCode);

private:
    Logger *logger;
    QStringList args;
    int timeout = -1;
    std::atomic<int> runState{0}; // 0 idle or ended, 1 running, -1 killed
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> runReturned{false};
    bool autoKill;

    QMutex bufferLock;
    QByteArray stdoutBuffer;
    QByteArray stderrBuffer;
    std::unique_ptr<QTextDecoder> stdoutDecoder;
    std::unique_ptr<QTextDecoder> stderrDecoder;
    QString lastError;        // guarded by bufferLock
    QByteArray unscannedLine; // worker only: the start of a line whose end has not arrived yet

    void scanForErrors(const QByteArray &out, bool final);
    void setLastError(const QString &text);

    void collect(class QProcess &child);
    QString take(QByteArray &buffer, QTextDecoder &decoder);
    static QString devicePath(const QString &port);
};

#endif
