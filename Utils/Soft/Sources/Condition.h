#ifndef CONDITION_H
#define CONDITION_H

#include "Mutex.h"

#include <chrono>
#include <condition_variable>

// A plain lock with a condition variable; the waiter holds the lock (Lock or
// ScopedLock) around TimedWait and re-checks its queue in a loop.
class Condition : public Mutex
{
public:
    // Waiting needs the plain lock, so the lock is plain whatever type is given.
    explicit Condition(int type = Mutex::Plain);
    ~Condition() override;

    // Releases the lock, waits until notified or the time is up, takes the lock
    // again. True when woken (possibly spuriously), false when the time passed.
    bool TimedWait(unsigned int milliseconds);
    // The same against a deadline computed once by a caller that waits in a loop.
    bool TimedWaitUntil(std::chrono::steady_clock::time_point deadline);
    void NotifyOne();
    void NotifyAll();

private:
    std::condition_variable_any condition;
};

#endif
