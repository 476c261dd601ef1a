#ifndef GUI_BACKEND_TOLVERN_CONFIG_H
#define GUI_BACKEND_TOLVERN_CONFIG_H

#include "ConfigDocument.h"
#include "MbusStream.h"
#include "OutputLines.h"
#include "WMBusSettings_t.h"
#include "tolvern_process.h"

#include <QObject>
#include <QPointer>
#include <memory>

class Logger;

// Reads or writes one module's configuration through one run of Tolvern.
class tolvern_config : public QObject
{
    Q_OBJECT
public:
    tolvern_config(const WMBusSettings_t *settings, const QString &id, QObject *parent, Logger *logger, bool autoKill);
    ~tolvern_config() override;

    void ReadConfig(const QString &file);
    void WriteConfig(const QString &file);
    // The runner; it deletes itself once its thread has finished after a run.
    tolvern_process *process() const { return runner; }
    // The parameters of the last read answer, owned by the job; null before one arrived.
    ConfigDocument *document() const { return answer.get(); }
    bool isRunning() const { return TolvernRunning; }

    // Hand a piece of Tolvern's output to the job as if the runner had delivered it.
    void handleReadOutput(const QString &text);
    void handleWriteOutput(const QString &text);
    // What the job does when the run is over: judge a run that gave no outcome.
    void handleEnd();

signals:
    void Connected(QString address);
    void ConfigDone(bool ok);

public slots:
    void ReadConfigOutPut();
    void WriteConfigOutPut();
    void TolvernEnded();

private:
    Logger *logger;
    const WMBusSettings_t *settings;
    QString id;
    QPointer<tolvern_process> runner;
    std::unique_ptr<ConfigDocument> answer;
    bool TolvernRunning = false;
    bool outcome = false; // a ConfigDone has been given in this run
    MbusStream readStream;
    OutputLines writeLines;

    void start(const QStringList &jobArgs, void (tolvern_config::*slot)());
    void commonLine(const QString &line, const char *kind);
    void readLine(const QString &line);
    void writeLine(const QString &line);
    void done(bool ok);
};

#endif
