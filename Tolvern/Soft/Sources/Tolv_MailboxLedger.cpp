#include "Tolv_MailboxLedger.h"

#include "LogStatement.h"

#include <algorithm>

namespace Tolv
{

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
    // Known pending count: no need to ask about the messages of a long update one by one.
    int pending = PendingCount(modem);
    for (auto id = waiting.rbegin(); id != waiting.rend(); ++id)
    {
        if (pending != 0 && modem.CheckMailbox(*id) && WithdrawMessage(modem, *id))
        {
            ++result.withdrawn;
            if (pending > 0)
            {
                --pending;
            }
        }
        else
        {
            ++result.delivered;
        }
    }
    return result;
}

MailboxLedger &RunLedger()
{
    static MailboxLedger ledger;
    return ledger;
}

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

} // namespace Tolv
