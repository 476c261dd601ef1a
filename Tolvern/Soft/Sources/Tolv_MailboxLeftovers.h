#ifndef TOLV_MAILBOXLEFTOVERS_H
#define TOLV_MAILBOXLEFTOVERS_H

#include "WMBC_Interface.h"

namespace Tolv
{

// One Tolvern at a time owns the modem, so whatever is pending before a task queues its first
// message was left by an earlier run that was killed outright. Deletes all of it, logs how many
// when there were any, and returns the number. Costs one modem command when nothing is pending
// (more only when the modem did not tell its mailbox capacity: then every id is asked about).
int WithdrawLeftovers(WMBusMod::WMBC_Interface &modem);

} // namespace Tolv

#endif
