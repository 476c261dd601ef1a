// The wait for the module's first frame, end to end: what the program takes as
// the module's frame, what it reports about the others, and which runs wait.
#include "CommissionedModule.h"
#include "ListenModem.h"
#include "RadioFrame.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

const std::chrono::milliseconds RunEnd(8000);

// The module's own first frame: RSP-UD, CI 7A, the maker's code; id wire bytes A1 B2 C3 D4,
// version 0x1C, device type 0x37.
Bytes ModuleFrame()
{
    ModemEmu::RadioHeader header;
    header.c = 0x08;
    header.id = 0xD4C3B2A1;
    header.version = 0x1C;
    header.type = 0x37;
    header.access = 0x05;
    return ModemEmu::RadioFrame::Build(header, {0x2F, 0x2F, 0x01, 0xFD, 0x0B, 0x42});
}

} // namespace

TEST_F(ListenModem, FirstFrameIsTakenAsTheModules)
{
    ListenProcess &run = Start("");
    modem.ReceiveRadio(ModuleFrame());
    EXPECT_EQ(run.WaitExit(RunEnd), 0);
    EXPECT_EQ(run.Output(), "Place a magnet on product\nFrame received\n");
}

TEST_F(ListenModem, FirstFrameTraceShowsTheApplicationData)
{
    ListenProcess &run = Start("-d");
    modem.ReceiveRadio(ModuleFrame());
    EXPECT_EQ(run.WaitExit(RunEnd), 0);
    EXPECT_NE(run.Output().find("][1][Tolv    ]data 2F 2F 1 FD B 42 \n"), std::string::npos) << run.Output();
}

TEST_F(ListenModem, OtherFramesAreReportedAndTheWaitGoesOn)
{
    ModemEmu::RadioHeader longHeader;
    longHeader.c = 0x08;
    longHeader.ci = 0x72;
    Bytes encrypted = ModuleFrame();
    encrypted = ModemEmu::RadioFrame::EncryptMode5(encrypted, ModemEmu::Aes128Cbc::ParseKey(std::string(32, '1')));

    ListenProcess &run = Start("");
    modem.ReceiveRadio(MeterFrame(0x44, 0x01, MeterData()));                  // a meter's SND-NR
    modem.ReceiveRadio(ModemEmu::RadioFrame::Build(longHeader, MeterData())); // long transport header
    modem.ReceiveRadio(MeterFrame(0x08, 0x03, MeterData(), 0x7A, 0x1593));    // another maker
    modem.ReceiveRadio(encrypted);                                            // a key we do not have
    modem.ReceiveRadio(ModuleFrame());
    modem.ReceiveRadio(MeterFrame(0x44, 0x04, MeterData())); // after the wait: nobody reads it
    EXPECT_EQ(run.WaitExit(RunEnd), 0);
    EXPECT_EQ(NoDates(NoLineNumbers(run.Output())),
              ReadFile(std::string(TOLV_FIXTURES_DIR) + "/receive/first_frame_others.txt"));
}

TEST_F(ListenModem, TasksThatNeedNoModuleDoNotWait)
{
    for (const char *args : {"--nowait", "-s", "-m", "-d --nowait"})
    {
        const ProgramRun run = Run(args);
        EXPECT_EQ(run.exitCode, 0) << args;
        EXPECT_EQ(run.out.find("Place a magnet"), std::string::npos) << args << "\n" << run.out;
    }
}

TEST_F(ListenModem, LearntAddressIsTheDestinationOfTheTask)
{
    // A module away from the default address, announcing itself; the log request of -g must
    // go to it, with the key it holds.
    ModemEmu::CommissionedConfig config;
    config.address = ModemEmu::RadioFrame::MakeAddress(0xD4C3B2A1, 0x6AD2, 0x1C, 0x37);
    config.logs = {0x02, 0xFD, 0x17, 0x05, 0x00};
    config.beaconPeriod = std::chrono::milliseconds(300);
    auto module = std::make_shared<ModemEmu::CommissionedModule>(config);
    modem.AddModule(module);

    const ProgramRun run = Run("-g");
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.rfind("Place a magnet on product\nFrame received\nGot address a1b2c3d4d26a1c37\n", 0), 0u)
        << run.out;
    const std::vector<ModemEmu::HostRadioFrame> sent = modem.Record().RadioFrames();
    ASSERT_FALSE(sent.empty());
    ASSERT_TRUE(sent.front().destination.has_value());
    EXPECT_EQ(*sent.front().destination, config.address);
    ASSERT_FALSE(module->Requests().empty());
    EXPECT_TRUE(module->Requests().front().decrypted);
}
