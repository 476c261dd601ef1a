#include "WMBC_ZV_Exchange.h"

namespace WMBusMod
{

void WMBC_ZV_Exchange::Sent(int bit)
{
    state = State::AwaitAck;
    bitInFlight = bit & 1;
    // From now on an acknowledgement with that bit may be this frame's.
    doubtful[bitInFlight] = false;
}

bool WMBC_ZV_Exchange::LinkAck(FrameKind kind, int bit)
{
    if (state == State::AwaitAck && bit == bitInFlight)
    {
        // A refused frame is not carried out, so it owes no answer.
        state = answers && kind == KindAck ? State::AwaitAnswer : State::Idle;
        return true;
    }
    if (doubtful[bit & 1])
    {
        // The frame we gave up on was taken after all; a command among them will still answer.
        doubtful[bit & 1] = false;
        if (answers && kind == KindAck)
        {
            ++owed;
        }
    }
    return false;
}

bool WMBC_ZV_Exchange::Answer()
{
    if (!answers)
    {
        return true;
    }
    if (owed > 0)
    {
        --owed;
        return false;
    }
    if (state != State::AwaitAnswer)
    {
        return false;
    }
    state = State::Idle;
    return true;
}

void WMBC_ZV_Exchange::AckTimedOut()
{
    if (state == State::AwaitAck)
    {
        doubtful[bitInFlight] = true;
    }
    state = State::Idle;
}

void WMBC_ZV_Exchange::AnswerTimedOut()
{
    if (state == State::AwaitAnswer)
    {
        ++owed;
    }
    state = State::Idle;
}

void WMBC_ZV_Exchange::Forget()
{
    // The frame in doubt stays so until its bit is used again: a late acknowledgement of it
    // still tells that its answer is on the way.
    state = State::Idle;
    owed = 0;
}

} // namespace WMBusMod
