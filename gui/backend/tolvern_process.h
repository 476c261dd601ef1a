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
//
// A run is stopped the way Tolvern can clean up after itself: SIGTERM first, so that it withdraws what it
// left in the modem's mailbox; SIGKILL only when it is still there StopGraceMs later. A stopped run keeps
// delivering the output it printed up to its end.
class tolvern_process : public QThread
{
    Q_OBJECT
public:
    // Exit codes of SendProcessEnd for runs that never gave one of their own.
    static constexpr int ExitCrashed = -1;
    static constexpr int ExitNotStarted = -2;
    // How long a stopped Tolvern has to end by itself before it is killed.
    static constexpr int StopGraceMs = 2000;

    tolvern_process(QObject *parent, Logger *logger, bool autoKill);
    ~tolvern_process() override;

    // Builds the argument list from the link settings, the job's own arguments and the local-mode flag.
    void setArgs(const WMBusSettings_t *settings, const QStringList &jobArgs, bool local);
    static QStringList buildArguments(const WMBusSettings_t &settings, const QStringList &jobArgs, bool local);
    QStringList arguments() const { return args; }
    void setTimeout(int milliseconds) { timeout = milliseconds; }

    // Unread output while the child runs or is being stopped; empty once its end has been delivered.
    QString readStdout();
    QString readStderr();
    // Stops the run (see above) without waiting for its end; a stopped run reports no exit code.
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
    void superviseUntilEnd(class QProcess &child);
    void countAsStopping();
    // Guarded by the lock of the runs being stopped: whether the child is under watch, and whether this
    // run is counted among those that a new run waits for.
    bool supervising = false;
    bool countedAsStopping = false;
    QString take(QByteArray &buffer, QTextDecoder &decoder);
    static QString devicePath(const QString &port);
};

#endif
