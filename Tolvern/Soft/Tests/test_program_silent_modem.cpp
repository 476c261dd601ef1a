// A modem that never answers: the driver's start-up fails after its tries
// (about 20 s), so these runs carry the "slow" label.
#include "EmulatorTest.h"

using ProgramSilentModem = EmulatorTest;

TEST_F(ProgramSilentModem, FirstModemOperationFailsTheRun)
{
    ModemEmu::Fault silent;
    silent.kind = ModemEmu::FaultKind::Silent;
    silent.count = 0; // for the whole run
    modem.InjectFault(silent);
    modem.Start();

    const ProgramRun run = Run("-s");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Tolv_Main.cpp:N Request failed: modem not responding\n");
}
