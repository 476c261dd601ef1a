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

    int moduleType = 2;

    void SetRadioMode(int mode) override { radioModes.push_back(mode); }
    int GetRfModuleType() const override { return moduleType; }
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
        int moduleType;
        std::vector<int> passed;
        const char *refusal; // the line that says why the channel stays, or empty
    };
    const char *range = " out of range 1 to 9: wM-Bus channel not set\n";
    const Case cases[] = {
        {"3", 2, {3}, ""},
        {"1", 2, {1}, ""},
        {"9", 2, {9}, ""},
        {" 7", 2, {7}, ""},
        {"+2", 2, {2}, ""},
        // The 868 MHz module has no channels: the driver is asked and says so itself at -d.
        {"3", 3, {3}, "SetRfChannel not supported by the ZVR868 module type: wM-Bus channel not set\n"},
        {"10", 2, {}, range},
        {"0", 2, {}, range},
        {"-3", 2, {}, range},
        {"99999999999", 2, {}, range},
        {"4x", 2, {}, "channel \"4x\" is not a number: wM-Bus channel not set\n"},
        {"x3", 2, {}, "channel \"x3\" is not a number: wM-Bus channel not set\n"},
        {"", 2, {}, "channel \"\" is not a number: wM-Bus channel not set\n"},
        {" ", 2, {}, "channel \" \" is not a number: wM-Bus channel not set\n"},
    };
    for (const Case &c : cases)
    {
        LogCapture capture(LogLevel::Trace);
        FakeDriver driver;
        driver.moduleType = c.moduleType;
        std::ostringstream refusals;
        Tolv::SetChannel(driver, c.text, refusals);
        EXPECT_EQ(driver.channels, c.passed) << c.text;
        const std::string refusal = c.refusal;
        EXPECT_EQ(refusals.str(), refusal == range ? "channel " + std::string(c.text) + range : refusal) << c.text;
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
        int moduleType;
        std::vector<int> passed;
        std::string refusal; // why the modem keeps its mode, or empty
    };
    const Case cases[] = {
        {"T", 3, {0}, ""},
        {"tm", 3, {1}, ""},
        {"S", 3, {2}, ""},
        {"N", 2, {4}, ""},
        {"LoC", 2, {6}, ""},
        {"LoC", 3, {6}, ""},
        // Words the module type has no such mode for: the driver is asked, refuses and sends nothing.
        {"T", 2, {0}, "mode 0 not supported by the ZVR169 module type: wM-Bus mode not set\n"},
        {"s", 2, {2}, "mode 2 not supported by the ZVR169 module type: wM-Bus mode not set\n"},
        {"N", 3, {4}, "mode 4 not supported by the ZVR868 module type: wM-Bus mode not set\n"},
        {"C", 2, {}, ""},
        {"t ", 3, {}, ""},
        {"", 2, {}, ""},
    };
    for (const Case &c : cases)
    {
        LogCapture capture;
        FakeDriver driver;
        driver.moduleType = c.moduleType;
        std::ostringstream direct;
        std::ostringstream refusals;
        std::string mode = c.typed;
        Tolv::SetMode(driver, mode, direct, refusals);

        std::string lower = c.typed;
        for (char &ch : lower)
        {
            ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        }
        EXPECT_EQ(mode, lower);
        EXPECT_EQ(direct.str(), "Set wM-Bus mode to: " + c.typed + "\nSet wM-Bus mode to: " + lower + "\n");
        EXPECT_EQ(driver.radioModes, c.passed) << c.typed;
        EXPECT_EQ(refusals.str(), c.refusal) << c.typed;
        // An unknown word, the empty one too, is an error line of its own, not a refusal of the type.
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
    // --type given an empty text names no type either.
    LogCapture capture(LogLevel::Trace);
    FakeDriver driver;
    Tolv::ApplyModuleType(driver, "", true);
    EXPECT_TRUE(driver.moduleTypes.empty());
    EXPECT_TRUE(capture.Contains(" Unknown module type\n")) << capture.Text();
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
