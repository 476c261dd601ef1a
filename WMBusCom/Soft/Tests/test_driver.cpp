#include "ErrorOf.h"
#include "Gpio.h"
#include "LogCapture.h"
#include "ModemEmulator.h"
#include "Serial.h"
#include "TempSystemRoot.h"
#include "WMBC_ZV_Frame.h"
#include "WMBC_ZV_Interface.h"
#include "mbus-crc16.h"

#include <chrono>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace WMBusMod;
using namespace std::chrono_literals;

namespace
{

using Bytes = std::vector<uint8_t>;

Bytes ReadCommand(uint8_t id)
{
    return {CmdRead, id, 0};
}

// The commands of an Init against an answering modem, in order.
const std::vector<Bytes> kInitCommands = {ReadCommand(3),  ReadCommand(2),  ReadCommand(3),  ReadCommand(1),
                                          ReadCommand(4),  ReadCommand(25), ReadCommand(10), ReadCommand(11),
                                          ReadCommand(12), ReadCommand(13)};

// An air frame as a module sends it: L counts the bytes after it.
const Bytes kAirFrame = {0x0A, 0x44, 0xD2, 0x6A, 0x11, 0x22, 0x33, 0x44, 0x01, 0x07, 0x7A};

class DriverTest : public ::testing::Test
{
protected:
    DriverTest()
    {
        emulator.Start();
        serial.Open(emulator.DevicePath(), 115200);
        driver = std::make_unique<WMBC_ZV_Interface>();
    }
    ~DriverTest() override
    {
        driver.reset();
        serial.Close();
        emulator.Stop();
    }

    void Init(bool checkFirmware = false, const GpioLines *gpio = nullptr)
    {
        driver->Init(serial, gpio, checkFirmware);
    }

    // Commands the host sent after the first `skip` ones.
    std::vector<Bytes> CommandsAfter(size_t skip)
    {
        std::vector<Bytes> all = emulator.Record().HostCommands();
        return std::vector<Bytes>(all.begin() + long(std::min(skip, all.size())), all.end());
    }

    TempSystemRoot root;
    ModemEmu::ModemEmulator emulator;
    Serial serial;
    std::unique_ptr<WMBC_ZV_Interface> driver;
};

} // namespace

TEST_F(DriverTest, InitProbesTheVersionThenReadsTheIdentity)
{
    LogCapture log(LogLevel::Debug, LogModule::WMBC);
    Init();
    EXPECT_EQ(emulator.Record().HostCommands(), kInitCommands);

    // The first frame on the line, byte for byte, and the alternating bit of those that follow.
    const std::vector<ModemEmu::RecordedFrame> frames = emulator.Record().Frames();
    std::vector<Bytes> commandFrames;
    for (const ModemEmu::RecordedFrame &frame : frames)
    {
        if (frame.direction == ModemEmu::Direction::FromHost && frame.frame.Kind() == ModemEmu::FrameKind::Data)
        {
            commandFrames.push_back(frame.raw);
        }
    }
    ASSERT_EQ(commandFrames.size(), kInitCommands.size());
    const uint8_t body[] = {0x00, 0x02, 0x03, 0x00};
    const uint16_t crc = mbus_crc16(body, sizeof body, MBUS_CRC16_PLAIN);
    EXPECT_EQ(commandFrames[0], (Bytes{0xFF, 0x06, 0x00, 0x02, 0x03, 0x00, uint8_t(crc >> 8), uint8_t(crc), 0xF5}));
    for (size_t i = 0; i < commandFrames.size(); ++i)
    {
        EXPECT_EQ(commandFrames[i][2], i % 2 ? 0x08 : 0x00) << "frame " << i;
    }
    EXPECT_EQ(emulator.Record().ViolationText(), "");

    const ModemEmu::ModemIdentity identity;
    EXPECT_EQ(driver->GetModuleDescription(), identity.description);
    EXPECT_EQ(driver->GetSoftwareVersion(), identity.swVersion);
    EXPECT_EQ(driver->GetHardwareVersion(), identity.hwVersion);
    EXPECT_EQ(driver->GetSerialNumber(), identity.serial);
    EXPECT_EQ(driver->GetManufacturer(), identity.manufacturer);
    EXPECT_EQ(driver->GetId(), identity.id);
    EXPECT_EQ(driver->GetVersion(), identity.version);
    EXPECT_EQ(driver->GetDeviceType(), identity.type);
    EXPECT_FALSE(log.Contains("firmware update is needed"));
    EXPECT_TRUE(log.Contains("Module: " + identity.description + ", soft v: " + identity.swVersion +
                             ", hw v: " + identity.hwVersion + ", serial:" + identity.serial + "\n"));
    EXPECT_TRUE(log.Contains("Manuf: 6ad2, id: 112233, version: 1, type: 31\n")) << log.Text();
}

TEST_F(DriverTest, ModuleAddressPacksTheIdentityInAirOrder)
{
    ModemEmu::ModemIdentity identity;
    identity.manufacturer = 0x0201;
    identity.id = 0x44332211;
    identity.version = 0x05;
    identity.type = 0x06;
    emulator.SetIdentity(identity);
    Init();
    const ModuleAddress address = driver->GetModuleAddress();
    Bytes bytes;
    for (int i = 0; i < 8; ++i)
    {
        bytes.push_back(uint8_t(address >> (8 * i)));
    }
    EXPECT_EQ(bytes, (Bytes{0x01, 0x02, 0x11, 0x22, 0x33, 0x44, 0x05, 0x06}));
}

TEST_F(DriverTest, FirmwareCheckFlashesOnlyOnAMismatch)
{
    struct Case
    {
        const char *name;
        const char *reference; // nullptr: no file
        bool flashes;
    };
    const Case cases[] = {
        {"no reference file means 01.01", nullptr, false},
        {"same version", "01.01", false},
        {"other version", "01.02", true},
        {"six characters never match", "01.010", true},
        {"short line means 01.01", "1.1", false},
    };
    for (const Case &c : cases)
    {
        if (c.reference != nullptr)
        {
            root.Write("/APP/rf_module_version", std::string(c.reference) + "\n");
        }
        LogCapture log(LogLevel::Debug, LogModule::WMBC);
        Init(true);
        EXPECT_EQ(log.Contains("firmware update is needed current: >>01.01.07<<"), c.flashes) << c.name;
        if (c.flashes)
        {
            EXPECT_TRUE(log.Contains(" new: >>" + std::string(c.reference) + "<<\n")) << c.name;
            EXPECT_TRUE(log.Contains("cmd: stm32flash -b 115200 -w /APP/wmbus_firmware -v -e 512 -R " +
                                     emulator.DevicePath() + "\n"))
                << c.name;
            EXPECT_TRUE(log.Contains("update trace: \n")) << c.name;
        }
        EXPECT_EQ(driver->GetSoftwareVersion(), "01.01.07") << c.name << ": a second Init reads everything again";
    }
}

TEST_F(DriverTest, FlashingDrivesTheResetAndBootLines)
{
    // Lines A and B (first and fourth of the holder) end low; the others are never touched.
    for (const char *pin : {"45", "47", "35", "48"})
    {
        root.Write(std::string("/sys/class/gpio/gpio") + pin + "/value", "x");
        root.Write(std::string("/sys/class/gpio/gpio") + pin + "/direction", "x");
    }
    root.Write("/sys/class/gpio/export", "");
    root.Write("/sys/class/gpio/unexport", "");
    root.Write("/APP/rf_module_version", "02.00\n");
    Gpio a("45"), other1("47"), other2("35"), b("48");
    const GpioLines lines = {&a, &other1, &other2, &b};
    Init(true, &lines);
    EXPECT_EQ(root.Read("/sys/class/gpio/gpio45/value"), "0");
    EXPECT_EQ(root.Read("/sys/class/gpio/gpio48/value"), "0");
    EXPECT_EQ(root.Read("/sys/class/gpio/gpio48/direction"), "out");
    EXPECT_EQ(root.Read("/sys/class/gpio/gpio47/value"), "x");
    EXPECT_EQ(root.Read("/sys/class/gpio/gpio35/value"), "x");
    EXPECT_EQ(driver->GetSoftwareVersion(), "01.01.07") << "the link works again after flashing";
}

TEST_F(DriverTest, ModemFailuresReachTheCaller)
{
    using ModemEmu::FaultKind;
    struct Case
    {
        const char *name;
        FaultKind kind;
        const char *error;
    };
    const Case cases[] = {
        {"no link acknowledgement", FaultKind::NoAck, "ack not received"},
        {"refused", FaultKind::Nak, "nak received"},
        {"no answer", FaultKind::NoAnswer, "cmd timeout"},
        {"answer with a bad crc is ignored", FaultKind::BadCrc, "cmd timeout"},
    };
    Init();
    for (const Case &c : cases)
    {
        ModemEmu::Fault fault;
        fault.kind = c.kind;
        fault.channel = 0;
        emulator.InjectFault(fault);
        ModemStats stats;
        EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), c.error) << c.name;
        EXPECT_EQ(emulator.PendingFaults(), 0u) << c.name;
        // The link recovers at once: the next command gets its own answer.
        emulator.SetStats(7, 0, 0, 0);
        EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), "") << c.name;
        EXPECT_EQ(stats.receivedFrames, 7u) << c.name;
    }
}

TEST_F(DriverTest, StatusOtherThanZeroIsCmdFailed)
{
    Init();
    emulator.ForceParamStatus(ParamStatsSyncAddr, 1);
    emulator.SetStats(10, 20, 30, 40);
    ModemStats stats;
    EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), "cmd failed");
    EXPECT_EQ(stats.receivedFrames, 10u) << "counters read before the error keep their values";
    EXPECT_EQ(stats.detectedPreambles, 20u);
    EXPECT_EQ(stats.syncAddresses, 0u);
}

// The answer to a command that timed out arrives during the next one; it must not be taken for it.
TEST_F(DriverTest, LateAnswerIsNotTakenForTheNextCommand)
{
    Init();
    ModemEmu::Fault late;
    late.kind = ModemEmu::FaultKind::LateAnswer;
    late.channel = 0;
    late.delay = 1200ms;
    emulator.InjectFault(late);
    emulator.SetStats(1, 2, 3, 4);
    ModemStats stats;
    EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), "cmd timeout");
    std::this_thread::sleep_for(300ms); // the late answer has come by now
    emulator.SetStats(5, 6, 7, 8);
    EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), "");
    EXPECT_EQ(stats.receivedFrames, 5u);
    EXPECT_EQ(stats.detectedPreambles, 6u);
    EXPECT_EQ(stats.syncAddresses, 7u);
    EXPECT_EQ(stats.crcErrors, 8u);
}

TEST_F(DriverTest, StatisticsReadTheFourCounters)
{
    Init();
    emulator.SetStats(1, 0x0100, 0x010000, 0x01020304);
    const size_t before = emulator.Record().HostCommands().size();
    ModemStats stats;
    driver->GetStats(&stats);
    EXPECT_EQ(stats.receivedFrames, 1u);
    EXPECT_EQ(stats.detectedPreambles, 0x0100u);
    EXPECT_EQ(stats.syncAddresses, 0x010000u);
    EXPECT_EQ(stats.crcErrors, 0x01020304u);
    EXPECT_EQ(CommandsAfter(before),
              (std::vector<Bytes>{ReadCommand(50), ReadCommand(51), ReadCommand(52), ReadCommand(53)}));
}

TEST_F(DriverTest, ReceivesARadioFrameWithItsMarkers)
{
    Init();
    emulator.ReceiveRadio(kAirFrame, 0xC4);
    uint8_t buffer[300] = {};
    int size = 254;
    driver->ReceiveFrame(buffer, size, 1000);
    EXPECT_EQ(size, 0) << "a buffer below 255 bytes takes nothing";

    size = sizeof buffer;
    driver->ReceiveFrame(buffer, size, 1000);
    // The modem counts its signal byte into L and appends it.
    Bytes expected = {0x68, 0x0B, 0x44, 0xD2, 0x6A, 0x11, 0x22, 0x33, 0x44, 0x01, 0x07, 0x7A, 0xC4, 0x16};
    EXPECT_EQ(Bytes(buffer, buffer + size), expected);

    size = sizeof buffer;
    const auto start = std::chrono::steady_clock::now();
    driver->ReceiveFrame(buffer, size, 200);
    EXPECT_EQ(size, 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 190ms);
}

TEST_F(DriverTest, EveryReceivedFrameFlashesTheLedWhereTheGatewayHasOne)
{
    const std::string led = "/sys/devices/platform/leds-gpio.0/leds/led 2/";
    struct Case
    {
        bool gatewayHasLed;
    };
    for (const Case c : {Case{false}, Case{true}})
    {
        SCOPED_TRACE(c.gatewayHasLed ? "with the LED" : "without the LED");
        if (c.gatewayHasLed)
        {
            root.Write(led + "trigger", "untouched");
            root.Write(led + "brightness", "untouched");
        }
        Init();
        emulator.ReceiveRadio(kAirFrame, 0xC4);
        uint8_t buffer[255];
        int size = sizeof buffer;
        driver->ReceiveFrame(buffer, size, 1000);
        EXPECT_EQ(size, int(kAirFrame.size()) + 3);
        if (c.gatewayHasLed)
        {
            // Switched on by hand for the frame, then off again.
            EXPECT_EQ(root.Read(led + "trigger"), "none");
            EXPECT_EQ(root.Read(led + "brightness"), "0");
        }
        else
        {
            EXPECT_FALSE(root.Exists(led + "brightness")) << "nothing may appear in the LED's place";
        }
    }
}

TEST_F(DriverTest, LargestRadioFrameFillsA255ByteBuffer)
{
    Init();
    Bytes payload(252);
    for (size_t i = 0; i < payload.size(); ++i)
    {
        payload[i] = uint8_t(i);
    }
    emulator.QueueDataFrame(1, payload);
    uint8_t buffer[255] = {};
    int size = sizeof buffer;
    driver->ReceiveFrame(buffer, size, 1000);
    ASSERT_EQ(size, 254);
    EXPECT_EQ(buffer[0], 0x68);
    EXPECT_EQ(Bytes(buffer + 1, buffer + 253), payload);
    EXPECT_EQ(buffer[253], 0x16);
}

TEST_F(DriverTest, NoiseAndBadFramesOnTheLineDoNotLoseTheNextRadioFrame)
{
    Init();
    ModemEmu::Fault noise;
    noise.kind = ModemEmu::FaultKind::Garbage;
    noise.channel = 1;
    emulator.InjectFault(noise);
    emulator.ReceiveRadio(kAirFrame, 0xC4);
    uint8_t buffer[255];
    int size = sizeof buffer;
    driver->ReceiveFrame(buffer, size, 1000);
    EXPECT_EQ(size, int(kAirFrame.size()) + 3) << "frame after noise";

    ModemEmu::Fault badCrc;
    badCrc.kind = ModemEmu::FaultKind::BadCrc;
    badCrc.channel = 1;
    emulator.InjectFault(badCrc);
    emulator.ReceiveRadio(kAirFrame, 0xC4);
    size = sizeof buffer;
    driver->ReceiveFrame(buffer, size, 300);
    EXPECT_EQ(size, 0) << "a frame with a bad CRC is not delivered";

    emulator.ReceiveRadio(kAirFrame, 0xB0);
    size = sizeof buffer;
    driver->ReceiveFrame(buffer, size, 1000);
    ASSERT_EQ(size, int(kAirFrame.size()) + 3);
    EXPECT_EQ(buffer[size - 2], 0xB0);
}

TEST_F(DriverTest, SendFrameGoesOutOnTheDataChannel)
{
    Init();
    driver->SendFrame(kAirFrame.data(), int(kAirFrame.size()));
    const std::vector<ModemEmu::HostRadioFrame> radio = emulator.Record().RadioFrames();
    ASSERT_EQ(radio.size(), 1u);
    EXPECT_EQ(radio[0].path, ModemEmu::RadioPath::Direct);
    EXPECT_EQ(radio[0].bytes, kAirFrame);

    const Bytes tooLong(247, 0);
    EXPECT_THROW(driver->SendFrame(tooLong.data(), int(tooLong.size())), std::out_of_range);
    EXPECT_EQ(emulator.Record().ViolationText(), "");
}

TEST_F(DriverTest, MailboxAddCheckDelete)
{
    emulator.SetConfig(
        []
        {
            ModemEmu::CoreConfig config;
            config.delivery = ModemEmu::MailboxDelivery::Never;
            return config;
        }());
    Init();
    const int id = driver->SndToMailbox(kAirFrame.data(), int(kAirFrame.size()));
    ASSERT_EQ(emulator.MailboxEntries().size(), 1u);
    EXPECT_EQ(emulator.MailboxEntries()[0].id, id);
    EXPECT_EQ(emulator.MailboxEntries()[0].frame, kAirFrame);
    EXPECT_TRUE(driver->CheckMailbox(id)) << "pending";
    driver->DelMailbox(id);
    EXPECT_TRUE(emulator.MailboxEntries().empty());
    EXPECT_FALSE(driver->CheckMailbox(id));
    EXPECT_EQ(ErrorOf([&] { driver->DelMailbox(id); }), "cmd failed") << "no such message";
    EXPECT_EQ(emulator.Record().ViolationText(), "");
}

TEST_F(DriverTest, MessageIdAbove255IsCutToItsLowByte)
{
    Init();
    LogCapture log(LogLevel::Warning, LogModule::WMBC);
    const size_t before = emulator.Record().HostCommands().size();
    driver->CheckMailbox(300);
    EXPECT_EQ(log.Text(), "Message id to large (300)\n");
    EXPECT_EQ(CommandsAfter(before), (std::vector<Bytes>{{CmdMboxCheck, 1, 44}}));
}

TEST_F(DriverTest, FullMailbox)
{
    emulator.SetConfig(
        []
        {
            ModemEmu::CoreConfig config;
            config.delivery = ModemEmu::MailboxDelivery::Never;
            return config;
        }());
    emulator.SetMailboxCapacity(2);
    Init();
    EXPECT_EQ(driver->IsReqQueueFull(), 2);
    EXPECT_FALSE(driver->IsMailboxFull());
    EXPECT_TRUE(driver->WaitMailboxSpace(5));
    driver->SndToMailbox(kAirFrame.data(), int(kAirFrame.size()));
    driver->SndToMailbox(kAirFrame.data(), int(kAirFrame.size()));
    EXPECT_EQ(driver->IsReqQueueFull(), 0);
    EXPECT_TRUE(driver->IsMailboxFull());
    EXPECT_EQ(ErrorOf([&] { driver->SndToMailbox(kAirFrame.data(), int(kAirFrame.size())); }), "cmd failed");
    EXPECT_FALSE(driver->WaitMailboxSpace(0));

    // Space that appears while waiting is found.
    const int first = emulator.MailboxEntries().front().id;
    std::thread freer(
        [&]
        {
            std::this_thread::sleep_for(300ms);
            emulator.WithCore([first](ModemEmu::ModemCore &core) { core.GetMailbox().Remove(uint8_t(first)); });
        });
    EXPECT_TRUE(driver->WaitMailboxSpace(5));
    freer.join();
}

TEST_F(DriverTest, WaitForMailboxSpaceGivesUp)
{
    emulator.SetMailboxCapacity(0);
    Init();
    LogCapture log(LogLevel::Trace, LogModule::WMBC);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(driver->WaitMailboxSpace(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1s);
    EXPECT_TRUE(log.Contains("The mailbox is full, wait...\n"));
}

TEST_F(DriverTest, RadioModeAndChannelFollowTheModuleType)
{
    struct Case
    {
        const char *name;
        int moduleType;
        bool isMode;
        int value;
        bool written;
        const char *warning;
    };
    const Case cases[] = {
        {"868: mode 1", WMBC_ZV_Interface::Module868MHz, true, 1, true, ""},
        {"868: mode 3", WMBC_ZV_Interface::Module868MHz, true, 3, true, ""},
        {"868: mode 5", WMBC_ZV_Interface::Module868MHz, true, 5, false, "mode 5 not supported\n"},
        {"169: mode 5", WMBC_ZV_Interface::Module169MHz, true, 5, true, ""},
        {"169: mode 6", WMBC_ZV_Interface::Module169MHz, true, 6, true, ""},
        {"169: mode 0", WMBC_ZV_Interface::Module169MHz, true, 0, false, "mode 0 not supported\n"},
        {"169: channel 10", WMBC_ZV_Interface::Module169MHz, false, 10, true, ""},
        {"169: channel 11", WMBC_ZV_Interface::Module169MHz, false, 11, false, ""},
        {"169: channel 0", WMBC_ZV_Interface::Module169MHz, false, 0, false, ""},
        {"868: channel 3", WMBC_ZV_Interface::Module868MHz, false, 3, false, "SetRfChannel not supported\n"},
    };
    Init();
    for (const Case &c : cases)
    {
        driver->SetRfModuleType(c.moduleType);
        const uint8_t param = c.isMode ? ParamMode : ParamChannel;
        emulator.SetParam(param, {0xEE});
        const size_t before = emulator.Record().HostCommands().size();
        LogCapture log(LogLevel::Warning, LogModule::WMBC);
        if (c.isMode)
        {
            driver->SetRadioMode(c.value);
        }
        else
        {
            driver->SetRfChannel(c.value);
        }
        EXPECT_EQ(log.Text(), c.warning) << c.name;
        const std::vector<Bytes> sent = CommandsAfter(before);
        if (c.written)
        {
            EXPECT_EQ(sent, (std::vector<Bytes>{ReadCommand(param), {CmdWrite, param, 1, uint8_t(c.value)}})) << c.name;
            EXPECT_EQ(emulator.Param(param), Bytes{uint8_t(c.value)}) << c.name;
        }
        else
        {
            EXPECT_TRUE(sent.empty()) << c.name;
        }
    }
}

TEST_F(DriverTest, CurrentModeIsNotWrittenAgain)
{
    Init();
    emulator.SetParam(ParamMode, {4});
    const size_t before = emulator.Record().HostCommands().size();
    driver->SetRadioMode(4);
    EXPECT_EQ(CommandsAfter(before), std::vector<Bytes>{ReadCommand(ParamMode)});
}

TEST_F(DriverTest, ModeWriteFailureIsOnlyAWarning)
{
    Init();
    emulator.ForceParamStatus(ParamMode, 3);
    LogCapture log(LogLevel::Warning, LogModule::WMBC);
    EXPECT_NO_THROW(driver->SetRadioMode(5));
    EXPECT_EQ(log.Text(), "Failed to write config id 20\n");
}

TEST_F(DriverTest, AfterCloseNothingIsAcknowledged)
{
    Init();
    driver->Close();
    ModemStats stats;
    EXPECT_EQ(ErrorOf([&] { driver->GetStats(&stats); }), "ack not received");
}

TEST_F(DriverTest, OperationsBeforeInitAreRefused)
{
    ModemStats stats;
    EXPECT_THROW(driver->GetStats(&stats), std::runtime_error);
    uint8_t buffer[255];
    int size = sizeof buffer;
    EXPECT_NO_THROW(driver->ReceiveFrame(buffer, size, 10));
    EXPECT_EQ(size, 0);
}

TEST(WMBC_ZV_InterfaceType, ModuleTypeComesFromTheGatewayFile)
{
    struct Case
    {
        const char *content; // nullptr: no file
        int type;
        const char *log;
    };
    const Case cases[] = {
        {"zelvir169\n", 2, "RF module: Zelvir 169MHz\n"},
        {"zelvir868\n", 3, "RF module: Zelvir 868MHz\n"},
        {"zelvir868 \n", 2, "unknown RF module\n"},
        {"", 2, nullptr},
        {nullptr, 2, "unknown RF module\n"},
    };
    for (const Case &c : cases)
    {
        TempSystemRoot root;
        if (c.content != nullptr)
        {
            root.Write("/APP/rf_module_type", c.content);
        }
        LogCapture log(LogLevel::Debug, LogModule::WMBC);
        WMBC_ZV_Interface driver;
        EXPECT_EQ(driver.GetRfModuleType(), c.type) << (c.content ? c.content : "no file");
        if (c.log != nullptr)
        {
            EXPECT_EQ(log.Text(), c.log);
        }
        else
        {
            EXPECT_TRUE(log.Contains("unknown RF module\n"));
        }
    }
}
