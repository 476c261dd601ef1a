#ifndef CONDITION_H
#define CONDITION_H

#include "Mutex.h"

#include <chrono>
#include <pthread.h>

// A plain lock with a condition variable; the waiter holds the lock (Lock or
// ScopedLock) around TimedWait and re-checks its queue in a loop. The variable
// waits on the lock itself, with no lock of its own in between, so a notifier
// never holds anything a woken waiter has to wait for again.
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
    pthread_cond_t condition;
};

#endif
