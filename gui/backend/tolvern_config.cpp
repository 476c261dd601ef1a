#include "tolvern_config.h"

#include "Logger.h"

#include <QPointer>
#include <QThread>

namespace
{
const QString GotAddress = QStringLiteral("Got address ");
const QString NoInitialFrame = QStringLiteral("No initial frame received");
const QString ResponseOk = QStringLiteral("Response ok");
const QString ResponseError = QStringLiteral("Response error!");
} // namespace

tolvern_config::tolvern_config(const WMBusSettings_t *settings, const QString &id, QObject *parent, Logger *logger,
                               bool autoKill)
    : QObject(parent), logger(logger), settings(settings), id(id), runner(new tolvern_process(this, logger, autoKill))
{
}

tolvern_config::~tolvern_config()
{
    const bool running = TolvernRunning;
    if (running && runner)
        runner->Kill();
    QThread::msleep(100);
    GUI_LOG(logger, "tolvern_config", "end with( TolvernRunning =%d )", running ? 1 : 0);
    // The runner goes with the job; its destructor waits for a killed run's thread to end.
}

void tolvern_config::start(const QStringList &jobArgs, void (tolvern_config::*slot)())
{
    if (!runner || TolvernRunning)
        return;
    connect(runner, &QThread::finished, this, &tolvern_config::TolvernEnded);
    connect(runner, &QThread::finished, runner, &QObject::deleteLater);
    connect(runner, &tolvern_process::SendProcessOutput, this, slot);
    runner->setArgs(settings, jobArgs, true);
    outcome = false;
    TolvernRunning = true;
    runner->start(QThread::InheritPriority);
}

void tolvern_config::ReadConfig(const QString &file)
{
    start({"--id", id, "-r", file}, &tolvern_config::ReadConfigOutPut);
}

void tolvern_config::WriteConfig(const QString &file)
{
    start({"--id", id, "-w", file}, &tolvern_config::WriteConfigOutPut);
}

void tolvern_config::TolvernEnded()
{
    GUI_LOG(logger, "tolvern_config", "signal  received");
    const bool killed = runner && runner->wasKilled();
    TolvernRunning = false;
    if (!killed)
        handleEnd();
}

void tolvern_config::done(bool ok)
{
    outcome = true;
    emit ConfigDone(ok);
}

void tolvern_config::handleEnd()
{
    QPointer<tolvern_config> alive(this);
    // A last line without its line feed still counts; only the kind of run that was fed has one.
    const QString rest = writeLines.flush();
    if (!rest.isEmpty())
        writeLine(rest);
    for (const MbusStream::Piece &piece : readStream.flush())
        readLine(piece.text);
    // A run that ends without its answer (no answer, "Response error!", Tolvern failing) is a failure.
    if (alive && !outcome)
    {
        GUI_LOG(logger, "tolvern_config", "Tolvern ended without an answer");
        done(false);
    }
}

void tolvern_config::ReadConfigOutPut()
{
    if (runner)
        handleReadOutput(runner->readStdout());
}

void tolvern_config::WriteConfigOutPut()
{
    if (runner)
        handleWriteOutput(runner->readStdout());
}

// The lines both kinds of run look for; the log names the kind ("Read conf" or "Write conf").
void tolvern_config::commonLine(const QString &line, const char *kind)
{
    const QByteArray text = line.toUtf8();
    GUI_LOG(logger, "tolvern_config", "Cmd output: %s", text.constData());
    if (line.contains(GotAddress))
    {
        GUI_LOG(logger, "tolvern_config", "%s: Get Address", kind);
        emit Connected(OutputLines::after(line, GotAddress));
    }
    if (line.contains(NoInitialFrame))
    {
        GUI_LOG(logger, "tolvern_config", "%s: No response", kind);
        done(false);
    }
}

void tolvern_config::readLine(const QString &line)
{
    commonLine(line, "Read conf");
}

void tolvern_config::handleReadOutput(const QString &text)
{
    // An answer arrives as "Received: " and an mbus document over many lines, possibly over many pieces
    // of output: it is judged only once it is whole.
    QPointer<tolvern_config> alive(this);
    for (const MbusStream::Piece &piece : readStream.feed(text))
    {
        if (!alive)
            return;
        if (!piece.document)
        {
            readLine(piece.text);
            continue;
        }
        const QByteArray logged = piece.text.toUtf8();
        GUI_LOG(logger, "tolvern_config", "Cmd output: %s", logged.constData());
        // Whole documents only: nothing needs carrying over to the next piece.
        answer = std::make_unique<ConfigDocument>(piece.text, nullptr);
        if (answer->getParams().isEmpty())
        {
            GUI_LOG(logger, "tolvern_config", "Read conf: Xml reading failed");
            done(false);
        }
        else
        {
            GUI_LOG(logger, "tolvern_config", "Read conf: Reponse Ok");
            done(true);
        }
    }
}

void tolvern_config::writeLine(const QString &line)
{
    commonLine(line, "Write conf");
    if (line.contains(ResponseOk))
    {
        GUI_LOG(logger, "tolvern_config", "Write conf: Reponse Ok");
        done(true);
    }
    if (line.contains(ResponseError))
    {
        GUI_LOG(logger, "tolvern_config", "Write conf: Response error");
        done(false);
    }
}

void tolvern_config::handleWriteOutput(const QString &text)
{
    QPointer<tolvern_config> alive(this);
    for (const QString &line : writeLines.feed(text))
    {
        if (!alive)
            return;
        writeLine(line);
    }
}
