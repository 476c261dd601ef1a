#include "tolvern_info.h"

#include "Logger.h"

#include <QThread>

namespace
{
struct VersionLine
{
    const char *marker;
    int DongleInfo_t::*field;
};

constexpr VersionLine VersionLines[] = {
    {"Tolvern version: ", &DongleInfo_t::cliVersion},
    {"Firmware version: ", &DongleInfo_t::firmwareVersion},
    {"Hardware version: ", &DongleInfo_t::hardwareVersion},
};

const QString AddressMarker = QStringLiteral("Address: ");
} // namespace

tolvern_info::tolvern_info(const WMBusSettings_t *settings, QObject *parent, Logger *logger, bool autoKill)
    : QObject(parent), logger(logger), runner(new tolvern_process(parent, logger, autoKill))
{
    connect(runner, &tolvern_process::SendProcessOutput, this, &tolvern_info::ReadOutPut);
    connect(runner, &QThread::finished, this, &tolvern_info::handleEnd);
    connect(runner, &QThread::finished, runner, &QObject::deleteLater);
    runner->setArgs(settings, {"-m"}, false);
    runner->start(QThread::InheritPriority);
}

tolvern_info::~tolvern_info()
{
    GUI_LOG(logger, "tolvern_info", "done");
    // A query given up (a port that did not answer in time) must not go on holding the modem; the runner,
    // which belongs to the job's parent, deletes itself once the stopped run has ended.
    if (runner)
        runner->Kill();
}

int tolvern_info::versionOf(const QString &text)
{
    const QStringList parts = text.split('.');
    auto part = [&parts](int i)
    {
        bool ok = false;
        const int value = i < parts.size() ? parts[i].trimmed().toInt(&ok) : 0;
        return ok ? value : 0;
    };
    return part(0) * 256 + part(1);
}

void tolvern_info::ReadOutPut()
{
    if (runner)
        handleOutput(runner->readStdout());
}

void tolvern_info::handleEnd()
{
    if (runner && runner->wasKilled())
        return;
    const QString rest = lines.flush();
    if (!rest.isEmpty())
        handleOutput(rest + '\n');
}

void tolvern_info::handleOutput(const QString &text)
{
    // Lines are whole here even when a chunk ends inside one, so a cut version line is read once complete.
    for (const QString &line : lines.feed(text))
    {
        const QByteArray logged = line.toUtf8();
        GUI_LOG(logger, "tolvern_info", "new line: %s", logged.constData());
        for (const VersionLine &version : VersionLines)
            if (line.contains(QLatin1String(version.marker)))
                record.*version.field = versionOf(OutputLines::after(line, QLatin1String(version.marker)));
        if (line.contains(AddressMarker))
            record.address = OutputLines::after(line, AddressMarker);
    }
    if (!announced && record.firmwareVersion != 0 && record.hardwareVersion != 0)
    {
        announced = true;
        QPointer<tolvern_info> alive(this);
        emit GetInfoDone(&record);
        if (alive && runner)
            runner->Kill();
    }
}
