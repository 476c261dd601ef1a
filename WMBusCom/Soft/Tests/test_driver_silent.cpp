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

// A modem that never answers costs Init its tries (about a second and a half each); then Init
// fails rather than leave an empty identity to be taken for the modem's.
TEST(WMBC_ZV_InterfaceSilent, InitFailsAfterItsTries)
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
        try
        {
            driver.Init(serial, nullptr, false);
            ADD_FAILURE() << "a silent modem passed Init";
        }
        catch (const std::runtime_error &e)
        {
            EXPECT_STREQ(e.what(), "modem not responding");
        }
        const auto took = std::chrono::steady_clock::now() - start;
        EXPECT_LT(took, 40s) << "the flashing steps must not sit out a whole read time-out";

        const std::string text = log.Text();
        EXPECT_NE(text.find("Get software version failed: ack not received\n"), std::string::npos);
        EXPECT_NE(text.find("firmware update is needed current: >><< new: >>01.01<<\n"), std::string::npos)
            << "an unanswered version probe leads to the flashing steps";
        EXPECT_NE(text.find("Get module info failed: ack not received\n"), std::string::npos);
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
