#ifndef TOLV_TESTS_LISTENPROCESS_H
#define TOLV_TESTS_LISTENPROCESS_H

#include "TempDir.h"

#include <sys/resource.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

// A run of the built Tolvern that keeps going (the listen task never ends):
// started at once, its standard output collected in a file, ended by Kill as
// the GUI ends it. TOLVERN_SYSTEM_ROOT points at a folder of the run's own,
// so the gateway helpers never touch the real system.
class ListenProcess
{
public:
    explicit ListenProcess(const std::vector<std::string> &args);
    ~ListenProcess();
    ListenProcess(const ListenProcess &) = delete;
    ListenProcess &operator=(const ListenProcess &) = delete;

    // Standard output so far.
    std::string Output() const;
    // Polls the output until done holds; false when the time ran out first.
    bool WaitFor(const std::function<bool(const std::string &)> &done, std::chrono::milliseconds timeout) const;
    // Waits for the program to end by itself; its exit code, or -1 when it did not end in time.
    int WaitExit(std::chrono::milliseconds timeout);
    // Ends the program with SIGKILL (when it still runs) and reaps it.
    void Kill();
    // Sends a signal to the running program and leaves it to end by itself (see WaitExit).
    void Signal(int signalNumber);
    bool Running() const { return pid_ > 0; }
    // CPU time the ended program used (valid after Kill or WaitExit).
    const rusage &Usage() const { return usage_; }

private:
    TempDir files_; // output, errors and the system root
    std::string outPath_;
    pid_t pid_ = -1;
    rusage usage_{};
};

#endif
