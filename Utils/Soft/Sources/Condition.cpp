#include "Condition.h"

Condition::Condition(int) : Mutex(Mutex::Plain) {}

Condition::~Condition() = default;

bool Condition::TimedWait(unsigned int milliseconds)
{
    // A steady deadline: a clock step must not stretch or cut the wait.
    return TimedWaitUntil(std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds));
}

bool Condition::TimedWaitUntil(std::chrono::steady_clock::time_point deadline)
{
    return condition.wait_until(PlainLock(), deadline) == std::cv_status::no_timeout;
}

void Condition::NotifyOne()
{
    condition.notify_one();
}

void Condition::NotifyAll()
{
    condition.notify_all();
}
