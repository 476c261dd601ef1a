// A firmware update whose module never reports its status waits out the whole
// status window (300 s) and then fails.
#include "UpdateTaskTest.h"

TEST_F(UpdateTask, NoStatusFromTheModuleIsAFailure)
{
    ModemEmu::FirmwareReceiverConfig config;
    config.statusDelay.reset(); // the image arrives whole, but no status frame goes out
    StartModem(config);
    const ProgramRun run = Run("-u " + Firmware187);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, SendingLines(Firmware187, {0, 93, 186}, 187) +
                           "Tolv_UpdateTask.cpp:N No update status from module within 300 s\n"
                           // The image went out: nothing is left to take back from the mailbox.
                           "Tolv_FailedRun.cpp:N The request went out and no answer came: the module may have "
                           "taken it\n"
                           "Tolv_Main.cpp:N Request failed: No update status from module\n");
    EXPECT_EQ(receiver->Status(), ModemEmu::FirmwareStatus::Accepted);
    EXPECT_FALSE(receiver->StatusSent());
}
