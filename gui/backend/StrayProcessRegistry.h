#ifndef GUI_BACKEND_STRAYPROCESSREGISTRY_H
#define GUI_BACKEND_STRAYPROCESSREGISTRY_H

#include <QList>
#include <QString>
#include <functional>

// Remembers the Tolvern processes this GUI started (pid, start time, executable) in a small file of the
// preferences directory, with the GUI process that started each (its pid and start time), so that a run left
// over by a crashed GUI can be ended later. Several GUIs of one user share the file: a run counts as a stray
// only when the GUI that started it is no longer running. Only a process whose start time and executable
// still match its record is ever killed: a reused pid is left alone.
class StrayProcessRegistry
{
public:
    struct Entry
    {
        qint64 pid = 0;
        quint64 startTime = 0; // clock ticks since boot, as the kernel reports it
        QString executable;
        qint64 ownerPid = 0; // the GUI that started the run; 0 in records written before owners were kept
        quint64 ownerStartTime = 0;
    };

    explicit StrayProcessRegistry(const QString &file);
    static QString defaultFile();

    // Records a run started by this process.
    void add(qint64 pid);
    // Records a run started by the given process; nothing is recorded when either is not running.
    void add(qint64 pid, qint64 ownerPid);
    void remove(qint64 pid);
    QList<Entry> entries() const;

    // Kills every recorded process that is still the one recorded and whose owner is gone, and forgets the
    // records of those and of the runs that have ended; the runs of owners still running are kept. Waits a
    // little for each killed run to go. Returns how many were killed. Stops early when stop() turns true.
    int killStrays(const std::function<bool()> &stop);

    // The identity of a live process; false when it does not exist or is a zombie.
    static bool identify(qint64 pid, Entry &entry);

private:
    QString file;

    static bool ownerRunning(const Entry &entry);
    QList<Entry> load() const;
    void store(const QList<Entry> &list) const;
};

#endif
