#ifndef MODEMEMU_FAULT_H
#define MODEMEMU_FAULT_H

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ModemEmu
{

enum class FaultKind
{
    // Mangling of frames the modem sends (data frames unless `onAcks`).
    BadCrc,   // the CRC low byte is inverted
    Garbage,  // `garbage` bytes go out before the frame
    CutShort, // only the first `keepBytes` bytes go out

    // The link answer to data frames from the host.
    NoAck,   // the frame is neither acknowledged nor processed, as if lost on the line
    LateAck, // acknowledged after `delay`, then processed
    Nak,     // refused with a NAK and not processed

    // Answers to commands on channel 0 (the command itself is carried out).
    LateAnswer, // the answer goes out `delay` later than usual
    NoAnswer,   // no answer at all

    // Host frames are ignored and nothing at all goes out while it lasts.
    Silent,

    // A command is answered only after `events` frames on channel 2, as a modem with one
    // output queue does when a burst of events comes first (the command is carried out).
    EventBurst
};

// One switchable fault. It applies to the next `count` matching frames and
// then disappears; count 0 keeps it until cleared.
struct Fault
{
    FaultKind kind = FaultKind::BadCrc;
    int count = 1;
    int channel = -1;    // only frames of this channel; -1 any
    int command = -1;    // channel 0 only: first payload byte (ModemCommand); -1 any
    int param = -1;      // "read"/"write" only: parameter id; -1 any
    bool onAcks = false; // BadCrc, Garbage, CutShort: mangle link acknowledgements instead of data frames
    std::chrono::milliseconds delay{1500};
    std::vector<uint8_t> garbage{0x00, 0x55, 0xAA, 0x13};
    size_t keepBytes = 4;
    size_t events = 400;
};

// Parses "kind[@channel][:count[:arg]]" as the program's --fault option takes it:
// kinds bad-crc, garbage, cut-short, no-ack, late-ack, nak, late-answer,
// no-answer, silent, event-burst; arg is the delay in ms (late-*), the bytes
// kept (cut-short), the garbage bytes in hex or the number of events (event-burst). Throws std::invalid_argument.
Fault ParseFault(const std::string &text);
const char *FaultKindName(FaultKind kind);

} // namespace ModemEmu

#endif
