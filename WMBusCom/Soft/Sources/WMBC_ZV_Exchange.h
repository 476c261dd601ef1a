#ifndef WMBC_ZV_EXCHANGE_H
#define WMBC_ZV_EXCHANGE_H

#include "WMBC_ZV_Frame.h"

namespace WMBusMod
{

// Which link acknowledgements and answers of one channel belong to the frame in flight.
// The modem's answers carry no reference to their request, so they are paired by order:
// the modem acknowledges a command before it carries it out and answers in the order the
// commands came. What cannot be paired is dropped, never handed to a later request:
// - an acknowledgement whose alternating bit is not the one of the frame in flight;
// - an answer that comes before the acknowledgement of its command, or while none is awaited;
// - as many answers as earlier commands still owe: a command whose answer timed out, or whose
//   acknowledgement came late (it was carried out after all), is answered later.
// Plain logic without locks or clocks: the link calls it under its own lock, in the order in
// which the reader took the frames from the line.
class WMBC_ZV_Exchange
{
public:
    // answers: the channel's commands are answered (the control channel), or only acknowledged.
    explicit WMBC_ZV_Exchange(bool answers) : answers(answers) {}

    // A frame with this alternating bit goes out now; its acknowledgement is awaited.
    void Sent(int bit);
    // True when this is the awaited acknowledgement (kind "ack" or "nak") of the frame in flight.
    bool LinkAck(FrameKind kind, int bit);
    // True when a data frame of the channel is the answer to the command in flight.
    bool Answer();
    // The awaited acknowledgement did not come: the modem may still carry the frame out.
    void AckTimedOut();
    // The answer did not come in time: it is still owed, and dropped when it comes.
    void AnswerTimedOut();

    // Nothing in flight and no answer owed.
    bool Settled() const { return state == State::Idle && owed == 0; }
    // Gives up on the answers owed (lost on the line, or the modem dropped them).
    void Forget();
    // A frame with this bit had no acknowledgement in time, and none with that bit came since:
    // a late one could still come, and would pass for the acknowledgement of the next frame
    // sent with the same bit.
    bool Doubtful(int bit) const { return doubtful[bit & 1]; }
    int Owed() const { return owed; }

private:
    enum class State
    {
        Idle,
        AwaitAck,
        AwaitAnswer
    };

    bool answers;
    State state = State::Idle;
    int bitInFlight = 0;
    // Per alternating bit: the last frame sent with it had no acknowledgement in time, and a late
    // one may still come.
    bool doubtful[2] = {false, false};
    int owed = 0;
};

} // namespace WMBusMod

#endif
