#include "Tolv_StopRequest.h"

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace Tolv
{

namespace
{

// Written by the handler, read by the main thread: a lock-free atomic is safe in both places.
std::atomic<int> requestedBy{0};
static_assert(ATOMIC_INT_LOCK_FREE == 2, "the stop flag must be lock-free to be set from a signal handler");

constexpr int StopSignals[] = {SIGTERM, SIGINT, SIGHUP};
// How long a wait sleeps between two looks at the flag.
constexpr std::chrono::milliseconds LookInterval{50};

extern "C" void NoteStop(int signalNumber)
{
    requestedBy.store(signalNumber, std::memory_order_relaxed);
}

std::string SignalName(int signalNumber)
{
    switch (signalNumber)
    {
    case SIGTERM:
        return "SIGTERM";
    case SIGINT:
        return "SIGINT";
    case SIGHUP:
        return "SIGHUP";
    default:
        return "signal " + std::to_string(signalNumber);
    }
}

} // namespace

RunStopped::RunStopped(int signalNumber)
    : std::runtime_error("Run stopped by " + SignalName(signalNumber)), signal_(signalNumber)
{
}

void InstallStopHandlers()
{
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = NoteStop;
    sigemptyset(&action.sa_mask);
    // The reader thread's port reads go on after the handler instead of failing.
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : StopSignals)
    {
        sigaction(signalNumber, &action, nullptr);
    }
}

int StopSignal()
{
    return requestedBy.load(std::memory_order_relaxed);
}

void ThrowIfStopRequested()
{
    if (const int signalNumber = StopSignal())
    {
        throw RunStopped(signalNumber);
    }
}

bool PauseUnlessStopped(std::chrono::milliseconds duration)
{
    const auto end = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < end; now = std::chrono::steady_clock::now())
    {
        if (StopSignal() != 0)
        {
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(end - now, LookInterval));
    }
    return StopSignal() == 0;
}

void PauseOrThrow(std::chrono::milliseconds duration)
{
    if (!PauseUnlessStopped(duration))
    {
        ThrowIfStopRequested();
    }
}

void EndBySignal(int signalNumber)
{
    std::signal(signalNumber, SIG_DFL);
    std::raise(signalNumber);
    std::_Exit(128 + signalNumber); // only if the signal was blocked
}

void ResetStopRequest()
{
    requestedBy.store(0, std::memory_order_relaxed);
}

} // namespace Tolv
