// A modem that never answers: the driver's start-up gives up after its tries
// (about 20 s), so these runs carry the "slow" label.
#include "ModemEmulator.h"
#include "ProgramRunner.h"

#include <gtest/gtest.h>

#include <string>

TEST(ProgramSilentModem, FirstModemOperationFailsTheRun)
{
    ModemEmu::ModemEmulator modem;
    ModemEmu::Fault silent;
    silent.kind = ModemEmu::FaultKind::Silent;
    silent.count = 0; // for the whole run
    modem.InjectFault(silent);
    modem.Start();

    const ProgramRun run = RunTolvern("-p " + modem.DevicePath() + " -s");
    modem.Stop();
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(NoLineNumbers(run.out), "Tolv_Main.cpp:N Request failed: ack not received\n");
}
