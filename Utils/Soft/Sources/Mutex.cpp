#include "Mutex.h"

#include <chrono>

Mutex::Mutex(int type) : type(type), owner(std::thread::id()) {}

Mutex::~Mutex() = default;

void Mutex::Lock()
{
    if (!IsRecursive())
    {
        plain.lock();
        return;
    }
    if (owner.load() == std::this_thread::get_id())
    {
        ++count;
        return;
    }
    inner.lock();
    owner.store(std::this_thread::get_id());
    count = 1;
}

void Mutex::Unlock()
{
    if (!IsRecursive())
    {
        plain.unlock();
        return;
    }
    // An unlock by a thread that does not own the lock would corrupt another
    // owner's count; it is a caller's fault and is ignored.
    if (owner.load() != std::this_thread::get_id())
        return;
    if (--count == 0)
    {
        owner.store(std::thread::id());
        inner.unlock();
    }
}

bool Mutex::TryLock()
{
    if (!IsRecursive())
        return plain.try_lock();
    if (owner.load() == std::this_thread::get_id())
    {
        ++count;
        return true;
    }
    if (!inner.try_lock())
        return false;
    owner.store(std::this_thread::get_id());
    count = 1;
    return true;
}

bool Mutex::TimedLock(unsigned int milliseconds)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    if (!IsRecursive())
        return plain.try_lock_until(deadline);
    if (owner.load() == std::this_thread::get_id())
    {
        ++count;
        return true;
    }
    if (!inner.try_lock_until(deadline))
        return false;
    owner.store(std::this_thread::get_id());
    count = 1;
    return true;
}
