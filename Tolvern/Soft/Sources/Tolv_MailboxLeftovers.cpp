#include "Tolv_MailboxLeftovers.h"

#include "LogStatement.h"
#include "Tolv_MailboxLedger.h"

namespace Tolv
{

namespace
{

constexpr int MailboxMessageIds = 256;

} // namespace

int WithdrawLeftovers(WMBusMod::WMBC_Interface &modem)
{
    int pending = PendingCount(modem);
    int withdrawn = 0;
    for (int id = 0; id < MailboxMessageIds && pending != 0; ++id)
    {
        if (modem.CheckMailbox(id))
        {
            if (WithdrawMessage(modem, id))
            {
                ++withdrawn;
            }
            if (pending > 0)
            {
                --pending;
            }
        }
    }
    if (withdrawn > 0)
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv)
            << "Withdrew " << withdrawn << (withdrawn == 1 ? " message" : " messages")
            << " of an earlier run from the modem's mailbox";
    }
    return withdrawn;
}

} // namespace Tolv
