#ifndef SCOPEDLOCK_H
#define SCOPEDLOCK_H

class Mutex;

// Holds a Mutex for the lifetime of the guard.
class ScopedLock
{
public:
    explicit ScopedLock(Mutex &mutex);
    ~ScopedLock();

    ScopedLock(const ScopedLock &) = delete;
    ScopedLock &operator=(const ScopedLock &) = delete;

private:
    Mutex *mutex;
};

#endif
