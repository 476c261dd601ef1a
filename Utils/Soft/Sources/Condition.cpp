#include "Condition.h"

#include <ctime>

Condition::Condition(int) : Mutex(Mutex::Plain)
{
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    // Deadlines on the steady clock: a clock step must not stretch or cut a wait.
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

Condition::~Condition()
{
    pthread_cond_destroy(&condition);
}

bool Condition::TimedWait(unsigned int milliseconds)
{
    return TimedWaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool Condition::TimedWaitUntil(std::chrono::steady_clock::time_point deadline)
{
    // The steady clock is CLOCK_MONOTONIC, the clock the condition waits on.
    const auto sinceEpoch =
        std::chrono::duration_cast<std::chrono::nanoseconds>(deadline.time_since_epoch()).count();
    timespec until{};
    if (sinceEpoch > 0)
    {
        until.tv_sec = static_cast<time_t>(sinceEpoch / 1000000000);
        until.tv_nsec = static_cast<long>(sinceEpoch % 1000000000);
    }
    return pthread_cond_timedwait(&condition, PlainLock().native_handle(), &until) == 0;
}

void Condition::NotifyOne()
{
    pthread_cond_signal(&condition);
}

void Condition::NotifyAll()
{
    pthread_cond_broadcast(&condition);
}
