#ifndef TOLV_TESTS_EMULATORTEST_H
#define TOLV_TESTS_EMULATORTEST_H

#include "ListenProcess.h"
#include "ModemEmulator.h"
#include "ProgramRunner.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

// The program's default AES key, which the emulated modules hold unless a test says otherwise.
constexpr const char *DefaultKey = "7C41D09A2E6B35F8A1C94E07B2D6F358";

// The built Tolvern against the modem emulator on a pseudo-terminal. The test configures
// `modem` and starts it; every run gets "-p" and the emulator's device first, and a system
// root of the test's own, so the gateway helpers never touch the real system. Afterwards
// the emulator must have seen no breach of the modem protocol.
class EmulatorTest : public ::testing::Test
{
protected:
    EmulatorTest();
    ~EmulatorTest() override;
    void TearDown() override;

    // A run to its end; error lines without their line numbers.
    ProgramRun Run(const std::string &args);
    // A run that keeps going (the listen task), started once Tolvern has spoken to the modem.
    ListenProcess &Start(const std::string &args);
    // Waits until count documents have been printed by the started run; false after timeoutMs.
    bool WaitDocuments(size_t count, int timeoutMs = 10000);

    TempDir systemRoot;
    ModemEmu::ModemEmulator modem;
    std::unique_ptr<ListenProcess> program;
};

#endif
