#include "Tolv_MailboxLedger.h"

#include "LogStatement.h"

#include <algorithm>

namespace Tolv
{

namespace
{

// Deletes a pending message; false when the modem had handed it out just before.
bool WithdrawMessage(WMBusMod::WMBC_Interface &modem, int messageId)
{
    try
    {
        modem.DelMailbox(messageId);
    }
    catch (const WMBusMod::ModemDisconnected &)
    {
        throw;
    }
    catch (const std::runtime_error &)
    {
        // Handed to its module between the check and the delete.
        if (modem.CheckMailbox(messageId))
        {
            throw;
        }
        return false;
    }
    LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Delete message " << messageId << " from the message queue";
    return true;
}

// How many messages are pending by the free space, or -1 when the modem did not tell its capacity.
int PendingCount(WMBusMod::WMBC_Interface &modem)
{
    const unsigned capacity = modem.MailboxCapacity();
    if (capacity == 0)
    {
        return -1;
    }
    const unsigned free = modem.IsReqQueueFull();
    return free >= capacity ? 0 : static_cast<int>(capacity - free);
}

} // namespace

void MailboxLedger::Queued(int messageId)
{
    queuedAny_ = true;
    // The modem hands an id out again only once its message is gone, so the newest use counts.
    waiting_.erase(std::remove(waiting_.begin(), waiting_.end(), messageId), waiting_.end());
    waiting_.push_back(messageId);
}

void MailboxLedger::Answered()
{
    waiting_.clear();
}

MailboxLedger::Withdrawal MailboxLedger::WithdrawUnanswered(WMBusMod::WMBC_Interface &modem)
{
    std::vector<int> waiting;
    waiting.swap(waiting_);
    Withdrawal result;
    if (waiting.empty())
    {
        return result;
    }
    result.withdrawn = WithdrawPending(modem, std::vector<int>(waiting.rbegin(), waiting.rend()));
    result.delivered = static_cast<int>(waiting.size()) - result.withdrawn;
    return result;
}

MailboxLedger &RunLedger()
{
    static MailboxLedger ledger;
    return ledger;
}

int WithdrawPending(WMBusMod::WMBC_Interface &modem, const std::vector<int> &ids)
{
    // Known pending count: no need to ask about the messages of a long update one by one.
    int pending = PendingCount(modem);
    int withdrawn = 0;
    for (auto id = ids.begin(); id != ids.end() && pending != 0; ++id)
    {
        if (!modem.CheckMailbox(*id))
        {
            continue;
        }
        if (WithdrawMessage(modem, *id))
        {
            ++withdrawn;
        }
        if (pending > 0)
        {
            --pending;
        }
    }
    return withdrawn;
}

} // namespace Tolv
