#ifndef WMBC_MAILBOXWAIT_H
#define WMBC_MAILBOXWAIT_H

#include <chrono>

namespace WMBusMod
{

// Looks at the mailbox until it has room or seconds have passed, pausing between two looks.
// Whole seconds on a steady clock: a wall clock that steps would cut the wait short or stretch it.
// True when there was room in time.
template <typename IsFull, typename Pause> bool WaitWhileMailboxFull(IsFull isFull, Pause pause, unsigned seconds)
{
    const auto start = std::chrono::steady_clock::now();
    const auto elapsed = [start]
    {
        return unsigned(
            std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count());
    };
    bool full = isFull();
    while (full && elapsed() < seconds)
    {
        pause();
        full = isFull();
    }
    return elapsed() < seconds;
}

} // namespace WMBusMod

#endif
