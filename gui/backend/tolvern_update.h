#ifndef GUI_BACKEND_TOLVERN_UPDATE_H
#define GUI_BACKEND_TOLVERN_UPDATE_H

#include "OutputLines.h"
#include "WMBusSettings_t.h"
#include "tolvern_process.h"

#include <QObject>
#include <QPointer>

class Logger;

// One firmware update of a radio module over the air; the run starts with the job.
class tolvern_update : public QObject
{
    Q_OBJECT
public:
    tolvern_update(const WMBusSettings_t *settings, const QString &firmwareFile, QObject *parent, Logger *logger,
                   bool autoKill);
    ~tolvern_update() override;

    // The runner while it exists; it deletes itself once its thread has finished.
    tolvern_process *process() const { return runner; }
    void handleOutput(const QString &text);
    void handleEnd(); // the output is over: a last line without its line feed still counts

signals:
    void Connected(QString address);
    void UpdateDone(int status);
    void PacketSent(int iSize);
    void Debug(QString line);

public slots:
    void ReadOutPut();

private:
    Logger *logger;
    QPointer<tolvern_process> runner;
    OutputLines lines;

    void line(const QString &text);
};

#endif
