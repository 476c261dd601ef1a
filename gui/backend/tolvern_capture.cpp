#include "tolvern_capture.h"

#include "Logger.h"
#include "tolvern_process.h"
#include "xml_capture.h"

#include <QDebug>
#include <QPointer>

tolvern_capture::tolvern_capture(const WMBusSettings_t *settings, xml_capture *store, QObject *parent, Logger *logger,
                                 bool autoKill, bool local)
    : QObject(parent), logger(logger), runner(new tolvern_process(this, logger, autoKill)), store(store)
{
    runner->setArgs(settings, {"-l"}, local);
    connect(runner, &QThread::finished, runner, &QObject::deleteLater);
    connect(runner, &tolvern_process::SendProcessOutput, this, &tolvern_capture::ReadOutPut);
}

// The runner, a child of the job, ends a capture still listening and waits for its thread when it goes.
tolvern_capture::~tolvern_capture() = default;

void tolvern_capture::ReadOutPut()
{
    if (runner)
        handleOutput(runner->readStdout());
}

void tolvern_capture::handleOutput(const QString &text)
{
    // Documents are cut from the raw text first: a frame split between two pieces, or several frames in
    // one piece with log lines between them, all arrive whole.
    const QList<MbusStream::Piece> pieces = stream.feed(text);
    int documents = 0;
    for (const MbusStream::Piece &piece : pieces)
        documents += piece.document ? 1 : 0;
    if (documents > 1)
    {
        qDebug() << "-----------------";
        qDebug() << "Multiples lines!!";
        qDebug() << "-----------------";
    }
    QPointer<tolvern_capture> alive(this);
    for (const MbusStream::Piece &piece : pieces)
    {
        if (!piece.document)
        {
            if (!piece.text.simplified().isEmpty())
            {
                const QByteArray line = piece.text.toUtf8();
                GUI_LOG(logger, "tolvern_capture", "cli: %s", line.constData());
            }
            continue;
        }
        QString fragment = piece.text.simplified();
        // A document cut off by the start of the next can never be completed: were it held back in the
        // store, it would be put in front of a later fragment and spoil it.
        if (!fragment.contains(QLatin1String("</mbus>")))
        {
            const QByteArray broken = fragment.toUtf8();
            GUI_LOG(logger, "tolvern_capture", "xmlBOM.setContent failed : %s", broken.constData());
            continue;
        }
        if (store && store->AddFrame(fragment))
        {
            emit ReceiveNewFrame();
            if (!alive)
                return; // a receiver ended the capture
        }
    }
}
