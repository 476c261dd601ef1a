#ifndef GUI_BACKEND_TOLVERN_INFO_H
#define GUI_BACKEND_TOLVERN_INFO_H

#include "DongleInfo_t.h"
#include "OutputLines.h"
#include "WMBusSettings_t.h"
#include "tolvern_process.h"

#include <QObject>
#include <QPointer>

class Logger;

// Asks the modem who it is ("Tolvern -m"); the run starts with the job and is ended once both modem
// versions are known. The runner belongs to the job's parent.
class tolvern_info : public QObject
{
    Q_OBJECT
public:
    tolvern_info(const WMBusSettings_t *settings, QObject *parent, Logger *logger, bool autoKill);
    ~tolvern_info() override;

    tolvern_process *process() const { return runner; }
    const DongleInfo_t &info() const { return record; }
    void handleOutput(const QString &text);
    void handleEnd(); // the output is over: a last line without its line feed still counts
    // major * 256 + minor of a text such as "2.3"; a part that is no number counts 0, a text without a
    // point is its major part alone.
    static int versionOf(const QString &text);

signals:
    // Points to the job's own record, valid as long as the job.
    void GetInfoDone(DongleInfo_t *info);

public slots:
    void ReadOutPut();

private:
    Logger *logger;
    QPointer<tolvern_process> runner;
    DongleInfo_t record;
    OutputLines lines;
    bool announced = false;
};

#endif
