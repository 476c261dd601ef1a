#ifndef MODEMEMU_TESTS_EMULATORFIXTURE_H
#define MODEMEMU_TESTS_EMULATORFIXTURE_H

#include "ModemEmulator.h"
#include "PtyClient.h"

#include <gtest/gtest.h>
#include <memory>

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

inline ModemEmu::RadioHeader Header(uint8_t c, uint32_t id, uint8_t ci, uint8_t version = 1, uint8_t type = 0x31)
{
    ModemEmu::RadioHeader header;
    header.c = c;
    header.id = id;
    header.ci = ci;
    header.version = version;
    header.type = type;
    return header;
}

// The "mbox add" request for a radio frame.
inline Bytes MboxAdd(const Bytes &frame)
{
    Bytes request(frame.size() + 2);
    request[0] = 0x04;
    request[1] = static_cast<uint8_t>(frame.size());
    std::copy(frame.begin(), frame.end(), request.begin() + 2);
    return request;
}

// A running emulator with a raw test client on its device.
class EmulatorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        modem.Start();
        client = std::make_unique<PtyClient>(modem.DevicePath());
    }

    // Runs one command with the next alternating bit of channel 0.
    Bytes Command(const Bytes &payload) { return client->Command(payload, bit_++ & 1); }
    // Makes the emulator see a host, so that radio frames go out.
    void Attach() { Command({0x06, 0x00}); }

    ModemEmu::ModemEmulator modem;
    std::unique_ptr<PtyClient> client;

private:
    unsigned bit_ = 0;
};

#endif
