#include "Tolv_FailedRun.h"

#include "LogStatement.h"
#include "Tolv_StopRequest.h"

namespace Tolv
{

void WithdrawAfterFailure(WMBusMod::WMBC_Interface *modem, MailboxLedger &ledger)
{
    if (modem == nullptr || !ledger.AwaitsAnswer())
    {
        return;
    }
    try
    {
        const MailboxLedger::Withdrawal withdrawal = ledger.WithdrawUnanswered(*modem);
        if (withdrawal.withdrawn > 0)
        {
            LOG_LINE(LogLevel::Normal, LogModule::Tolv)
                << "Withdrew " << withdrawal.withdrawn << (withdrawal.withdrawn == 1 ? " message" : " messages")
                << " from the modem's mailbox: the module never received "
                << (withdrawal.withdrawn == 1 ? "it" : "them");
        }
        if (withdrawal.delivered > 0)
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv)
                << "The request went out and no answer came: the module may have taken it";
        }
    }
    catch (const std::exception &e)
    {
        // The module may still get what stayed behind; the next run takes it back before its own.
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Pending messages not withdrawn: " << e.what();
    }
}

int StoppedBy(const std::exception &failure)
{
    const RunStopped *stopped = dynamic_cast<const RunStopped *>(&failure);
    return stopped ? stopped->Signal() : 0;
}

} // namespace Tolv
