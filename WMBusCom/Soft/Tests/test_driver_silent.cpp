#include "LogCapture.h"
#include "ModemEmulator.h"
#include "Serial.h"
#include "SystemRoot.h"
#include "WMBC_ZV_Interface.h"

#include <chrono>
#include <gtest/gtest.h>
#include <stdexcept>

using namespace WMBusMod;
using namespace std::chrono_literals;

// A modem that never answers costs Init its tries (about a second each) but does not make it fail;
// the first operation afterwards reports the silence.
TEST(WMBC_ZV_InterfaceSilent, InitReturnsEmptyAndTheNextOperationFails)
{
    const std::string savedRoot = GetSystemRoot();
    SetSystemRoot("/nonexistent-wmbuscom-root");
    ModemEmu::ModemEmulator emulator;
    ModemEmu::Fault silent;
    silent.kind = ModemEmu::FaultKind::Silent;
    silent.count = 0;
    emulator.InjectFault(silent);
    emulator.Start();
    Serial serial;
    serial.Open(emulator.DevicePath(), 115200);
    {
        WMBC_ZV_Interface driver;
        LogCapture log(LogLevel::Trace, LogModule::WMBC);
        const auto start = std::chrono::steady_clock::now();
        driver.Init(serial, nullptr, false);
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 20s) << "the flashing steps must not sit out a whole read time-out";

        EXPECT_EQ(driver.GetSoftwareVersion(), "");
        EXPECT_EQ(driver.GetModuleDescription(), "");
        EXPECT_EQ(driver.GetModuleAddress(), 0u);
        const std::string text = log.Text();
        EXPECT_NE(text.find("Get software version failed: ack not received\n"), std::string::npos);
        EXPECT_NE(text.find("firmware update is needed current: >><< new: >>01.01<<\n"), std::string::npos)
            << "an unanswered version probe leads to the flashing steps";
        EXPECT_NE(text.find("Get module info failed: ack not received\n"), std::string::npos);

        ModemStats stats;
        try
        {
            driver.GetStats(&stats);
            ADD_FAILURE() << "a silent modem answered";
        }
        catch (const std::runtime_error &e)
        {
            EXPECT_STREQ(e.what(), "ack not received");
        }
    }
    // Ten probe tries, five of them for the version, each one "read" of parameter 3 or 2.
    const std::vector<std::vector<uint8_t>> commands = emulator.Record().HostCommands();
    ASSERT_GE(commands.size(), 10u);
    for (size_t i = 0; i < 5; ++i)
    {
        EXPECT_EQ(commands[i], (std::vector<uint8_t>{2, 3, 0})) << i;
    }
    for (size_t i = 5; i < 10; ++i)
    {
        EXPECT_EQ(commands[i], (std::vector<uint8_t>{2, 2, 0})) << i;
    }
    serial.Close();
    emulator.Stop();
    SetSystemRoot(savedRoot);
}
