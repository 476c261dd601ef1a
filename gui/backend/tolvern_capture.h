#ifndef GUI_BACKEND_TOLVERN_CAPTURE_H
#define GUI_BACKEND_TOLVERN_CAPTURE_H

#include "MbusStream.h"
#include "WMBusSettings_t.h"
#include "tolvern_process.h"

#include <QObject>
#include <QPointer>

class Logger;
class xml_capture;

// The listen job: runs "Tolvern -l" and stores every frame it prints. Its creator starts the runner.
class tolvern_capture : public QObject
{
    Q_OBJECT
public:
    tolvern_capture(const WMBusSettings_t *settings, xml_capture *store, QObject *parent, Logger *logger, bool autoKill,
                    bool local);
    ~tolvern_capture() override;

    // The runner; it deletes itself once its thread has finished, so the pointer is valid until then.
    tolvern_process *process() const { return runner; }
    // Hands a piece of Tolvern's output to the job as if the runner had delivered it.
    void handleOutput(const QString &text);

signals:
    void ReceiveNewFrame();

public slots:
    void ReadOutPut();

private:
    Logger *logger;
    QPointer<tolvern_process> runner;
    xml_capture *store;
    MbusStream stream;
};

#endif
