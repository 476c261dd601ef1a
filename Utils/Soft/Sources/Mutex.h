#ifndef MUTEX_H
#define MUTEX_H

#include <atomic>
#include <mutex>
#include <thread>

// A plain or recursive lock that can also be taken with a time-out.
class Mutex
{
public:
    static constexpr int Plain = 0;
    static constexpr int Recursive = 1;

    // 1 = recursive, any other value = plain.
    explicit Mutex(int type = Plain);
    virtual ~Mutex();

    Mutex(const Mutex &) = delete;
    Mutex &operator=(const Mutex &) = delete;

    void Lock();
    void Unlock();
    bool TryLock();
    // Gives up after the given milliseconds (steady clock); false when it gave up.
    bool TimedLock(unsigned int milliseconds);

    bool IsRecursive() const { return type == Recursive; }

protected:
    // Condition waits together with this lock.
    std::timed_mutex &PlainLock() { return plain; }

private:
    int type;
    std::timed_mutex plain;
    // The full thread id, so that two threads can never be mistaken for each other.
    std::atomic<std::thread::id> owner;
    unsigned int count = 0;
    std::timed_mutex inner;
};

#endif
