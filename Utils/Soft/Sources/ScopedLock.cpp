#include "ScopedLock.h"

#include "Mutex.h"

ScopedLock::ScopedLock(Mutex &mutex) : mutex(&mutex)
{
    mutex.Lock();
}

ScopedLock::~ScopedLock()
{
    mutex->Unlock();
}
