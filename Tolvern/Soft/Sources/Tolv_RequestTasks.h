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
// The missing-frame list of config.OptFile, read and checked with nothing sent: a list that is
// no list (ParseMissingFrameList), or that does not fit in one request frame once encrypted with
// config.OptKey, is refused, as is a key or an address that cannot make the request.
MissingFrameList CheckMissingFrameList(WMBusMod::WMBC_Interface &driver, const Config &config);

// Task 2: asks the module to send missing frames again and prints every frame that comes until
// its answer. A key or address that cannot make a request is refused before the mailbox is
// touched. Throws the reason when the request could not be sent in five attempts, and "No
// response from module" when no answer comes within seconds.
void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, const MissingFrameList &list, int seconds);
// The same with the list of config.OptFile, checked first.
void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, int seconds);

// Task 7 with the answer window of main, for the task table.
void GetLogsTask(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
