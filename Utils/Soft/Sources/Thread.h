#ifndef THREAD_H
#define THREAD_H

#include <memory>
#include <string>
#include <thread>

// Worker-thread base class: a subclass supplies Run(). Stopping is cooperative:
// RequestStop(), Run() polls IsStopRequested() and returns, then Join().
// A subclass stops and joins its thread in its own destructor.
class Thread
{
public:
    explicit Thread(const std::string &name);
    // Should the body still run (a subclass forgot to stop it), asks it to stop
    // and waits for it, so that it never runs on a destroyed object.
    virtual ~Thread();

    Thread(const Thread &) = delete;
    Thread &operator=(const Thread &) = delete;

    // Throws PosixException("Thread already running") while a body started
    // earlier has not returned yet.
    void Start(void *argument = nullptr, bool detach = false);
    virtual void Run() = 0;
    void Join();
    void RequestStop();
    bool IsStopRequested() const;
    bool IsRunning() const;
    void Stop();
    const std::string &GetName() const { return name; }

    static int CurrentThreadId();

protected:
    void *GetArgument() const { return argument; }

private:
    struct State;
    static void Entry(Thread *self, std::shared_ptr<State> state);
    void ReleaseHandle();

    // Shared with the running thread, which touches only this after Run() returns.
    std::shared_ptr<State> state;
    void *argument = nullptr;
    std::thread handle;
    std::string name;
};

#endif
