#ifndef GUI_BACKEND_TOLVERN_INSTALLATION_H
#define GUI_BACKEND_TOLVERN_INSTALLATION_H

#include "MbusStream.h"
#include "WMBusSettings_t.h"
#include "tolvern_process.h"

#include <QObject>
#include <QPointer>

class Logger;

// One radio-test run: Tolvern sends an installation request and prints every frame it hears. The run
// starts with the job and ends with it.
class tolvern_installation : public QObject
{
    Q_OBJECT
public:
    tolvern_installation(const WMBusSettings_t *settings, QObject *parent, Logger *logger, bool autoKill);
    ~tolvern_installation() override;

    tolvern_process *process() const { return runner; }
    void handleOutput(const QString &text);

signals:
    void ReceiveNewFrame(QString frame);

public slots:
    void ReadOutPut();

private:
    Logger *logger;
    QPointer<tolvern_process> runner;
    MbusStream stream;
};

#endif
