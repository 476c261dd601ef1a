#ifndef TOLV_STOPREQUEST_H
#define TOLV_STOPREQUEST_H

#include <chrono>
#include <stdexcept>
#include <string>

namespace Tolv
{

// A run asked to stop (SIGTERM, SIGINT, SIGHUP) while its task was still going: thrown from the
// task's next wait, so that the run can take back what it left in the modem's mailbox.
class RunStopped : public std::runtime_error
{
public:
    explicit RunStopped(int signalNumber);
    int Signal() const { return signal_; }

private:
    int signal_;
};

// From here on SIGTERM, SIGINT and SIGHUP only note that the run is to stop; the main thread
// notices it in its waits. Nothing else happens inside the handler.
void InstallStopHandlers();

// The signal that asked the run to stop; 0 while none did.
int StopSignal();
// Throws RunStopped once a stop was asked for.
void ThrowIfStopRequested();
// Sleeps for duration, waking at once when a stop is asked for; false then.
bool PauseUnlessStopped(std::chrono::milliseconds duration);
// The same, and RunStopped in place of false.
void PauseOrThrow(std::chrono::milliseconds duration);

// Ends the process by signalNumber as if no handler had been installed: a run that left nothing
// behind in the mailbox ends the way it always did.
[[noreturn]] void EndBySignal(int signalNumber);

// For tests: forget a stop that was asked for.
void ResetStopRequest();

} // namespace Tolv

#endif
