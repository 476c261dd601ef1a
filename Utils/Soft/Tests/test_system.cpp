#include "Chksum.h"
#include "Gpio.h"
#include "Led.h"
#include "LogCapture.h"
#include "System.h"
#include "SystemRoot.h"
#include "TempDir.h"
#include "TempSystemRoot.h"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <stdexcept>

namespace
{

// Bytes (i * 7 + 3) mod 256, so that block boundaries show in the digest.
std::string Pattern(size_t size)
{
    std::string bytes;
    for (size_t i = 0; i < size; ++i)
        bytes.push_back(static_cast<char>((i * 7 + 3) % 256));
    return bytes;
}

struct DigestCase
{
    const char *name;
    std::string content;
    const char *digest;
};

TEST(Md5FileTest, KnownDigestsAroundTheBlockSize)
{
    TempDir dir;
    const DigestCase cases[] = {
        {"empty", "", "d41d8cd98f00b204e9800998ecf8427e"},
        {"abc", "abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"one block", Pattern(1024), "a66351d9c8f941b70a02eaf9c41e69c3"},
        {"block and a byte", Pattern(1025), "ee57403eb3428e1a0be41fad4a70b174"},
    };
    for (const auto &c : cases)
    {
        const std::string path = dir.Write(c.name, c.content);
        std::vector<unsigned char> digest;
        EXPECT_TRUE(Md5File(path, &digest)) << c.name;
        EXPECT_EQ(VectorToHex(digest), c.digest) << c.name;
    }
}

TEST(Md5FileTest, TraceLineShowsTheDigest)
{
    TempDir dir;
    const std::string path = dir.Write("abc", "abc");
    LogCapture capture;
    Log::Instance().SetLevel(LogModule::Utils, LogLevel::Trace);
    std::vector<unsigned char> digest;
    Md5File(path, &digest);
    EXPECT_EQ(capture.Text(), "md5 for " + path + ": 90 1 50 98 3C D2 4F B0 D6 96 3F 7D 28 E1 7F 72 \n");
}

TEST(Md5FileTest, UnreadableFilesAreReportedNotDigested)
{
    TempDir dir;
    const struct
    {
        std::string path;
        const char *message;
    } cases[] = {
        {dir.Path("missing.bin"), "Can't open data file"},
        {dir.Path(), "Can't read data file"}, // a directory opens but cannot be read
    };
    for (const auto &c : cases)
    {
        LogCapture capture;
        std::vector<unsigned char> digest;
        EXPECT_FALSE(Md5File(c.path, &digest)) << c.path;
        EXPECT_EQ(digest, std::vector<unsigned char>(16, 0)) << c.path;
        EXPECT_NE(capture.Text().find(c.message), std::string::npos) << capture.Text();
    }
}

TEST(Md5FileTest, NullOutputIsAnInvalidArgument)
{
    try
    {
        Md5File("whatever", nullptr);
        FAIL() << "no exception";
    }
    catch (const std::invalid_argument &e)
    {
        EXPECT_STREQ(e.what(), "md5_out parameter missing");
    }
}

TEST(VectorToHexTest, LowerCaseZeroPaddedWithoutSeparators)
{
    EXPECT_EQ(VectorToHex({}), "");
    EXPECT_EQ(VectorToHex({0x00, 0x0A, 0xFF, 0x5C}), "000aff5c");
}

// Points the system root at a temporary folder for one test.
class SystemRootTest : public ::testing::Test
{
protected:
    TempSystemRoot root;
};

TEST_F(SystemRootTest, PathsAreBuiltBelowTheRoot)
{
    EXPECT_EQ(SystemPath("/APP/rf_module_type"), root.Path() + "/APP/rf_module_type");
    SetSystemRoot(root.Path() + "/");
    EXPECT_EQ(SystemPath("/APP/x"), root.Path() + "/APP/x");
    SetSystemRoot("");
    EXPECT_EQ(SystemPath("/APP/x"), "/APP/x");
}

TEST(SystemRootEnvironment, TheEnvironmentGivesTheRootUnlessOneIsSet)
{
    const char *saved = std::getenv("TOLVERN_SYSTEM_ROOT");
    const std::string previous = saved ? saved : "";
    ResetSystemRoot();
    ::setenv("TOLVERN_SYSTEM_ROOT", "/tmp/gateway", 1);
    EXPECT_EQ(SystemPath("/APP/wmbus_firmware"), "/tmp/gateway/APP/wmbus_firmware");
    SetSystemRoot("/elsewhere");
    EXPECT_EQ(SystemPath("/APP/wmbus_firmware"), "/elsewhere/APP/wmbus_firmware");
    ResetSystemRoot();
    ::unsetenv("TOLVERN_SYSTEM_ROOT");
    EXPECT_EQ(SystemPath("/sys/class/gpio/export"), "/sys/class/gpio/export");
    if (saved)
        ::setenv("TOLVERN_SYSTEM_ROOT", previous.c_str(), 1);
}

class GpioTest : public SystemRootTest
{
protected:
    void SetUp() override
    {
        SystemRootTest::SetUp();
        root.Write("sys/class/gpio/export", "");
        root.Write("sys/class/gpio/unexport", "");
        root.Write("sys/class/gpio/gpio45/direction", "");
        root.Write("sys/class/gpio/gpio45/value", "");
    }
    std::string Direction() const { return root.Read("sys/class/gpio/gpio45/direction"); }
};

TEST_F(GpioTest, ExportSetValueAndUnexport)
{
    {
        Gpio gpio("45");
        EXPECT_EQ(root.Read("sys/class/gpio/export"), "45");
        gpio.SetValue(1);
        EXPECT_EQ(Direction(), "out");
        EXPECT_EQ(root.Read("sys/class/gpio/gpio45/value"), "1");
        EXPECT_EQ(root.Read("sys/class/gpio/unexport"), "");
    }
    EXPECT_EQ(root.Read("sys/class/gpio/unexport"), "45");
}

TEST_F(GpioTest, DirectionIsSetOnlyWhenItChanges)
{
    Gpio gpio("45");
    gpio.SetValue(1);
    root.Write("sys/class/gpio/gpio45/direction", "marker");
    gpio.SetValue(0);
    EXPECT_EQ(Direction(), "marker"); // already an output
    EXPECT_EQ(root.Read("sys/class/gpio/gpio45/value"), "0");

    root.Write("sys/class/gpio/gpio45/value", "17\n");
    EXPECT_EQ(gpio.GetValue(), 17);
    EXPECT_EQ(Direction(), "in");
    gpio.SetValue(1);
    EXPECT_EQ(Direction(), "out");
}

TEST_F(GpioTest, GetValueWithoutANumberIsZero)
{
    Gpio gpio("45");
    root.Write("sys/class/gpio/gpio45/value", "high");
    EXPECT_EQ(gpio.GetValue(), 0);
    Gpio missing("99");
    EXPECT_EQ(missing.GetValue(), 0);
}

TEST_F(SystemRootTest, GpioAndLedDoNothingWhereTheFilesAreMissing)
{
    {
        Gpio gpio("48");
        gpio.SetValue(1);
        Led led("2");
        led.On();
        led.Blink(100, 200);
    }
    // Nothing was created in place of the missing sysfs files.
    EXPECT_TRUE(boost::filesystem::is_empty(root.Path()));
}

TEST_F(SystemRootTest, LedWritesItsAttributesInOrder)
{
    const std::string dir = "sys/devices/platform/leds-gpio.0/leds/led 2/";
    for (const char *attribute : {"brightness", "trigger", "delay_on", "delay_off"})
        root.Write(dir + attribute, "untouched");
    {
        Led led("2");
        EXPECT_EQ(root.Read(dir + "brightness"), "untouched");
        led.On();
        EXPECT_EQ(root.Read(dir + "trigger"), "none");
        EXPECT_EQ(root.Read(dir + "brightness"), "1");
        led.Blink(250, 750);
        EXPECT_EQ(root.Read(dir + "trigger"), "timer");
        EXPECT_EQ(root.Read(dir + "delay_on"), "250");
        EXPECT_EQ(root.Read(dir + "delay_off"), "750");
        led.On();
    }
    EXPECT_EQ(root.Read(dir + "brightness"), "0");
}

TEST_F(SystemRootTest, MacAddressIsTheFirstWordInUpperCase)
{
    EXPECT_EQ(GetMacAddress(), "");
    root.Write("sys/class/net/eth0/address", "00:1a:2b:3c:4d:5e\n");
    EXPECT_EQ(GetMacAddress(), "00:1A:2B:3C:4D:5E");
}

TEST_F(SystemRootTest, RebootOnlyLeavesItsMarker)
{
    LogCapture capture;
    RebootSystem(); // a desktop without /APP: nothing appears
    EXPECT_TRUE(boost::filesystem::is_empty(root.Path()));
    boost::filesystem::create_directories(root.Path("APP"));
    RebootSystem();
    EXPECT_EQ(capture.Text(), "RebootSystem\nRebootSystem\n");
    EXPECT_TRUE(root.Exists("APP/software_reboot"));
    EraseData(false);
    EXPECT_TRUE(root.Exists("APP/software_reboot"));
}

TEST(ReadFirstLineTest, FirstLineOrEmpty)
{
    TempDir dir;
    LogCapture capture;
    EXPECT_EQ(ReadFirstLine(dir.Write("type", "ZV868\nsecond\n")), "ZV868");
    EXPECT_EQ(ReadFirstLine(dir.Write("noend", "01.02")), "01.02");
    EXPECT_EQ(ReadFirstLine(dir.Path("missing")), "");
    EXPECT_EQ(capture.Text(), "");

    const std::string empty = dir.Write("empty", "");
    EXPECT_EQ(ReadFirstLine(empty), "");
    const std::string text = capture.Text();
    EXPECT_EQ(text.rfind("System.cpp:", 0), 0u) << text;
    const std::string tail = " Can't read file: " + empty + "\n";
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
}

TEST(ExecTest, RunsNothing)
{
    TempDir dir;
    const std::string marker = dir.Path("made-by-a-shell");
    EXPECT_EQ(Exec("touch '" + marker + "'"), "");
    EXPECT_FALSE(dir.Exists("made-by-a-shell"));
    EXPECT_EQ(Md5Sum(marker), std::string(32, '\0'));
}

TEST(PasswordTest, DefaultRootPasswordStopsOnTheEmptyDigest)
{
    TempSystemRoot root;
    LogCapture capture;
    // No MAC address file at all, then one whose digest the inert Exec never gives.
    EXPECT_THROW(SetDefaultRootPassword(), std::out_of_range);
    root.Write("sys/class/net/eth0/address", "00:1a:2b:3c:4d:5e");
    EXPECT_THROW(SetDefaultRootPassword(), std::out_of_range);
    EXPECT_EQ(capture.Text(), "");

    SetUserPassword("guest", "secret");
    EXPECT_EQ(capture.Text(), "Update password for user: guest\n");
}

TEST(PathTextTest, DirNameAndBaseName)
{
    const struct
    {
        const char *path;
        const char *dir;
        const char *base;
    } cases[] = {
        {"a/b/c", "a/b/", "c"},
        {"c", "", "c"},
        {"/APP/", "/APP/", ""},
        {"", "", ""},
    };
    for (const auto &c : cases)
    {
        EXPECT_EQ(DirName(c.path), c.dir) << c.path;
        EXPECT_EQ(BaseName(c.path), c.base) << c.path;
    }
}

TEST(ListDirectoryTest, NamesOfEntriesOfOneType)
{
    TempDir dir;
    dir.Write("one.xml", "x");
    dir.Write("two.XML", "y");
    dir.Write("sub/inner.xml", "z");
    auto files = ListDirectory(dir.Path(), boost::filesystem::regular_file);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"one.xml", "two.XML"}));
    EXPECT_EQ(ListDirectory(dir.Path(), boost::filesystem::directory_file), std::vector<std::string>{"sub"});
    EXPECT_TRUE(ListDirectory(dir.Path("one.xml"), boost::filesystem::regular_file).empty());
    EXPECT_TRUE(ListDirectory(dir.Path("absent"), boost::filesystem::regular_file).empty());
}

TEST(FormatTimeTest, EveryMemberIsEmpty)
{
    EXPECT_EQ(FormatTime(std::time_t(0)), "");
    EXPECT_EQ(FormatTime(), "");
    EXPECT_EQ(FormatTime("%H"), "");
    EXPECT_EQ(FormatTimeStamp(), "");
}

} // namespace
