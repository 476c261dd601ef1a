#ifndef MODEMEMU_FRAMEREADER_H
#define MODEMEMU_FRAMEREADER_H

#include "ModemFrame.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace ModemEmu
{

using Clock = std::chrono::steady_clock;

// What the modem made of the bytes the host wrote.
struct ReadEvent
{
    enum Type
    {
        Frame,     // a frame with a good CRC and stop byte
        BadStop,   // good CRC, but the byte after it is not F5 (the frame is still usable)
        BadCrc,    // CRC mismatch; the frame is dropped
        BadLength, // L below 3; start and length bytes dropped
        Garbage,   // bytes outside any frame
        Truncated  // a frame that stopped arriving before its end
    };
    Type type;
    ModemFrame frame;         // Frame and BadStop
    std::vector<uint8_t> raw; // the bytes concerned, as received
};

// Incremental, strict parser of the host's byte stream. Bytes may arrive in
// any split; a frame that stalls longer than the stall time is given up.
class FrameReader
{
public:
    explicit FrameReader(Clock::duration stallTime = std::chrono::milliseconds(200)) : stallTime_(stallTime) {}

    std::vector<ReadEvent> Feed(const uint8_t *bytes, size_t count, Clock::time_point now);
    // Gives up a partial frame that has not grown for the stall time.
    std::vector<ReadEvent> Expire(Clock::time_point now);
    bool InFrame() const { return !partial_.empty(); }
    Clock::time_point LastByteTime() const { return lastByte_; }
    Clock::duration StallTime() const { return stallTime_; }

private:
    void FlushGarbage(std::vector<ReadEvent> &events);
    void TryComplete(std::vector<ReadEvent> &events);

    Clock::duration stallTime_;
    std::vector<uint8_t> partial_; // from the start byte on
    std::vector<uint8_t> garbage_;
    Clock::time_point lastByte_{};
};

} // namespace ModemEmu

#endif
