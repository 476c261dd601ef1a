#include "tolvern_update.h"

#include "Logger.h"

#include <QDebug>
#include <QPointer>
#include <QThread>

namespace
{
const QString GotAddress = QStringLiteral("Got address ");
const QString Sent = QStringLiteral("Sent ");
const QString FirmwareWith = QStringLiteral("Firmware with");
const QString UpdateStatus = QStringLiteral("Update status:");

// The byte count of a "Sent 1024 bytes" line: the word after "Sent"; 0 when that is no number.
int sentCount(const QString &line)
{
    const QStringList words = OutputLines::after(line, Sent).simplified().split(' ', Qt::SkipEmptyParts);
    bool ok = false;
    const int count = words.isEmpty() ? 0 : words.first().toInt(&ok);
    return ok ? count : 0;
}
} // namespace

tolvern_update::tolvern_update(const WMBusSettings_t *settings, const QString &firmwareFile, QObject *parent,
                               Logger *logger, bool autoKill)
    : QObject(parent), logger(logger), runner(new tolvern_process(this, logger, autoKill))
{
    const QString mode = settings ? settings->mode : QString();
    const bool local = mode == "T" || mode == "S";
    runner->setArgs(settings, {"-u", firmwareFile}, local);
    connect(runner, &QThread::finished, this, &tolvern_update::handleEnd);
    connect(runner, &QThread::finished, runner, &QObject::deleteLater);
    connect(runner, &tolvern_process::SendProcessOutput, this, &tolvern_update::ReadOutPut);
    runner->start(QThread::InheritPriority);
}

// The runner's own destructor ends a run still going and waits for its thread.
tolvern_update::~tolvern_update()
{
    delete runner.data();
}

void tolvern_update::ReadOutPut()
{
    if (runner)
        handleOutput(runner->readStdout());
}

void tolvern_update::handleOutput(const QString &text)
{
    QPointer<tolvern_update> alive(this);
    for (const QString &each : lines.feed(text))
    {
        line(each);
        if (!alive)
            return;
    }
}

void tolvern_update::handleEnd()
{
    // After a kill the held-back text is a line cut short: a status read from it could be wrong.
    if (runner && runner->wasKilled())
        return;
    const QString rest = lines.flush();
    if (!rest.isEmpty())
        line(rest);
}

void tolvern_update::line(const QString &text)
{
    QPointer<tolvern_update> alive(this);
    if (!text.isEmpty())
        emit Debug(text);
    if (!alive)
        return;
    qDebug().noquote() << "Cmd output: " + text;
    const QByteArray logged = text.toUtf8();
    if (text.contains(GotAddress))
        emit Connected(OutputLines::after(text, GotAddress));
    if (alive && text.contains(Sent))
        emit PacketSent(sentCount(text));
    if (alive && text.contains(FirmwareWith))
    {
        GUI_LOG(logger, "tolvern_update", "%s", logged.constData());
        emit PacketSent(-1);
    }
    if (alive && text.contains(UpdateStatus))
    {
        GUI_LOG(logger, "tolvern_update", "%s", logged.constData());
        // Only a status that reads as a number is reported: 0 would tell the user the update succeeded.
        bool ok = false;
        const int status = OutputLines::after(text, UpdateStatus).trimmed().toInt(&ok);
        if (ok)
            emit UpdateDone(status);
        else
            GUI_LOG(logger, "tolvern_update", "unreadable update status");
    }
}
