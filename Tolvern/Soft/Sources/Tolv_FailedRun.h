#ifndef TOLV_FAILEDRUN_H
#define TOLV_FAILEDRUN_H

#include "Tolv_MailboxLedger.h"
#include "WMBC_Interface.h"

#include <exception>

namespace Tolv
{

// What a run does when the answer it waited for did not come (a request's wait ran out, or the
// task ended on an error, a time-out or a stop, before main reports the failure): takes back
// each of its messages still pending in the mailbox and says so; a message already handed out
// cannot be called back, and then the line says that the request went out and no answer came.
// Errors of the modem on the way are logged, never thrown, so that the failure itself is still
// reported. modem may be null (set-up failed).
void WithdrawAfterFailure(WMBusMod::WMBC_Interface *modem, MailboxLedger &ledger);

// The signal of a stop request, when failure is one; 0 otherwise.
int StoppedBy(const std::exception &failure);

} // namespace Tolv

#endif
