#include "Condition.h"
#include "Mutex.h"
#include "ScopedLock.h"

#include <atomic>
#include <chrono>
#include <future>
#include <gtest/gtest.h>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Runs f on another thread and returns its result; the other thread is the one
// that must not get the lock.
template <typename F> auto OnOtherThread(F f)
{
    return std::async(std::launch::async, f).get();
}

TEST(MutexTest, RecursiveLockStaysHeldUntilTheLastUnlock)
{
    Mutex mutex(Mutex::Recursive);
    mutex.Lock();
    mutex.Lock();
    mutex.Unlock();
    EXPECT_FALSE(OnOtherThread([&] { return mutex.TryLock(); }));
    mutex.Unlock();
    EXPECT_TRUE(OnOtherThread(
        [&]
        {
            const bool got = mutex.TryLock();
            if (got)
                mutex.Unlock();
            return got;
        }));
}

TEST(MutexTest, AnotherThreadBlocksUntilTheRecursiveLockIsFree)
{
    Mutex mutex(Mutex::Recursive);
    mutex.Lock();
    mutex.Lock();
    std::atomic<bool> acquired{false};
    std::thread other(
        [&]
        {
            mutex.Lock();
            acquired = true;
            mutex.Unlock();
        });
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_FALSE(acquired);
    mutex.Unlock();
    std::this_thread::sleep_for(milliseconds(30));
    EXPECT_FALSE(acquired);
    mutex.Unlock();
    other.join();
    EXPECT_TRUE(acquired);
}

TEST(MutexTest, TryLockAndTimedLockOnOwnedLocks)
{
    Mutex plain(Mutex::Plain);
    plain.Lock();
    EXPECT_FALSE(OnOtherThread([&] { return plain.TryLock(); }));
    plain.Unlock();

    // The owner of a recursive lock gets it again at once and must release it as often.
    Mutex recursive(Mutex::Recursive);
    recursive.Lock();
    EXPECT_TRUE(recursive.TryLock());
    EXPECT_TRUE(recursive.TimedLock(0));
    recursive.Unlock();
    recursive.Unlock();
    EXPECT_FALSE(OnOtherThread([&] { return recursive.TryLock(); }));
    recursive.Unlock();
    EXPECT_TRUE(OnOtherThread(
        [&]
        {
            const bool got = recursive.TimedLock(10);
            if (got)
                recursive.Unlock();
            return got;
        }));
}

TEST(MutexTest, TimedLockGivesUpAfterItsTime)
{
    for (int type : {Mutex::Plain, Mutex::Recursive})
    {
        Mutex mutex(type);
        mutex.Lock();
        const auto start = Clock::now();
        EXPECT_FALSE(OnOtherThread([&] { return mutex.TimedLock(100); })) << "type " << type;
        EXPECT_GE(Clock::now() - start, milliseconds(95)) << "type " << type;
        mutex.Unlock();
    }
}

TEST(MutexTest, TimedLockSucceedsWhenTheLockIsFreedInTime)
{
    Mutex mutex(Mutex::Plain);
    mutex.Lock();
    auto waiter = std::async(std::launch::async,
                             [&]
                             {
                                 const bool got = mutex.TimedLock(5000);
                                 if (got)
                                     mutex.Unlock();
                                 return got;
                             });
    std::this_thread::sleep_for(milliseconds(20));
    mutex.Unlock();
    EXPECT_TRUE(waiter.get());
}

TEST(MutexTest, UnlockByANonOwnerLeavesTheOwnersCountAlone)
{
    Mutex mutex(Mutex::Recursive);
    mutex.Lock();
    std::thread([&] { mutex.Unlock(); }).join();
    EXPECT_FALSE(OnOtherThread([&] { return mutex.TryLock(); }));
    mutex.Unlock();
}

TEST(ScopedLockTest, HoldsTheLockForItsScope)
{
    Mutex mutex(Mutex::Plain);
    {
        ScopedLock lock(mutex);
        EXPECT_FALSE(OnOtherThread([&] { return mutex.TryLock(); }));
    }
    EXPECT_TRUE(mutex.TryLock());
    mutex.Unlock();
}

TEST(ConditionTest, TimedWaitWithoutNotificationTimesOut)
{
    Condition condition(0);
    ScopedLock lock(condition);
    const auto start = Clock::now();
    EXPECT_FALSE(condition.TimedWait(50));
    EXPECT_GE(Clock::now() - start, milliseconds(45));
    // The lock is held again after the wait.
    EXPECT_FALSE(OnOtherThread([&] { return condition.TryLock(); }));
}

TEST(ConditionTest, NotifyOneWakesTheWaiterWithItsQueueFilled)
{
    Condition condition;
    int queue = 0;
    std::thread producer(
        [&]
        {
            std::this_thread::sleep_for(milliseconds(20));
            ScopedLock lock(condition);
            queue = 1;
            condition.NotifyOne();
        });
    bool notified = false;
    {
        ScopedLock lock(condition);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (queue == 0 && Clock::now() < deadline)
            notified = condition.TimedWaitUntil(deadline);
        EXPECT_EQ(queue, 1);
    }
    producer.join();
    EXPECT_TRUE(notified);
}

TEST(ConditionTest, ARecursiveTypeStillWaitsOnTheLockItsUserHolds)
{
    // The waiter locks through Lock(); if that took a different lock than the
    // wait releases, the producer could never take it.
    Condition condition(Mutex::Recursive);
    bool ready = false;
    std::thread producer(
        [&]
        {
            std::this_thread::sleep_for(milliseconds(20));
            ScopedLock lock(condition);
            ready = true;
            condition.NotifyOne();
        });
    {
        ScopedLock lock(condition);
        const auto deadline = Clock::now() + std::chrono::seconds(10);
        while (!ready && Clock::now() < deadline)
            condition.TimedWaitUntil(deadline);
        EXPECT_TRUE(ready);
    }
    producer.join();
}

} // namespace
