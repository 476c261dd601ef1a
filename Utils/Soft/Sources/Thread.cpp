#include "Thread.h"

#include "LogStatement.h"
#include "PosixException.h"

#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <sys/syscall.h>
#include <unistd.h>

// What the running thread shares with its owner. The thread keeps its own
// reference, so the end of a body never writes into a destroyed Thread.
struct Thread::State
{
    explicit State(const std::string &name) : name(name) {}

    const std::string name;
    std::atomic<bool> running{false};
    std::atomic<bool> stopRequested{false};
    std::atomic<bool> detached{false};
    std::mutex mutex;
    std::condition_variable finished;
    std::condition_variable launchedCv;
    bool active = false;   // from Start until the body has returned
    bool launched = false; // the owner has stored the handle of this run
};

Thread::Thread(const std::string &name) : state(std::make_shared<State>(name)), name(name)
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Thread::Thread() " << name;
}

Thread::~Thread()
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Thread::~Thread()";
    if (handle.joinable() && handle.get_id() == std::this_thread::get_id())
    {
        // The body destroys its own object: it touches only the shared state from now on.
        handle.detach();
        return;
    }
    {
        std::unique_lock<std::mutex> lock(state->mutex);
        if (state->active)
        {
            state->stopRequested.store(true);
            state->finished.wait(lock, [this] { return !state->active; });
        }
    }
    if (handle.joinable())
        handle.join();
}

void Thread::Start(void *argument, bool detach)
{
    LOG_LINE(LogLevel::Debug, LogModule::Utils) << "Thread::Start";
    {
        // Claimed here rather than when the new thread begins, so that a second
        // Start right after the first cannot run a second body.
        std::lock_guard<std::mutex> lock(state->mutex);
        if (state->active)
            throw PosixException("Thread already running");
        state->active = true;
        state->launched = false;
    }
    this->argument = argument;
    ReleaseHandle();
    try
    {
        handle = std::thread(&Thread::Entry, this, state);
    }
    catch (...)
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->active = false;
        throw;
    }
    if (detach)
    {
        state->detached.store(true);
        handle.detach();
    }
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->launched = true;
    }
    state->launchedCv.notify_all();
}

void Thread::ReleaseHandle()
{
    // The previous body has returned (Start checked it), so this join is short.
    if (handle.joinable())
        handle.join();
}

void Thread::Entry(Thread *self, std::shared_ptr<State> state)
{
    {
        // A body that calls Join or Stop on itself must find its own handle in
        // place, not the one the owner is still assigning.
        std::unique_lock<std::mutex> lock(state->mutex);
        state->launchedCv.wait(lock, [&state] { return state->launched; });
    }
    LOG_LINE(LogLevel::Debug, LogModule::Utils) << "Thread starting...";
    state->running.store(true);
    try
    {
        self->Run();
    }
    catch (const std::exception &e)
    {
        // An exception leaving a thread would end the whole process.
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Thread " << state->name << " ended by exception: " << e.what();
    }
    catch (...)
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Thread " << state->name << " ended by unknown exception";
    }
    {
        std::lock_guard<std::mutex> lock(state->mutex);
        state->active = false;
    }
    // Cleared after active, so that a caller who sees IsRunning() false may Start again.
    state->running.store(false);
    state->finished.notify_all();
}

void Thread::Join()
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Wait for thread termination.";
    if (!handle.joinable())
        return;
    if (handle.get_id() == std::this_thread::get_id())
    {
        LOG_LINE(LogLevel::Warning, LogModule::Utils) << "Avoid joining itself";
        return;
    }
    handle.join();
}

void Thread::RequestStop()
{
    state->stopRequested.store(true);
}

bool Thread::IsStopRequested() const
{
    return state->stopRequested.load();
}

bool Thread::IsRunning() const
{
    return state->running.load();
}

void Thread::Stop()
{
    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "Stop thread and wait for it.";
    RequestStop();
    Join();
}

int Thread::CurrentThreadId()
{
    return static_cast<int>(::syscall(SYS_gettid));
}
