// The built program against the modem emulator on a pseudo-terminal.
#include "EmulatorTest.h"

#include <cctype>
#include <string>

namespace
{

class ProgramModem : public EmulatorTest
{
protected:
    void SetUp() override
    {
        ModemEmu::ModemIdentity identity;
        identity.description = "Test modem 868MHz";
        identity.swVersion = "03.02.01";
        identity.hwVersion = "HW 4.0";
        identity.manufacturer = 0x6AD2;
        identity.id = 0x78563412;
        identity.version = 0x07;
        identity.type = 0x37;
        modem.SetIdentity(identity);
        modem.Start();
    }
    uint8_t ModemParam(uint8_t id)
    {
        const std::vector<uint8_t> value = modem.Param(id);
        return value.empty() ? 0xFF : value[0];
    }
};

} // namespace

TEST_F(ProgramModem, ModemInfo)
{
    const ProgramRun run = Run("-m");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "Tolvern version: 1.8\n"
                       "Info: Test modem 868MHz\n"
                       "Address: 3707785634126ad2\n"
                       "Firmware version: 03.02.01\n"
                       "Hardware version: HW 4.0\n");
}

TEST_F(ProgramModem, Statistics)
{
    modem.SetStats(17, 2048, 5, 4000000000u);
    const ProgramRun run = Run("--statistics");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "received frames   : 17\n"
                       "detected preambles: 2048\n"
                       "Sync. address     : 5\n"
                       "CRC errors        : 4000000000\n");
}

TEST_F(ProgramModem, ModeWords)
{
    struct Case
    {
        const char *typed;
        const char *lower;
        uint8_t modemMode; // what the modem holds afterwards (the runs share one modem)
        bool unknown;
    };
    // The emulated modem starts in mode 4 (N); T and S are modes of the 868 MHz modules.
    const Case cases[] = {{"T", "t", 0, false}, {"S", "s", 2, false}, {"xyz", "xyz", 2, true}}; // unchanged since S
    for (const Case &c : cases)
    {
        const ProgramRun run = Run(std::string("-s --type ZVR868 --mode ") + c.typed);
        EXPECT_EQ(run.exitCode, 0) << c.typed;
        const std::string lines =
            std::string("Set wM-Bus mode to: ") + c.typed + "\nSet wM-Bus mode to: " + c.lower + "\n";
        EXPECT_EQ(run.out.substr(0, lines.size()), lines) << run.out;
        EXPECT_EQ(run.out.find(std::string("Tolv_ModemSetup.cpp:N Unknown wM-Bus mode ") + c.lower + ", ignore it\n") !=
                      std::string::npos,
                  c.unknown)
            << run.out;
        EXPECT_EQ(ModemParam(ModemEmu::ParamMode), c.modemMode) << c.typed;
        EXPECT_EQ(run.err, "") << c.typed;
    }
}

// A mode the modem type has not is no mode set: the run goes on as it would (the GUI passes its
// preferences' mode with every job), and says on standard error that the modem kept its own.
TEST_F(ProgramModem, ModeTheTypeRefusesIsToldWhateverTheLevel)
{
    struct Case
    {
        const char *args;
        const char *typed;
        const char *refusal;
    };
    const Case cases[] = {
        {"-s --mode T", "T", "mode 0 not supported by the ZVR169 module type"},
        {"-s --type ZVR169 --mode S", "S", "mode 2 not supported by the ZVR169 module type"},
        {"-s --type ZVR868 --mode n", "n", "mode 4 not supported by the ZVR868 module type"},
    };
    for (const Case &c : cases)
    {
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 0) << c.args;
        const std::string lines = std::string("Set wM-Bus mode to: ") + c.typed +
                                  "\nSet wM-Bus mode to: " + static_cast<char>(std::tolower(c.typed[0])) +
                                  "\nreceived frames   : ";
        EXPECT_EQ(run.out.substr(0, lines.size()), lines) << run.out;
        EXPECT_EQ(run.err, std::string(c.refusal) + ": wM-Bus mode not set\n") << c.args;
        EXPECT_EQ(ModemParam(ModemEmu::ParamMode), 4) << c.args; // the emulated modem's own N
    }
}

// --type and --mode given an empty text are as unknown as a misspelt word.
TEST_F(ProgramModem, EmptyTypeOrModeIsAnUnknownWord)
{
    const ProgramRun type = Run("-s --type ''");
    EXPECT_EQ(type.exitCode, 0);
    EXPECT_EQ(type.out.find("Tolv_ModemSetup.cpp:N Unknown module type\n"), 0u) << type.out;

    const ProgramRun mode = Run("-s --mode ''");
    EXPECT_EQ(mode.exitCode, 0);
    EXPECT_EQ(mode.out.find("Set wM-Bus mode to: \nSet wM-Bus mode to: \n"
                            "Tolv_ModemSetup.cpp:N Unknown wM-Bus mode , ignore it\n"),
              0u)
        << mode.out;
    EXPECT_EQ(ModemParam(ModemEmu::ParamMode), 4);
}

TEST_F(ProgramModem, ModuleTypeWords)
{
    const ProgramRun known = Run("-d -s --type ZVR868");
    EXPECT_EQ(known.exitCode, 0);
    EXPECT_NE(known.out.find("][1][Tolv    ]set ZVR868\n"), std::string::npos) << known.out;

    const ProgramRun unknown = Run("-s --type zvr868");
    EXPECT_EQ(unknown.exitCode, 0);
    EXPECT_EQ(unknown.out.find("Tolv_ModemSetup.cpp:N Unknown module type\n"), 0u) << unknown.out;
}

TEST_F(ProgramModem, ChannelInAndOutOfRange)
{
    // Channels belong to the 169 MHz modules; the emulated modem starts on channel 1.
    struct Case
    {
        const char *args;
        const char *refusal;
    };
    const Case cases[] = {
        {"--type ZVR169 --channel 10", "channel 10 out of range 1 to 9"},
        {"--type ZVR169 --channel 0", "channel 0 out of range 1 to 9"},
        {"--type ZVR169 --channel abc", "channel \"abc\" is not a number"},
        {"--type ZVR169 --channel ''", "channel \"\" is not a number"},
        {"--type ZVR868 --channel 3", "SetRfChannel not supported by the ZVR868 module type"},
    };
    for (const Case &c : cases)
    {
        const ProgramRun ignored = Run(std::string("-s ") + c.args);
        EXPECT_EQ(ignored.exitCode, 0) << c.args;
        EXPECT_EQ(ignored.err, std::string(c.refusal) + ": wM-Bus channel not set\n") << c.args;
        EXPECT_EQ(ignored.out.find("received frames   : "), 0u) << ignored.out;
        EXPECT_EQ(ModemParam(ModemEmu::ParamChannel), 1) << c.args;
    }

    const ProgramRun inRange = Run("-d -s --type ZVR169 --channel 3");
    EXPECT_EQ(inRange.exitCode, 0);
    EXPECT_EQ(inRange.err, "");
    EXPECT_NE(inRange.out.find("][1][Tolv    ]Set the wM-Bus channel to 3\n"), std::string::npos) << inRange.out;
    EXPECT_EQ(ModemParam(ModemEmu::ParamChannel), 3);
}

TEST_F(ProgramModem, NoTaskWithoutWaiting)
{
    const ProgramRun run = Run("-d --nowait");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("][1][Tolv    ]No task selected\n"), std::string::npos) << run.out;
}

// A modem that answers a number with the wrong size is not a silent one: the run names the
// parameter and both sizes, exits 1 and prints no identity or counter.
TEST_F(ProgramModem, NumberOfTheWrongSizeIsNamed)
{
    struct Case
    {
        const char *args;
        uint8_t param;
        std::vector<uint8_t> value;
        const char *error;
    };
    const Case cases[] = {
        {"-m", ModemEmu::ParamId, {0x12, 0x34, 0x56, 0x78, 0x9A}, "parameter 11 (id): 5 bytes, expected 1 to 4"},
        {"-m", ModemEmu::ParamManufacturer, {0xD2}, "parameter 10 (id manuf.): 1 byte, expected 2"},
        {"-m", ModemEmu::ParamIdType, {0x37, 0x00}, "parameter 13 (id type): 2 bytes, expected 1"},
        {"-s", ModemEmu::ParamStatsCrcErr, {1, 0, 0, 0, 0}, "parameter 53 (stats crc err): 5 bytes, expected 1 to 4"},
    };
    for (const Case &c : cases)
    {
        const std::vector<uint8_t> kept = modem.Param(c.param);
        modem.SetParam(c.param, c.value);
        const ProgramRun run = Run(c.args);
        modem.SetParam(c.param, kept);
        EXPECT_EQ(run.exitCode, 1) << c.error;
        EXPECT_EQ(run.out, std::string("Tolv_Main.cpp:N Request failed: wrong response size for ") + c.error + "\n")
            << c.error;
    }
}
