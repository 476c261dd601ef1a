#ifndef TOLV_MAILBOXLEDGER_H
#define TOLV_MAILBOXLEDGER_H

#include "WMBC_Interface.h"

#include <vector>

namespace Tolv
{

// The mailbox messages this run queued and still waits on. A run that ends without the answer
// it waited for takes back what the modem has not handed out yet, so that a module never acts
// on a request the user was told had failed.
class MailboxLedger
{
public:
    struct Withdrawal
    {
        int withdrawn = 0; // taken back from the mailbox: their module never got them
        int delivered = 0; // already handed to the module, which may have taken them
    };

    void Queued(int messageId);
    // The answer came: what was queued so far has done its work.
    void Answered();
    // Something was queued in this run, answered or not.
    bool QueuedAny() const { return queuedAny_; }
    bool AwaitsAnswer() const { return !waiting_.empty(); }

    // Deletes each awaited message that is still pending (CheckMailbox, DelMailbox), newest first,
    // and forgets them all. Modem errors are thrown; what was settled before stays settled.
    Withdrawal WithdrawUnanswered(WMBusMod::WMBC_Interface &modem);

private:
    std::vector<int> waiting_; // oldest first, each id once
    bool queuedAny_ = false;
};

// The ledger of this run.
MailboxLedger &RunLedger();

// Deletes each of ids that is still pending (CheckMailbox, DelMailbox), in the order given, and
// returns how many it deleted. Once as many were found as the modem's free space says it holds, the
// rest are not asked about. Modem errors are thrown.
int WithdrawPending(WMBusMod::WMBC_Interface &modem, const std::vector<int> &ids);

} // namespace Tolv

#endif
