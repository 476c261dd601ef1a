// The modem-emulator program: its options and a run of the built binary.
#include "EmulatorOptions.h"
#include "HexBytes.h"
#include "PtyClient.h"

#include <csignal>
#include <cstdio>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

using namespace ModemEmu;
using Bytes = std::vector<uint8_t>;

TEST(EmulatorOptions, ReadsIdentityMetersAndFaults)
{
    const EmulatorOptions options = EmulatorOptions::Parse({
        "--link",
        "/tmp/x",
        "--sw-version",
        "02.00",
        "--manufacturer",
        "0201",
        "--id",
        "44332211",
        "--id-type",
        "1b",
        "--mode",
        "5",
        "--channel",
        "10",
        "--mailbox",
        "3",
        "--stats",
        "1,2,3,4",
        "--param",
        "22=0F",
        "--meter",
        "1044D26A7856341201077A010000002F2F,1144D26A7856341201077A020000002F2F01",
        "--period",
        "250",
        "--key",
        "0102030405060708090A0B0C0D0E0F11",
        "--signal",
        "B0",
        "--once",
        "--meter",
        "0B44D26A78563412010778AA",
        "--fault",
        "nak@0:2",
        "--time-limit",
        "5",
        "--no-host-wait",
        "--mailbox-delivery",
        "immediate",
    });
    EXPECT_EQ(options.linkPath, "/tmp/x");
    EXPECT_EQ(options.identity.swVersion, "02.00");
    EXPECT_EQ(options.identity.manufacturer, 0x0201);
    EXPECT_EQ(options.identity.id, 0x44332211u);
    EXPECT_EQ(options.identity.type, 0x1B);
    EXPECT_EQ(options.identity.mode, 5);
    EXPECT_EQ(options.identity.channel, 10);
    EXPECT_EQ(options.mailboxCapacity, 3u);
    EXPECT_EQ(options.stats, (std::array<uint32_t, 4>{1, 2, 3, 4}));
    ASSERT_EQ(options.rawParams.size(), 1u);
    EXPECT_EQ(options.rawParams[0].first, 22);
    ASSERT_EQ(options.meters.size(), 2u);
    EXPECT_EQ(options.meters[0].frames.size(), 2u);
    EXPECT_EQ(options.meters[0].period, std::chrono::milliseconds(250));
    EXPECT_TRUE(options.meters[0].key);
    EXPECT_EQ(options.meters[0].signal, 0xB0);
    EXPECT_FALSE(options.meters[0].repeat);
    EXPECT_FALSE(options.meters[1].key);
    EXPECT_TRUE(options.meters[1].repeat);
    ASSERT_EQ(options.faults.size(), 1u);
    EXPECT_EQ(options.faults[0].kind, FaultKind::Nak);
    EXPECT_EQ(options.timeLimitSeconds, 5u);
    EXPECT_FALSE(options.core.requireHost);
    EXPECT_EQ(options.core.delivery, MailboxDelivery::Immediate);
}

TEST(EmulatorOptions, RefusesBadCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        {"--bogus"},
        {"--link"},
        {"--period", "100"},                    // no meter yet
        {"--meter", "0B44"},                    // too short for a frame
        {"--meter", "0B44D26A78563412010778A"}, // odd digits
        {"--meter", "0B44D26A78563412010778AA", "--key", "0102"},
        {"--id", "123456789"}, // five bytes
        {"--mode", "-1"},
        {"--stats", "1,2,3"},
        {"--param", "5=01"}, // no such parameter
        {"--param", "20"},
        {"--fault", "late-ack:x"},
        {"--mailbox-delivery", "sometimes"},
        {"--time-limit", "1.5"},
        {"--key", "0102030405060708090A0B0C0D0E0F11"}, // no module yet
        {"--name", "x"},
        {"--concentrator", "--period", "100"}, // a meter's setting
        {"--beacon", "100"},                   // no commissioned module
        {"--plain-answers"},
        {"--installing", "--fillers", "2"},
        {"--commissioned", "--fillers", "33"},
        {"--commissioned", "--fillers", "-1"},
        {"--meter", "0B44D26A78563412010778AA", "--beacon", "100"},
        {"--commissioned", "--address", "0x1234"},
        {"--commissioned", "--address", "0x12345678d26a01zz"},
        {"--installing", "--key", "0102"},
        {"--module-key", "zz"},
    };
    for (const auto &args : cases)
        EXPECT_THROW(EmulatorOptions::Parse(args), std::invalid_argument) << args[0];
}

TEST(EmulatorOptions, ModuleSettingsGoToTheModuleGivenLast)
{
    const std::string own = "0102030405060708090A0B0C0D0E0F11";
    const std::string others = "F0E0D0C0B0A090807060504030201000";
    const EmulatorOptions options = EmulatorOptions::Parse({
        "--commissioned",
        "--key",
        own,
        "--beacon",
        "0",
        "--plain-answers",
        "--fillers",
        "3",
        "--concentrator",
        "--concentrator",
        "--name",
        "far",
        "--signal",
        "A0",
        "--installing",
        "--address",
        "0x0102030405060708",
        "--signal",
        "B8",
        "--module-key",
        others,
        "--meter",
        "0B44D26A78563412010778AA",
        "--name",
        "plain meter",
    });
    ASSERT_EQ(options.commissioned.size(), 1u);
    EXPECT_EQ(options.commissioned[0].key, Aes128Cbc::ParseKey(own));
    EXPECT_EQ(options.commissioned[0].beaconPeriod, std::chrono::milliseconds(0));
    EXPECT_FALSE(options.commissioned[0].encryptAnswers);
    EXPECT_EQ(options.commissioned[0].answerFillers, 3u);
    EXPECT_EQ(options.commissioned[0].address, RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07));

    ASSERT_EQ(options.concentrators.size(), 2u);
    EXPECT_EQ(options.concentrators[0].address, RadioFrame::MakeAddress(0x00990001, 0x6AD2, 0x01, 0x31));
    EXPECT_EQ(options.concentrators[1].address, RadioFrame::MakeAddress(0x00990002, 0x6AD2, 0x01, 0x31));
    EXPECT_EQ(options.concentrators[1].name, "far");
    EXPECT_EQ(options.concentrators[1].signal, 0xA0);
    EXPECT_NE(options.concentrators[0].signal, 0xA0);
    for (const ConcentratorConfig &concentrator : options.concentrators)
        EXPECT_EQ(concentrator.key, Aes128Cbc::ParseKey(others));

    ASSERT_EQ(options.installing.size(), 1u);
    EXPECT_EQ(options.installing[0].address, (RadioAddress{1, 2, 3, 4, 5, 6, 7, 8}));
    EXPECT_EQ(options.installing[0].key, Aes128Cbc::ParseKey(others));
    for (const InstallFrame &frame : options.installing[0].frames)
        EXPECT_EQ(frame.signal, 0xB8);

    ASSERT_EQ(options.meters.size(), 1u);
    EXPECT_EQ(options.meters[0].name, "plain meter");
    EXPECT_FALSE(options.meters[0].key); // --module-key is for the scripted modules only
}

TEST(EmulatorOptions, AllModulesIsOneOfEachAndTwoConcentrators)
{
    const EmulatorOptions options = EmulatorOptions::Parse({"--all-modules"});
    EXPECT_EQ(options.commissioned.size(), 1u);
    EXPECT_EQ(options.firmwareReceivers.size(), 1u);
    EXPECT_EQ(options.installing.size(), 1u);
    EXPECT_EQ(options.concentrators.size(), 2u);
    // The firmware receiver is the commissioned module in another role: Tolvern's default address.
    EXPECT_EQ(options.firmwareReceivers[0].address, options.commissioned[0].address);
    EXPECT_TRUE(options.firmwareReceivers[0].key);
}

namespace
{

// Runs the program with its standard output on a pipe.
class ProgramRun
{
public:
    explicit ProgramRun(std::vector<std::string> args)
    {
        int out[2];
        if (pipe(out) != 0)
            throw std::runtime_error("pipe");
        pid_ = fork();
        if (pid_ == 0)
        {
            dup2(out[1], 1);
            close(out[0]);
            close(out[1]);
            std::vector<char *> argv{const_cast<char *>(MODEM_EMULATOR_BINARY)};
            for (std::string &arg : args)
                argv.push_back(arg.data());
            argv.push_back(nullptr);
            execv(MODEM_EMULATOR_BINARY, argv.data());
            _exit(127);
        }
        close(out[1]);
        output_ = fdopen(out[0], "r");
    }
    ~ProgramRun()
    {
        if (pid_ > 0)
        {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        if (output_)
            fclose(output_);
    }
    std::string ReadLine()
    {
        char line[512] = {};
        if (!fgets(line, sizeof line, output_))
            return "";
        std::string text = line;
        if (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    int Terminate()
    {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE *output_ = nullptr;
};

} // namespace

TEST(EmulatorProgram, PrintsItsDeviceAndPlaysTheModemUntilTerminated)
{
    char dir[] = "/tmp/modememu-prog-XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    const std::string link = std::string(dir) + "/ttyModem";
    const std::string record = std::string(dir) + "/record.txt";
    const std::string meter = "0B44D26A78563412010778AA";
    {
        ProgramRun run({"--link", link, "--sw-version", "09.09", "--meter", meter, "--period", "50", "--signal", "B0",
                        "--record", record, "--time-limit", "30"});
        const std::string device = run.ReadLine();
        ASSERT_EQ(device.rfind("/dev/pts/", 0), 0u) << device;
        char target[256] = {};
        ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
        EXPECT_EQ(device, target);

        PtyClient client(link);
        const Bytes version = client.Command({0x02, 0x03, 0x00}, 0);
        EXPECT_EQ(version, (Bytes{0x01, 0x00, 0x05, '0', '9', '.', '0', '9'}));
        auto radio = client.ReadFrame(std::chrono::milliseconds(1000));
        ASSERT_TRUE(radio);
        EXPECT_EQ(PayloadOf(*radio), ParseHex("0C44D26A78563412010778AAB0"));
        client.Ack(*radio);
        EXPECT_EQ(run.Terminate(), 0);
    }
    EXPECT_NE(access(link.c_str(), F_OK), 0);
    std::ifstream in(record);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_NE(text.str().find("host: FF06000203"), std::string::npos) << text.str();
    unlink(record.c_str());
    rmdir(dir);
}

TEST(EmulatorProgram, ExitsWithTwoOnABadOption)
{
    ProgramRun run({"--meter", "zz"});
    EXPECT_EQ(run.ReadLine(), "");
    EXPECT_EQ(run.Terminate(), 2);
}
