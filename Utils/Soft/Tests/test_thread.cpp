#include "LogCapture.h"
#include "PosixException.h"
#include "Thread.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>
#include <thread>

namespace
{

using std::chrono::milliseconds;

// Runs until asked to stop; counts its bodies.
class Worker : public Thread
{
public:
    Worker() : Thread("MRDR") {}
    ~Worker() override { Stop(); }

    void Run() override
    {
        ++bodies;
        seenArgument = GetArgument();
        started = true;
        while (!IsStopRequested())
            std::this_thread::sleep_for(milliseconds(1));
    }

    std::atomic<int> bodies{0};
    std::atomic<bool> started{false};
    std::atomic<void *> seenArgument{nullptr};
};

void WaitFor(const std::atomic<bool> &flag)
{
    for (int i = 0; i < 10000 && !flag; ++i)
        std::this_thread::sleep_for(milliseconds(1));
}

TEST(ThreadTest, StartTwiceWhileRunningThrowsAndRunsOneBody)
{
    Worker worker;
    int argument = 0;
    worker.Start(&argument, false);
    // Straight away, before the body has had a chance to begin.
    try
    {
        worker.Start(nullptr, false);
        FAIL() << "second Start did not throw";
    }
    catch (const PosixException &e)
    {
        EXPECT_STREQ(e.what(), "Thread already running");
    }
    WaitFor(worker.started);
    worker.Stop();
    EXPECT_EQ(worker.bodies, 1);
    EXPECT_EQ(worker.seenArgument, &argument);
    EXPECT_FALSE(worker.IsRunning());
}

// Returns at once; may be started again.
class OneShot : public Thread
{
public:
    OneShot() : Thread("once") {}
    ~OneShot() override { Join(); }
    void Run() override { ++bodies; }
    std::atomic<int> bodies{0};
};

TEST(ThreadTest, StartAgainAfterTheBodyReturnedRunsItAgain)
{
    OneShot once;
    once.Start(nullptr, false);
    once.Join();
    once.Start(nullptr, false); // the handle is replaced
    once.Join();
    EXPECT_EQ(once.bodies, 2);
}

class SelfJoiner : public Thread
{
public:
    SelfJoiner() : Thread("self") {}
    ~SelfJoiner() override { Join(); }
    void Run() override
    {
        Join();
        returned = true;
    }
    std::atomic<bool> returned{false};
};

TEST(ThreadTest, JoiningItselfWarnsAndReturns)
{
    LogCapture capture;
    Log::Instance().SetLevel(LogModule::Utils, LogLevel::Warning);
    {
        SelfJoiner joiner;
        joiner.Start(nullptr, false);
        WaitFor(joiner.returned);
        EXPECT_TRUE(joiner.returned);
    }
    EXPECT_EQ(capture.Text(), "Avoid joining itself\n");
}

TEST(ThreadTest, LifecycleTraceLines)
{
    LogCapture capture(LogLevel::Normal);
    Log::Instance().SetLevel(LogModule::Utils, LogLevel::Trace);
    {
        Worker worker;
        worker.Join(); // never started: only its trace line
        worker.Start(nullptr, false);
        WaitFor(worker.started);
    }
    const std::vector<std::string> expected = {
        "Thread::Thread() MRDR",        "Wait for thread termination.", "Thread::Start",     "Thread starting...",
        "Stop thread and wait for it.", "Wait for thread termination.", "Thread::~Thread()",
    };
    EXPECT_EQ(capture.Lines(), expected);
}

// Forgets to stop its thread in its destructor. Its body touches only the base
// part and flags outside the object: anything else would already be gone when
// the base destructor runs, which no base class can mend.
std::atomic<bool> carelessStarted{false};
std::atomic<bool> carelessDone{false};

class Careless : public Thread
{
public:
    Careless() : Thread("careless") {}
    void Run() override
    {
        carelessStarted = true;
        while (!IsStopRequested())
            std::this_thread::sleep_for(milliseconds(1));
        carelessDone = true;
    }
};

TEST(ThreadTest, DestroyingARunningThreadLeavesNoBodyOnFreedMemory)
{
    for (bool detach : {false, true})
    {
        carelessStarted = false;
        carelessDone = false;
        auto careless = std::make_unique<Careless>();
        careless->Start(nullptr, detach);
        WaitFor(carelessStarted);
        careless.reset();
        // The body had ended by the time the object was gone.
        EXPECT_TRUE(carelessDone) << "detach " << detach;
    }
}

class Thrower : public Thread
{
public:
    Thrower() : Thread("thrower") {}
    ~Thrower() override { Join(); }
    void Run() override { throw std::runtime_error("body failed"); }
};

TEST(ThreadTest, AnExceptionFromTheBodyIsLoggedNotFatal)
{
    LogCapture capture;
    Thrower thrower;
    thrower.Start(nullptr, false);
    thrower.Join();
    EXPECT_FALSE(thrower.IsRunning());
    EXPECT_NE(capture.Text().find("Thread thrower ended by exception: body failed"), std::string::npos)
        << capture.Text();
    // And it can be started again.
    thrower.Start(nullptr, false);
    thrower.Join();
}

TEST(ThreadTest, CurrentThreadIdDiffersBetweenThreads)
{
    const int main = Thread::CurrentThreadId();
    int other = main;
    std::thread([&] { other = Thread::CurrentThreadId(); }).join();
    EXPECT_GT(main, 0);
    EXPECT_NE(main, other);
}

} // namespace
