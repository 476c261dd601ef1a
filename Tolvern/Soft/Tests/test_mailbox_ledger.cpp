// What a run takes back from the modem's mailbox, against a mailbox of the test's own: the
// messages of the run still pending, the leftovers of earlier runs, and how a stop request
// reaches the waits.
#include "StubModem.h"
#include "Tolv_MailboxLedger.h"
#include "Tolv_MailboxLeftovers.h"
#include "Tolv_RunDriver.h"
#include "Tolv_StopRequest.h"

#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <stdexcept>

namespace
{

// A mailbox of a fixed capacity that counts the commands the program sends it.
class MailboxModem : public StubModem
{
public:
    std::set<int> pending;
    unsigned capacity = 8;
    int commands = 0;
    std::vector<int> deleted;
    // A message the module takes between the program's check and its delete.
    int takenBeforeDelete = -1;
    int nextId = 1;

    int SndToMailbox(const uint8_t *, int) override
    {
        ++commands;
        pending.insert(nextId);
        return nextId++;
    }
    bool CheckMailbox(int id) override
    {
        ++commands;
        return pending.count(id) != 0;
    }
    void DelMailbox(int id) override
    {
        ++commands;
        if (id == takenBeforeDelete)
        {
            pending.erase(id);
        }
        if (pending.erase(id) == 0)
        {
            throw std::runtime_error("cmd failed");
        }
        deleted.push_back(id);
    }
    uint8_t IsReqQueueFull() override
    {
        ++commands;
        return static_cast<uint8_t>(capacity - pending.size());
    }
    unsigned MailboxCapacity() const override { return capacity; }
};

} // namespace

TEST(MailboxLedger, WithdrawsWhatIsStillPendingAndCountsWhatWentOut)
{
    MailboxModem modem;
    Tolv::MailboxLedger ledger;
    for (int id : {1, 2, 3, 4})
    {
        ledger.Queued(id);
        modem.pending.insert(id);
    }
    modem.pending.erase(1); // handed to the module
    modem.takenBeforeDelete = 2;

    const Tolv::MailboxLedger::Withdrawal withdrawal = ledger.WithdrawUnanswered(modem);
    EXPECT_EQ(withdrawal.withdrawn, 2);
    EXPECT_EQ(withdrawal.delivered, 2);
    EXPECT_EQ(modem.deleted, (std::vector<int>{4, 3})); // newest first
    EXPECT_TRUE(modem.pending.empty());
    EXPECT_FALSE(ledger.AwaitsAnswer());
    EXPECT_TRUE(ledger.QueuedAny());
}

TEST(MailboxLedger, AnsweredRequestsAreLeftAlone)
{
    MailboxModem modem;
    Tolv::MailboxLedger ledger;
    ledger.Queued(7);
    ledger.Answered();
    modem.pending.insert(7);
    const Tolv::MailboxLedger::Withdrawal withdrawal = ledger.WithdrawUnanswered(modem);
    EXPECT_EQ(withdrawal.withdrawn + withdrawal.delivered, 0);
    EXPECT_EQ(modem.commands, 0);
}

TEST(MailboxLedger, LongUpdateCostsOneQueryOnceNothingIsPending)
{
    MailboxModem modem;
    Tolv::MailboxLedger ledger;
    // Ids come round again: each counts once.
    for (int n = 0; n < 700; ++n)
    {
        ledger.Queued(1 + n % 255);
    }
    const Tolv::MailboxLedger::Withdrawal withdrawal = ledger.WithdrawUnanswered(modem);
    EXPECT_EQ(withdrawal.withdrawn, 0);
    EXPECT_EQ(withdrawal.delivered, 255);
    EXPECT_EQ(modem.commands, 1);
}

TEST(MailboxLeftovers, AllAreWithdrawnAndAnEmptyMailboxCostsOneCommand)
{
    MailboxModem modem;
    EXPECT_EQ(Tolv::WithdrawLeftovers(modem), 0);
    EXPECT_EQ(modem.commands, 1);

    modem.pending = {3, 200, 17};
    modem.commands = 0;
    EXPECT_EQ(Tolv::WithdrawLeftovers(modem), 3);
    EXPECT_TRUE(modem.pending.empty());
    // The search stops at the last one it knew of.
    EXPECT_EQ(modem.commands, 1 + 201 + 3);

    // A modem that never told its capacity is asked about every id.
    modem.capacity = 0;
    modem.commands = 0;
    EXPECT_EQ(Tolv::WithdrawLeftovers(modem), 0);
    EXPECT_EQ(modem.commands, 256);
}

TEST(RunDriver, RecordsWhatItQueuesAndStopsAtTheNextCallOnceAsked)
{
    MailboxModem modem;
    Tolv::MailboxLedger ledger;
    Tolv::RunDriver run(modem, ledger);
    const uint8_t frame[12] = {};
    const int id = run.SndToMailbox(frame, sizeof frame);
    EXPECT_TRUE(ledger.AwaitsAnswer());

    Tolv::InstallStopHandlers();
    std::raise(SIGTERM);
    uint8_t buffer[255];
    int size = sizeof buffer;
    try
    {
        run.ReceiveFrame(buffer, size, 600000);
        ADD_FAILURE() << "the wait went on after the stop";
    }
    catch (const Tolv::RunStopped &e)
    {
        EXPECT_STREQ(e.what(), "Run stopped by SIGTERM");
    }
    EXPECT_THROW(run.SndToMailbox(frame, sizeof frame), Tolv::RunStopped);
    EXPECT_THROW(run.WaitMailboxSpace(60), Tolv::RunStopped);
    EXPECT_FALSE(Tolv::PauseUnlessStopped(std::chrono::seconds(600)));
    EXPECT_EQ(modem.pending, std::set<int>{id}); // nothing more reached the modem
    Tolv::ResetStopRequest();
}
