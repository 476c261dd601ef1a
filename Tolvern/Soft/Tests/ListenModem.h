#ifndef TOLV_TESTS_LISTENMODEM_H
#define TOLV_TESTS_LISTENMODEM_H

#include "EmulatorTest.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The built Tolvern against the modem emulator, with the radio frames of a
// test delivered once the program talks to the modem (before that the modem
// drops them, as a real one does without a host).
class ListenModem : public EmulatorTest
{
protected:
    void SetUp() override;

    // Waits until the host has acknowledged every data frame the modem sent it
    // uncorrupted, then checks that each acknowledgement carried exactly the
    // link-acknowledgement bytes for that frame's channel and alternating bit.
    void ExpectEveryFrameAcknowledged();
};

// An air frame of the test meter: C M(ZVR) A(id wire bytes 12 34 56 78, version 1,
// water) CI 7A, access, status 0, configuration word 00 00, then data.
Bytes MeterFrame(uint8_t c, uint8_t access, const Bytes &data, uint8_t ci = 0x7A, uint16_t manufacturer = 0x6AD2);
// Volume 12345.678 m3, a time point and the error flags, behind the 2F 2F that mode 5 checks.
Bytes MeterData();

#endif
