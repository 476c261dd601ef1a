#include "StrayProcessRegistry.h"

#include "PreferencesDir.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTextStream>
#include <QThread>
#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace
{
QMutex registryLock; // runners of this process may overlap while a killed run winds down

constexpr int GoneWaitMs = 2000;
constexpr int PollMs = 20;
constexpr int LockWaitMs = 2000;

// The record file is shared by the runners of this GUI (the mutex) and by other GUIs of the same user (the
// lock file). Another GUI holding the lock file longer must not block us, so a late lock is given up on.
class RecordLock
{
public:
    explicit RecordLock(const QString &file) : guard(&registryLock), lock(file + ".lock") { lock.tryLock(LockWaitMs); }

private:
    QMutexLocker guard;
    QLockFile lock;
};

bool same(const StrayProcessRegistry::Entry &a, const StrayProcessRegistry::Entry &b)
{
    return a.pid == b.pid && a.startTime == b.startTime && a.executable == b.executable;
}
} // namespace

StrayProcessRegistry::StrayProcessRegistry(const QString &file) : file(file) {}

QString StrayProcessRegistry::defaultFile()
{
    return PreferencesDir::path() + "/tolvern_runs.txt";
}

bool StrayProcessRegistry::identify(qint64 pid, Entry &entry)
{
    if (pid <= 0)
        return false;
    const QString proc = "/proc/" + QString::number(pid);
    QFile stat(proc + "/stat");
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    // The command name in parentheses may hold blanks, so the fields are counted after its closing one.
    const int close = line.lastIndexOf(')');
    if (close < 0)
        return false;
    const QList<QByteArray> fields = line.mid(close + 1).simplified().split(' ');
    constexpr int StateField = 0;      // field 3 of the stat line
    constexpr int StartTimeField = 19; // field 22 of the stat line
    if (fields.size() <= StartTimeField || fields[StateField] == "Z")
        return false;
    bool ok = false;
    const quint64 start = fields[StartTimeField].toULongLong(&ok);
    if (!ok)
        return false;
    const QString exe = QFileInfo(proc + "/exe").symLinkTarget();
    if (exe.isEmpty())
        return false;
    entry.pid = pid;
    entry.startTime = start;
    entry.executable = exe;
    return true;
}

QList<StrayProcessRegistry::Entry> StrayProcessRegistry::load() const
{
    // pid, start time, owner pid and owner start time, then the executable's absolute path (which may hold
    // blanks); records written before owners were kept lack the owner's two numbers.
    static const QRegularExpression record("^(\\d+) (\\d+) (?:(\\d+) (\\d+) )?(/.*)$");
    QList<Entry> list;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text))
        return list;
    QTextStream stream(&in);
    stream.setCodec("UTF-8");
    while (!stream.atEnd())
    {
        const QRegularExpressionMatch match = record.match(stream.readLine());
        if (!match.hasMatch())
            continue;
        bool pidOk = false, startOk = false, ownerOk = true, ownerStartOk = true;
        Entry entry;
        entry.pid = match.captured(1).toLongLong(&pidOk);
        entry.startTime = match.captured(2).toULongLong(&startOk);
        if (match.capturedLength(3) > 0)
        {
            entry.ownerPid = match.captured(3).toLongLong(&ownerOk);
            entry.ownerStartTime = match.captured(4).toULongLong(&ownerStartOk);
        }
        entry.executable = match.captured(5);
        if (pidOk && startOk && ownerOk && ownerStartOk && entry.pid > 0)
            list.append(entry);
    }
    return list;
}

void StrayProcessRegistry::store(const QList<Entry> &list) const
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream stream(&out);
    stream.setCodec("UTF-8");
    for (const Entry &entry : list)
        stream << entry.pid << ' ' << entry.startTime << ' ' << entry.ownerPid << ' ' << entry.ownerStartTime << ' '
               << entry.executable << '\n';
    stream.flush();
    out.commit();
}

QList<StrayProcessRegistry::Entry> StrayProcessRegistry::entries() const
{
    QMutexLocker guard(&registryLock);
    return load();
}

void StrayProcessRegistry::add(qint64 pid)
{
    add(pid, static_cast<qint64>(::getpid()));
}

void StrayProcessRegistry::add(qint64 pid, qint64 ownerPid)
{
    QDir().mkpath(QFileInfo(file).absolutePath());
    Entry entry;
    Entry owner;
    if (!identify(pid, entry) || !identify(ownerPid, owner))
        return;
    entry.ownerPid = owner.pid;
    entry.ownerStartTime = owner.startTime;
    RecordLock lock(file);
    QList<Entry> list = load();
    list.append(entry);
    store(list);
}

bool StrayProcessRegistry::ownerRunning(const Entry &entry)
{
    // A record without an owner comes from a GUI that kept none: nothing tells that its GUI still runs.
    Entry owner;
    return entry.ownerPid > 0 && identify(entry.ownerPid, owner) && owner.startTime == entry.ownerStartTime;
}

void StrayProcessRegistry::remove(qint64 pid)
{
    RecordLock lock(file);
    QList<Entry> list = load();
    const int before = list.size();
    for (int i = list.size() - 1; i >= 0; --i)
        if (list[i].pid == pid)
            list.removeAt(i);
    if (list.size() != before)
        store(list);
}

int StrayProcessRegistry::killStrays(const std::function<bool()> &stop)
{
    QList<Entry> victims;
    {
        RecordLock lock(file);
        QList<Entry> kept;
        for (const Entry &entry : load())
        {
            Entry now;
            if (!identify(entry.pid, now) || !same(now, entry))
                continue; // ended: nothing left to stop
            // The window that started it still runs, and stops it itself.
            if (ownerRunning(entry))
                kept.append(entry);
            else
                victims.append(entry);
        }
        store(kept);
    }
    int killed = 0;
    for (int i = 0; i < victims.size(); ++i)
    {
        const Entry &entry = victims[i];
        if (stop())
        {
            // Not dealt with now: keep them for the next start.
            RecordLock lock(file);
            QList<Entry> list = load();
            list.append(victims.mid(i));
            store(list);
            break;
        }
        if (::kill(static_cast<pid_t>(entry.pid), SIGKILL) != 0)
            continue;
        ++killed;
        QElapsedTimer waited;
        waited.start();
        Entry now;
        while (identify(entry.pid, now) && same(now, entry) && waited.elapsed() < GoneWaitMs && !stop())
            QThread::msleep(PollMs);
    }
    return killed;
}
