#include "tolvern_installation.h"

#include "Logger.h"

#include <QDebug>
#include <QThread>

tolvern_installation::tolvern_installation(const WMBusSettings_t *settings, QObject *parent, Logger *logger,
                                           bool autoKill)
    : QObject(parent), logger(logger), runner(new tolvern_process(this, logger, autoKill))
{
    WMBusSettings_t copy = settings ? *settings : WMBusSettings_t{};
    // In T mode the modem answers as a meter would, so the concentrators hear a meter's request.
    if (!copy.mode.isEmpty() && (copy.mode.at(0) == 'T' || copy.mode.at(0) == 't'))
    {
        qDebug() << "Mode T meter";
        copy.mode = "Tm";
    }
    runner->setArgs(&copy, {"--send-frame"}, false);
    connect(runner, &tolvern_process::SendProcessOutput, this, &tolvern_installation::ReadOutPut);
    runner->start(QThread::InheritPriority);
}

tolvern_installation::~tolvern_installation()
{
    if (runner)
        runner->Kill();
    QThread::msleep(100);
    // The runner's destructor waits for its thread, should the killed run not have ended yet.
    delete runner.data();
}

void tolvern_installation::ReadOutPut()
{
    if (runner)
        handleOutput(runner->readStdout());
}

void tolvern_installation::handleOutput(const QString &text)
{
    // Whole documents only: one cut between two chunks still arrives as one frame.
    QStringList frames;
    for (const MbusStream::Piece &piece : stream.feed(text))
        if (piece.document)
            frames << piece.text.simplified();
    if (frames.size() > 1)
    {
        qDebug() << "-----------------";
        qDebug() << "Multiples lines!!";
        qDebug() << "-----------------";
    }
    QPointer<tolvern_installation> alive(this);
    for (const QString &frame : frames)
    {
        emit ReceiveNewFrame(frame);
        if (!alive)
            return;
    }
}
