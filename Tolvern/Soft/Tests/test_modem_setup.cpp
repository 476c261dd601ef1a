#include "LogCapture.h"
#include "StubModem.h"
#include "TempSystemRoot.h"
#include "Tolv_GpioHolder.h"
#include "Tolv_ModemSetup.h"
#include "Tolv_ModemTasks.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace
{

// Records what the set-up and the modem tasks ask of the driver.
class FakeDriver : public StubModem
{
public:
    std::vector<int> radioModes;
    std::vector<int> channels;
    std::vector<int> moduleTypes;
    std::string description = "ZVR868 modem";
    std::string software = "02.05";
    std::string hardware = "01.00";
    WMBusMod::ModuleAddress address = 0;
    WMBusMod::ModemStats stats;

    void SetRadioMode(int mode) override { radioModes.push_back(mode); }
    void SetRfChannel(int channel) override { channels.push_back(channel); }
    const std::string &GetSoftwareVersion() const override { return software; }
    const std::string &GetHardwareVersion() const override { return hardware; }
    const std::string &GetModuleDescription() const override { return description; }
    WMBusMod::ModuleAddress GetModuleAddress() const override { return address; }
    void SetRfModuleType(int type) override { moduleTypes.push_back(type); }
    void GetStats(WMBusMod::ModemStats *out) override
    {
        // The task must hand over zeroed counters: the driver may fill only some.
        EXPECT_EQ(out->receivedFrames + out->detectedPreambles + out->syncAddresses + out->crcErrors, 0u);
        *out = stats;
    }
};

} // namespace

TEST(ModemSetup, ChannelOneToNineOnly)
{
    struct Case
    {
        const char *text;
        std::vector<int> passed;
    };
    const Case cases[] = {
        {"3", {3}}, {"1", {1}}, {"9", {9}}, {" 7", {7}}, {"+2", {2}}, {"4x", {4}},
        {"10", {}}, {"0", {}},  {"-3", {}}, {"x3", {}},  {"", {}},    {"99999999999", {}},
    };
    for (const Case &c : cases)
    {
        LogCapture capture(LogLevel::Trace);
        FakeDriver driver;
        Tolv::SetChannel(driver, c.text);
        EXPECT_EQ(driver.channels, c.passed) << c.text;
        if (c.passed.empty())
        {
            EXPECT_EQ(capture.Text(), "") << c.text;
        }
        else
        {
            EXPECT_TRUE(capture.Contains("]Set the wM-Bus channel to " + std::to_string(c.passed[0]) + "\n"));
        }
    }
}

TEST(ModemSetup, ModeWordsAreLowerCasedAndLookedUp)
{
    struct Case
    {
        std::string typed;
        std::vector<int> passed;
    };
    const Case cases[] = {
        {"T", {0}}, {"tm", {1}}, {"S", {2}}, {"N", {4}}, {"LoC", {6}}, {"C", {}}, {"t ", {}}, {"", {}},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        FakeDriver driver;
        std::ostringstream direct;
        std::string mode = c.typed;
        Tolv::SetMode(driver, mode, direct);

        std::string lower = c.typed;
        for (char &ch : lower)
        {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        EXPECT_EQ(mode, lower);
        EXPECT_EQ(direct.str(), "Set wM-Bus mode to: " + c.typed + "\nSet wM-Bus mode to: " + lower + "\n");
        EXPECT_EQ(driver.radioModes, c.passed) << c.typed;
        EXPECT_EQ(capture.Contains(" Unknown wM-Bus mode " + lower + ", ignore it\n"), c.passed.empty())
            << capture.Text();
    }
}

TEST(ModemSetup, ModuleTypeWordsAreExact)
{
    struct Case
    {
        const char *text;
        std::vector<int> passed;
        const char *logged;
    };
    const Case cases[] = {
        {"ZVR169", {2}, "]set ZVR169\n"},         {"ZVR868", {3}, "]set ZVR868\n"},
        {"zvr868", {}, " Unknown module type\n"}, {"ZVR433", {}, " Unknown module type\n"},
        {"", {}, "]Module type empty\n"},
    };
    for (const Case &c : cases)
    {
        LogCapture capture(LogLevel::Trace);
        FakeDriver driver;
        Tolv::ApplyModuleType(driver, c.text);
        EXPECT_EQ(driver.moduleTypes, c.passed) << c.text;
        EXPECT_TRUE(capture.Contains(c.logged)) << capture.Text();
    }
}

TEST(ModemTasks, ModemInfoLines)
{
    struct Case
    {
        WMBusMod::ModuleAddress address;
        const char *text;
    };
    const Case cases[] = {
        {1, "1"}, {0x0107d26a12345678ull, "107d26a12345678"}, {0xFFFFFFFFFFFFFFFFull, "ffffffffffffffff"}};
    for (const Case &c : cases)
    {
        LogCapture capture;
        FakeDriver driver;
        driver.address = c.address;
        std::ostringstream direct;
        Tolv::GetModemInfo(driver, direct);
        EXPECT_EQ(direct.str(), "Tolvern version: 1.8\n");
        EXPECT_EQ(capture.Text(), std::string("Info: ZVR868 modem\nAddress: ") + c.text +
                                      "\nFirmware version: 02.05\nHardware version: 01.00\n");
    }
}

TEST(ModemTasks, StatisticsLines)
{
    LogCapture capture;
    FakeDriver driver;
    driver.stats = {12, 345, 6, 4294967295u};
    Tolv::ReadStatistics(driver);
    EXPECT_EQ(capture.Text(), "received frames   : 12\n"
                              "detected preambles: 345\n"
                              "Sync. address     : 6\n"
                              "CRC errors        : 4294967295\n");
}

TEST(GpioHolder, TakesTheFourLinesSetsThePowerLineAndGivesThemBackInReverse)
{
    const TempSystemRoot root;
    const char *const pins[] = {"45", "47", "35", "48"};
    root.Write("/sys/class/gpio/export", "");
    root.Write("/sys/class/gpio/unexport", "");
    for (const std::string pin : pins)
    {
        root.Write("/sys/class/gpio/gpio" + pin + "/direction", "");
        root.Write("/sys/class/gpio/gpio" + pin + "/value", "");
    }
    {
        const Tolv::GpioHolder holder;
        for (const Gpio *line : *holder.Lines())
        {
            EXPECT_NE(line, nullptr);
        }
        // Each export overwrites the file: the last line taken is the last one written.
        EXPECT_EQ(root.Read("/sys/class/gpio/export"), "48");
        EXPECT_EQ(root.Read("/sys/class/gpio/gpio35/direction"), "out");
        EXPECT_EQ(root.Read("/sys/class/gpio/gpio35/value"), "1");
        for (const char *other : {"45", "47", "48"})
        {
            EXPECT_EQ(root.Read(std::string("/sys/class/gpio/gpio") + other + "/value"), "") << other;
        }
        EXPECT_EQ(root.Read("/sys/class/gpio/unexport"), "");
    }
    EXPECT_EQ(root.Read("/sys/class/gpio/unexport"), "45");
}
