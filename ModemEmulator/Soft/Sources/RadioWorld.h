#ifndef MODEMEMU_RADIOWORLD_H
#define MODEMEMU_RADIOWORLD_H

#include "FrameReader.h"

#include <chrono>
#include <cstdint>
#include <vector>

namespace ModemEmu
{

// What a scripted module can do on the air. Handed to the module on the
// emulator's thread; a module must not keep it beyond the call.
class RadioWorld
{
public:
    virtual ~RadioWorld() = default;

    // Sends an air frame (L C M A CI ..., L counting the bytes after it) that
    // the modem receives `delay` from now and passes to the host on channel 1
    // with `signal` appended and L increased by one to count it.
    virtual void Transmit(const std::vector<uint8_t> &airFrame, uint8_t signal,
                          std::chrono::milliseconds delay = std::chrono::milliseconds(0)) = 0;
    virtual Clock::time_point Now() const = 0;
};

} // namespace ModemEmu

#endif
