#ifndef TOLV_TESTS_LISTENMODEM_H
#define TOLV_TESTS_LISTENMODEM_H

#include "ModemEmulator.h"
#include "test_listen_process.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// The built Tolvern against the modem emulator, with the radio frames of a
// test delivered once the program talks to the modem (before that the modem
// drops them, as a real one does without a host).
class ListenModem : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts Tolvern on the emulator's device and waits until it has spoken to the modem.
    ListenProcess &Start(const std::string &args);
    // Waits until count documents have been printed; false after timeoutMs.
    bool WaitDocuments(size_t count, int timeoutMs = 10000);
    // Waits until the host has acknowledged every data frame the modem sent it
    // uncorrupted, then checks that each acknowledgement carried exactly the
    // link-acknowledgement bytes for that frame's channel and alternating bit.
    void ExpectEveryFrameAcknowledged();

    ModemEmu::ModemEmulator modem;
    std::unique_ptr<ListenProcess> program;
    std::string systemRoot;
};

// An air frame of the test meter: C M(ZVR) A(id wire bytes 12 34 56 78, version 1,
// water) CI 7A, access, status 0, configuration word 00 00, then data.
Bytes MeterFrame(uint8_t c, uint8_t access, const Bytes &data, uint8_t ci = 0x7A, uint16_t manufacturer = 0x6AD2);
// Volume 12345.678 m3, a time point and the error flags, behind the 2F 2F that mode 5 checks.
Bytes MeterData();

// The document dates vary: date="D" in their place.
std::string NoDates(const std::string &text);

#endif
