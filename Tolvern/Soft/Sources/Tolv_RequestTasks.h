#ifndef TOLV_REQUESTTASKS_H
#define TOLV_REQUESTTASKS_H

#include "Tolv_MissingFrameList.h"
#include "WMBC_Interface.h"

namespace Tolv
{

class Config;

// Answer windows that main gives the two tasks, in seconds.
constexpr int GetLogsSeconds = 30;
constexpr int MissingFrameSeconds = 10;

// Task 7: asks the module for its logs and prints every frame that comes until its log answer;
// throws "No response from module" when none comes within seconds.
void GetLogs(WMBusMod::WMBC_Interface &driver, Config &config, int seconds);
// Task 2: asks the module to send missing frames again (list in config.OptFile)
// and prints every frame that comes until its answer. A list, key or address that
// cannot make a request is refused before the mailbox is touched. Throws the reason
// when the request could not be sent in five attempts, and "No response from module"
// when no answer comes within seconds.
void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, int seconds);

// The two tasks with the answer windows of main, for the task table.
void GetLogsTask(WMBusMod::WMBC_Interface &driver, Config &config);
void MissingFrameTask(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
