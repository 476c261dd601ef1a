#ifndef TOLV_TASKTABLE_H
#define TOLV_TASKTABLE_H

#include "WMBC_Interface.h"

#include <functional>

namespace Tolv
{

class Config;

// What is left of a task once everything it takes from the user has been read and checked:
// the part that needs the module.
using TaskRun = std::function<void(WMBusMod::WMBC_Interface &, Config &)>;

// One task of the table: the routine that checks its input and returns the rest, and what
// the run does around it.
struct TaskEntry
{
    int task;
    TaskRun (*prepare)(WMBusMod::WMBC_Interface &driver, const Config &config);
    // Unless --nowait, the run first waits for the module's first frame and learns its address.
    bool waitsForFirstFrame;
    // The task reads the module address of -a (or the one learnt).
    bool addressesModule;
    // The task sends frames encrypted with the key of -k.
    bool encrypts;
};

// The entry of a task code; an unknown code is the run without a task.
const TaskEntry &FindTask(int task);

// Everything of the task that needs no module, before anyone is asked to wake one: -a when
// given, the task's own input (the missing-frame list, the template directory and template,
// the configuration file, the firmware file) and the key of a task that encrypts. Throws the
// error the task itself gives for such input, with nothing sent; otherwise returns the rest
// of the task, which works on what was read here.
TaskRun PrepareTask(const TaskEntry &entry, WMBusMod::WMBC_Interface &driver, const Config &config);

} // namespace Tolv

#endif
