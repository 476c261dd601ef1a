// The modules of the modem-emulator program, set up from its command line exactly as the program
// does, each driven by the real Tolvern task it is there for. The example templates and the main
// job's configuration files are the ones shipped.
#include "EmulatorOptions.h"
#include "EmulatorTest.h"
#include "OutputText.h"

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace
{

using namespace std::chrono_literals;

const std::string Source = TOOLKIT_SOURCE_DIR;
const std::string Templates = "-t " + Source + "/Template --id zv_sensor_02 ";
const std::string ReadFileArg = "-r " + Source + "/scripts/main-job/read.xml";
const std::string WriteFile = Source + "/scripts/main-job/write.xml";
const std::string Firmware = std::string(TOLV_FIXTURES_DIR) + "/install/firmware_187.bin";
constexpr const char *OtherKey = "00112233445566778899AABBCCDDEEFF";

class EmulatorModules : public EmulatorTest
{
protected:
    void StartWith(const std::vector<std::string> &args)
    {
        ModemEmu::EmulatorOptions::Parse(args).Apply(modem);
        modem.Start();
    }
};

// The values of the records of a read answer, in order.
std::vector<std::string> RecordValues(const std::string &out)
{
    std::vector<std::string> values;
    const std::regex record("<record [^>]*>([^<]*)</record>");
    for (std::sregex_iterator it(out.begin(), out.end(), record), end; it != end; ++it)
    {
        values.push_back((*it)[1]);
    }
    return values;
}

// The VIF extensions ("0x3a") of the records of a read answer, in order.
std::vector<std::string> RecordExtensions(const std::string &out)
{
    std::vector<std::string> extensions;
    const std::regex record("<record [^>]*vife=\"(0x[0-9a-f]{2})\"[^>]*>");
    for (std::sregex_iterator it(out.begin(), out.end(), record), end; it != end; ++it)
    {
        extensions.push_back((*it)[1]);
    }
    return extensions;
}

} // namespace

TEST_F(EmulatorModules, CommissionedModuleAnswersEveryConfigurationTask)
{
    // The module's own frames give Tolvern its address; its requests go with the next one.
    StartWith({"--commissioned", "--beacon", "300"});

    const ProgramRun before = Run(Templates + ReadFileArg);
    EXPECT_EQ(before.exitCode, 0) << before.out;
    EXPECT_NE(before.out.find("Got address 12345678d26a0107\n"), std::string::npos) << before.out;
    EXPECT_EQ(RecordValues(before.out), (std::vector<std::string>{"120", "1", "14"})) << before.out;
    // The GUI fills the template row whose VIB holds "0xFF" and the record's extension: every item read
    // must find its row, or the Parameters page shows nothing (or a version number) for it.
    const std::vector<std::string> extensions = RecordExtensions(before.out);
    EXPECT_EQ(extensions, (std::vector<std::string>{"0x3a", "0x0e", "0x3b"})) << before.out;
    const std::string sensorTemplate = ReadFile(Source + "/Template/zv_sensor_02.xml");
    for (const std::string &extension : extensions)
    {
        std::string row = "<vib>0xFF" + extension.substr(2) + "</vib>";
        std::transform(row.begin() + 9, row.begin() + 11, row.begin() + 9, ::toupper);
        EXPECT_NE(sensorTemplate.find(row), std::string::npos) << row;
    }

    const ProgramRun write = Run(Templates + "-w " + WriteFile);
    EXPECT_EQ(write.exitCode, 0);
    EXPECT_NE(write.out.find("Response ok\n"), std::string::npos) << write.out;

    const ProgramRun check = Run(Templates + "-c " + WriteFile);
    EXPECT_EQ(check.exitCode, 0);
    EXPECT_NE(check.out.find("Read 3 items, error count: 0\n"), std::string::npos) << check.out;

    const ProgramRun after = Run(Templates + ReadFileArg);
    EXPECT_EQ(RecordValues(after.out), (std::vector<std::string>{"300", "2", "14"})) << after.out;

    // The whole configuration, the index of the second example template included.
    const ProgramRun all = Run("--read-conf-all");
    EXPECT_EQ(RecordValues(all.out), (std::vector<std::string>{"300", "2", "14", "1234"})) << all.out;

    const ProgramRun logs = Run("-g");
    EXPECT_EQ(logs.exitCode, 0);
    EXPECT_NE(logs.out.find("AES with iv\n<mbus"), std::string::npos) << logs.out;

    const ProgramRun missing = Run("-f 1,2,3");
    EXPECT_EQ(missing.exitCode, 0);
    EXPECT_NE(missing.out.find("AES with iv\n<mbus"), std::string::npos) << missing.out;
}

TEST_F(EmulatorModules, ModuleAddressAndKeyComeFromTheCommandLine)
{
    // --key of the module itself wins over --module-key, which keys the others.
    StartWith({"--commissioned", "--address", "0x11223344d26a021b", "--key", OtherKey, "--beacon", "300",
               "--concentrator", "--module-key", "0F0E0D0C0B0A09080706050403020100"});
    const ProgramRun run = Run(std::string("-k ") + OtherKey + " --read-conf-all");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_NE(run.out.find("Got address 11223344d26a021b\n"), std::string::npos) << run.out;
    EXPECT_EQ(RecordValues(run.out), (std::vector<std::string>{"120", "1", "14", "1234"})) << run.out;
}

TEST_F(EmulatorModules, FirmwareReceiverTakesOneUpdateAfterAnother)
{
    // At the commissioned module's address, as by default: one module, whose frames carry the mail.
    StartWith({"--commissioned", "--beacon", "300", "--firmware-receiver"});
    for (int update = 0; update < 2; ++update)
    {
        const ProgramRun run = Run("-u " + Firmware);
        EXPECT_EQ(run.exitCode, 0) << "update " << update;
        EXPECT_NE(run.out.find("Firmware with 187 sent\n"), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Update status: 0\n"), std::string::npos) << "update " << update << "\n" << run.out;
    }
}

TEST_F(EmulatorModules, CommissionedModuleFramesCarryWhatModuleInformationShows)
{
    StartWith({"--commissioned", "--beacon", "300"});
    ListenProcess &tolvern = Start("-l");
    const bool heard = tolvern.WaitFor(
        [](const std::string &out) { return out.find("</mbus>") != std::string::npos; }, 10s);
    tolvern.Kill();
    ASSERT_TRUE(heard) << tolvern.Output();
    const std::string out = tolvern.Output();
    EXPECT_NE(out.find("<Type>RSP-UD</Type>"), std::string::npos) << out;
    EXPECT_NE(out.find("unit=\"Firmware version\" storage=\"0\">258</record>"), std::string::npos) << out;
    EXPECT_NE(out.find("vife=\"0x46\" storage=\"0\">3600</record>"), std::string::npos) << out;
}

TEST_F(EmulatorModules, AllModulesAnswerTheTestFrameWithTwoConcentrators)
{
    StartWith({"--all-modules"});
    ListenProcess &tolvern = Start("--send-frame");
    const bool answered = tolvern.WaitFor(
        [](const std::string &out) {
            return out.find("<Id>00990001</Id>") != std::string::npos &&
                   out.find("<Id>00990002</Id>") != std::string::npos;
        },
        10s);
    tolvern.Kill();
    EXPECT_TRUE(answered) << tolvern.Output();
    EXPECT_EQ(CountOf(tolvern.Output(), "<Type>SND-NKE</Type>"), 2u) << tolvern.Output();
}
