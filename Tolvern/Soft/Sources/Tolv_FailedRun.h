#ifndef TOLV_FAILEDRUN_H
#define TOLV_FAILEDRUN_H

#include "Tolv_MailboxLedger.h"
#include "WMBC_Interface.h"

#include <exception>

namespace Tolv
{

// What main does with a task that ended without its answer (an error, a time-out, a stop), before
// it reports the failure: takes back each message of the run still pending in the mailbox and
// says so; a message already handed out cannot be called back, and then the line says that the
// request went out and no answer came. Errors of the modem on the way are logged, never thrown,
// so that the failure itself is still reported. modem may be null (set-up failed).
void WithdrawAfterFailure(WMBusMod::WMBC_Interface *modem, MailboxLedger &ledger);

// The signal of a stop request, when failure is one; 0 otherwise.
int StoppedBy(const std::exception &failure);

} // namespace Tolv

#endif
