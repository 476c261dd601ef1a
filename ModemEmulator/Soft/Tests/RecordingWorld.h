#ifndef MODEMEMU_TESTS_RECORDINGWORLD_H
#define MODEMEMU_TESTS_RECORDINGWORLD_H

#include "RadioWorld.h"

#include <vector>

// The radio world of a scripted module tested on its own: it keeps what the module
// transmits, and its clock stands still unless the test moves it.
class RecordingWorld : public ModemEmu::RadioWorld
{
public:
    struct Transmission
    {
        std::vector<uint8_t> frame;
        uint8_t signal;
        std::chrono::milliseconds delay;
    };
    void Transmit(const std::vector<uint8_t> &airFrame, uint8_t signal, std::chrono::milliseconds delay) override
    {
        sent.push_back({airFrame, signal, delay});
    }
    ModemEmu::Clock::time_point Now() const override { return now; }

    std::vector<Transmission> sent;
    ModemEmu::Clock::time_point now{};
};

#endif
