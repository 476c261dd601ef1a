#ifndef TOLV_REQUESTTASKS_H
#define TOLV_REQUESTTASKS_H

#include "WMBC_Interface.h"
#include "WMBH_Frame.h"

#include <string>
#include <vector>

namespace Tolv
{

class Config;

// Answer windows that main gives the two tasks, in seconds.
constexpr int GetLogsSeconds = 30;
constexpr int MissingFrameSeconds = 10;

// What the missing-frame list of -f holds: the access number of the missing
// frame and the ranges of frames to send again. offset and count are the last
// values read (or the defaults); only complete pairs enter ranges.
struct MissingFrameList
{
    int acc = 23;
    unsigned offset = 4;
    int count = 2;
    std::vector<MissingFrameRange> ranges;
};

// Decimal numbers separated by single commas: the access number, then offset
// and count pairs. Reading stops at the first number that is not there.
MissingFrameList ParseMissingFrameList(const std::string &text);

// Task 7: asks the module for its logs and prints every frame that comes until its log answer;
// throws "No response from module" when none comes within seconds.
void GetLogs(WMBusMod::WMBC_Interface &driver, Config &config, int seconds);
// Task 2: asks the module to send missing frames again (list in config.OptFile)
// and prints every frame that comes until its answer. Throws the reason when the
// request could not be sent in five attempts, and "No response from module" when
// no answer comes within seconds.
void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, int seconds);

// The two tasks with the answer windows of main, for the task table.
void GetLogsTask(WMBusMod::WMBC_Interface &driver, Config &config);
void MissingFrameTask(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
