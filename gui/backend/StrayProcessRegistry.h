#ifndef GUI_BACKEND_STRAYPROCESSREGISTRY_H
#define GUI_BACKEND_STRAYPROCESSREGISTRY_H

#include <QList>
#include <QString>
#include <functional>

// Remembers the Tolvern processes this GUI started (pid, start time, executable) in a small file of the
// preferences directory, so that a run left over by a crashed GUI can be ended later. Only a process whose
// start time and executable still match its record is ever killed: a reused pid is left alone.
class StrayProcessRegistry
{
public:
    struct Entry
    {
        qint64 pid = 0;
        quint64 startTime = 0; // clock ticks since boot, as the kernel reports it
        QString executable;
    };

    explicit StrayProcessRegistry(const QString &file);
    static QString defaultFile();

    void add(qint64 pid);
    void remove(qint64 pid);
    QList<Entry> entries() const;

    // Kills every recorded process that is still the one recorded and forgets all records; waits a
    // little for each to go. Returns how many were killed. Stops early when stop() turns true.
    int killStrays(const std::function<bool()> &stop);

    // The identity of a live process; false when it does not exist or is a zombie.
    static bool identify(qint64 pid, Entry &entry);

private:
    QString file;

    QList<Entry> load() const;
    void store(const QList<Entry> &list) const;
};

#endif
