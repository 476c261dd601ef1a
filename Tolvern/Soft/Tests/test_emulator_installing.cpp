// The installing module of the modem-emulator program, set up from its command line as the
// program does, against the real installation scenario. Its first request goes out before
// Tolvern listens, so it is heard only when the module asks again; with the scenario's own
// pauses this takes about two minutes. The lone module is installed without --nowait.
#include "EmulatorOptions.h"
#include "EmulatorTest.h"

using EmulatorInstallingModule = EmulatorTest;

TEST_F(EmulatorInstallingModule, AsksAgainUntilHeardAndTheScenarioEnds)
{
    ModemEmu::EmulatorOptions::Parse({"--installing"}).Apply(modem);
    modem.Start();
    // The first request is lost: nobody listens yet.
    const ModemEmu::HostRecord &record = modem.Record();
    ASSERT_TRUE(record.WaitUntil([&record] { return record.HasEvent("radio frame dropped, no host"); },
                                 std::chrono::seconds(10)));

    // No --nowait: installation waits for no first frame, which an installing module never sends.
    const ProgramRun run = Run("-i");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out.find("Place a magnet on product"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("don't match"), std::string::npos) << run.out;
    EXPECT_EQ(CountOf(run.out, "<Type>SND-IR</Type>"), 7u) << run.out;
    // Two of the seven ask for tracking and get a CNF-IR besides the SND-NKE.
    size_t confirmations = 0;
    for (const ModemEmu::HostRadioFrame &frame : modem.Record().RadioFrames())
        confirmations += frame.bytes.size() > 1 && frame.bytes[1] == 0x06 ? 1 : 0;
    EXPECT_EQ(confirmations, 2u);
}
