#include "Tolv_MailboxLeftovers.h"

#include "LogStatement.h"
#include "Tolv_MailboxLedger.h"

#include <numeric>
#include <vector>

namespace Tolv
{

namespace
{

constexpr int MailboxMessageIds = 256;

} // namespace

int WithdrawLeftovers(WMBusMod::WMBC_Interface &modem)
{
    std::vector<int> ids(MailboxMessageIds);
    std::iota(ids.begin(), ids.end(), 0);
    const int withdrawn = WithdrawPending(modem, ids);
    if (withdrawn > 0)
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv)
            << "Withdrew " << withdrawn << (withdrawn == 1 ? " message" : " messages")
            << " of an earlier run from the modem's mailbox";
    }
    return withdrawn;
}

} // namespace Tolv
