#include "WMBC_ZV_Exchange.h"

#include <gtest/gtest.h>
#include <sstream>
#include <string>

using namespace WMBusMod;

namespace
{

// Plays a script on the control channel's exchange and writes, for every acknowledgement and
// answer, "+" when it is taken for the frame in flight and "-" when it is dropped.
// Steps: S0/S1 send with that bit, A0/A1 acknowledgement, N0/N1 refusal, R answer,
// TA acknowledgement timed out, TR answer timed out, F forget.
std::string Play(const std::string &script, bool answers = true)
{
    WMBC_ZV_Exchange exchange(answers);
    std::istringstream steps(script);
    std::string taken;
    for (std::string step; steps >> step;)
    {
        const int bit = step.size() > 1 ? step[1] - '0' : 0;
        if (step[0] == 'S')
            exchange.Sent(bit);
        else if (step[0] == 'A' || step[0] == 'N')
            taken += exchange.LinkAck(step[0] == 'A' ? KindAck : KindNak, bit) ? '+' : '-';
        else if (step == "R")
            taken += exchange.Answer() ? '+' : '-';
        else if (step == "TA")
            exchange.AckTimedOut();
        else if (step == "TR")
            exchange.AnswerTimedOut();
        else if (step == "F")
            exchange.Forget();
    }
    return taken;
}

} // namespace

TEST(WMBC_ZV_Exchange, PairsAcknowledgementsAndAnswersWithTheFrameInFlight)
{
    struct Case
    {
        const char *name;
        const char *script;
        const char *taken;
    };
    const Case cases[] = {
        {"one exchange", "S0 A0 R", "++"},
        {"two in a row", "S0 A0 R S1 A1 R", "++++"},
        {"acknowledgement with the other bit", "S0 A1 A0 R", "-++"},
        {"answer before the acknowledgement", "S0 R A0 R", "-++"},
        {"answer while nothing was sent", "R S0 A0 R", "-++"},
        {"a refused command owes no answer", "S0 N0 R S1 A1 R", "+-++"},
        {"late answer dropped, the next one taken", "S0 A0 TR S1 A1 R R", "++-+"},
        {"late answer before the next command", "S0 A0 TR R S1 A1 R", "+-++"},
        {"late acknowledgement: its answer is owed", "S0 TA A0 R S1 A1 R", "--++"},
        {"late acknowledgement after the next send", "S0 TA S1 A0 A1 R R", "-+-+"},
        {"late refusal owes nothing", "S0 TA N0 S1 A1 R", "-++"},
        {"forgotten debts do not swallow answers", "S0 A0 TR F S1 A1 R", "+++"},
        {"a second acknowledgement is stale", "S0 A0 A0 R", "+-+"},
        {"late acknowledgement after giving up on it", "S0 TA F S1 A0 A1 R R", "-+-+"},
        {"its bit used again: no longer in doubt", "S0 TA S1 A1 R S0 A0 R", "++++"},
        // Both frames in doubt: the first one's late acknowledgement still tells its answer is owed.
        {"two frames in doubt, the first acknowledged late", "S0 TA S1 TA A0 S0 A0 R R", "-+-+"},
    };
    for (const Case &c : cases)
    {
        EXPECT_EQ(Play(c.script), c.taken) << c.name << ": " << c.script;
    }
}

TEST(WMBC_ZV_Exchange, EachBitStaysInDoubtUntilItsAcknowledgementOrItsNextFrame)
{
    WMBC_ZV_Exchange exchange(true);
    exchange.Sent(0);
    exchange.AckTimedOut();
    exchange.Sent(1);
    exchange.AckTimedOut();
    EXPECT_TRUE(exchange.Doubtful(0));
    EXPECT_TRUE(exchange.Doubtful(1));
    EXPECT_FALSE(exchange.LinkAck(KindAck, 0));
    EXPECT_FALSE(exchange.Doubtful(0));
    EXPECT_EQ(exchange.Owed(), 1);
    exchange.Sent(1);
    EXPECT_FALSE(exchange.Doubtful(1));
}

// Radio frames are only acknowledged: every data frame on such a channel is the modem's own.
TEST(WMBC_ZV_Exchange, ChannelsWithoutAnswersOnlyCheckTheBit)
{
    EXPECT_EQ(Play("R S0 A1 A0 R TR R", false), "+-+++");
}
