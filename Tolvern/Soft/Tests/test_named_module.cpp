// The module named with -a is the one a task acts on, with another of the maker's modules on
// the air; without -a the first module heard is learnt, as the GUI relies on.
#include "CommissionedModule.h"
#include "EmulatorTest.h"
#include "HexBytes.h"
#include "RadioFrame.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace
{

const std::string Fixtures = std::string(TOLV_FIXTURES_DIR) + "/config_tasks";
const std::string Write = "-t " + Fixtures + "/templates --id zv_sensor_02 -w " + Fixtures + "/config/write.xml";
// The records of write.xml once written: send_period 300, mode 2, power 14.
const std::string Held = "04 FD 3A 78 00 00 00 01 FD 0E 01";
const std::string Written = "04 FD 3A 2C 01 00 00 01 FD 0E 02 02 FD 3B 0E 00";

// Two commissioned modules of the maker: "named" at the default address 12345678d26a0107 and
// "other" at 87654321d26a0107. other announces itself every beaconMs from the start; named
// every namedBeaconMs (0: never), first after that time.
class NamedModuleTest : public EmulatorTest
{
protected:
    void StartModules(int namedBeaconMs, int otherBeaconMs)
    {
        named = Module("named", 0x78563412, namedBeaconMs, namedBeaconMs);
        other = Module("other", 0x21436587, otherBeaconMs, 10);
        modem.AddModule(named);
        modem.AddModule(other);
        modem.Start();
    }

    static std::shared_ptr<ModemEmu::CommissionedModule> Module(const std::string &name, uint32_t id, int periodMs,
                                                                int firstMs)
    {
        ModemEmu::CommissionedConfig config;
        config.name = name;
        config.address = ModemEmu::RadioFrame::MakeAddress(id, 0x6AD2, 0x01, 0x07);
        config.configuration = ModemEmu::ParseHex(Held);
        config.beaconPeriod = std::chrono::milliseconds(periodMs);
        config.beaconFirstDelay = std::chrono::milliseconds(firstMs);
        return std::make_shared<ModemEmu::CommissionedModule>(config);
    }

    std::shared_ptr<ModemEmu::CommissionedModule> named;
    std::shared_ptr<ModemEmu::CommissionedModule> other;
};

// The lines of out up to "Frame received": the magnet line, then those of the frames passed over.
std::string WaitLines(const std::string &out)
{
    return out.substr(0, out.find("Frame received\n"));
}

} // namespace

TEST_F(NamedModuleTest, OnlyTheNamedModuleIsConfigured)
{
    // other speaks every 400 ms from the start; named first after 3 s: other is heard first.
    StartModules(3000, 400);
    const std::string passedOver =
        "Tolv_Receive.cpp:N Address don't match: heard 87654321d26a0107, waiting for 12345678d26a0107\n";

    const ProgramRun first = Run("-a 12345678d26a0107 " + Write);
    EXPECT_EQ(first.exitCode, 0) << first.out;
    const std::string waited = WaitLines(first.out);
    ASSERT_EQ(waited.rfind("Place a magnet on product\n" + passedOver, 0), 0u) << first.out;
    EXPECT_EQ(CountOf(waited, passedOver), CountOf(waited, "\n") - 1) << first.out;
    EXPECT_NE(first.out.find("Frame received\nGot address 12345678d26a0107\n"), std::string::npos) << first.out;
    EXPECT_NE(first.out.find("Response ok\n"), std::string::npos) << first.out;
    EXPECT_EQ(named->Configuration(), ModemEmu::ParseHex(Written));
    EXPECT_TRUE(other->Requests().empty());
    EXPECT_EQ(other->Configuration(), ModemEmu::ParseHex(Held));

    // The named module is the one heard first (or not): it alone is configured again.
    const ProgramRun second = Run("-a 0X87654321D26A0107 " + Write);
    EXPECT_EQ(second.exitCode, 0) << second.out;
    EXPECT_NE(second.out.find("Frame received\nGot address 87654321d26a0107\n"), std::string::npos) << second.out;
    EXPECT_EQ(CountOf(second.out, "heard 87654321d26a0107"), 0u) << second.out;
    EXPECT_EQ(other->Configuration(), ModemEmu::ParseHex(Written));
    EXPECT_EQ(named->Requests().size(), 1u);
    for (const ModemEmu::HostRadioFrame &sent : modem.Record().RadioFrames())
    {
        ASSERT_TRUE(sent.destination.has_value());
        EXPECT_TRUE(*sent.destination == named->Address() || *sent.destination == other->Address());
    }
    EXPECT_EQ(modem.Record().RadioFrames().size(), 2u);
}

TEST_F(NamedModuleTest, WithoutAnAddressTheFirstModuleHeardIsLearnt)
{
    // Only other speaks; the default address (named's) is no filter without -a.
    StartModules(0, 400);
    const ProgramRun run = Run(Write);
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out.rfind("Place a magnet on product\nFrame received\nGot address 87654321d26a0107\n", 0), 0u)
        << run.out;
    EXPECT_EQ(other->Configuration(), ModemEmu::ParseHex(Written));
    EXPECT_TRUE(named->Requests().empty());
}
