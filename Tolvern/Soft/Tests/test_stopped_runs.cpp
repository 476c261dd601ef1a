// Runs that end without their answer, stopped by a signal or killed outright: the module never
// acts on a request the user was told had failed.
#include "ConfigTasksTest.h"

#include <signal.h>

#include <chrono>

namespace
{

using ModemEmu::MailboxDelivery;

const std::string WriteArgs = "--nowait -t " + TemplateDir + " --id zv_sensor_02 -w " + ConfigDir + "/write.xml";
constexpr std::chrono::seconds Patience{10};

const std::string NeverReceived = "Withdrew 1 message from the modem's mailbox: the module never received it\n";
const std::string WentOut =
    "Tolv_FailedRun.cpp:N The request went out and no answer came: the module may have taken it\n";

struct StopCase
{
    const char *name;
    int signalNumber;
};

void PrintTo(const StopCase &c, std::ostream *os)
{
    *os << c.name;
}

class StoppedRun : public ConfigTasksTest, public ::testing::WithParamInterface<StopCase>
{
protected:
    // The module sleeps: requests stay in the mailbox until the test lets it wake.
    void StartSleepingModule() { StartModem(ModuleConfig(), MailboxDelivery::Never); }

    bool WaitPending(size_t count)
    {
        return modem.Record().WaitUntil([&] { return modem.MailboxEntries().size() == count; }, Patience);
    }

    void WakeModule()
    {
        modem.WithCore([](ModemEmu::ModemCore &core) { core.Config().delivery = MailboxDelivery::Immediate; });
        modem.DeliverMailbox();
    }
};

} // namespace

TEST_P(StoppedRun, WithdrawsItsPendingWrite)
{
    StartSleepingModule();
    const std::vector<uint8_t> before = module->Configuration();
    ListenProcess &run = Start(WriteArgs);
    ASSERT_TRUE(WaitPending(1)) << run.Output();

    run.Signal(GetParam().signalNumber);
    EXPECT_EQ(run.WaitExit(Patience), 1);
    EXPECT_EQ(NoLineNumbers(run.Output()), "Got address 12345678d26a0107\n" + NeverReceived +
                                               "Tolv_Main.cpp:N Request failed: Run stopped by " + GetParam().name +
                                               "\n");
    EXPECT_TRUE(modem.MailboxEntries().empty());
    EXPECT_TRUE(modem.Record().HasEvent("withdrawn by the host"));

    WakeModule();
    EXPECT_TRUE(Requests().empty());
    EXPECT_EQ(module->Configuration(), before);
}

INSTANTIATE_TEST_SUITE_P(Signals, StoppedRun,
                         ::testing::Values(StopCase{"SIGTERM", SIGTERM}, StopCase{"SIGINT", SIGINT},
                                           StopCase{"SIGHUP", SIGHUP}),
                         [](const ::testing::TestParamInfo<StopCase> &info) { return std::string(info.param.name); });

TEST_F(ConfigTasksTest, StoppedAfterTheModuleTookTheRequestSaysItWentOut)
{
    StartModem(ModuleConfig());
    module->SetAnswer(ModemEmu::ModuleAnswer::None);
    ListenProcess &run = Start(WriteArgs);
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return Requests().size() == 1; }, Patience)) << run.Output();

    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(Patience), 1);
    EXPECT_EQ(NoLineNumbers(run.Output()),
              "Got address 12345678d26a0107\n" + WentOut + "Tolv_Main.cpp:N Request failed: Run stopped by SIGTERM\n");
    EXPECT_FALSE(modem.Record().HasEvent("withdrawn by the host"));
}

TEST_F(ConfigTasksTest, WriteKilledWhilePendingNeverReachesTheModule)
{
    StartModem(ModuleConfig(), MailboxDelivery::Never);
    const std::vector<uint8_t> before = module->Configuration();
    Start(WriteArgs);
    ASSERT_TRUE(modem.Record().WaitUntil([&] { return modem.MailboxEntries().size() == 1; }, Patience))
        << program->Output();
    program->Kill(); // as outright as a power cut: nothing of the run is left to tidy up

    modem.WithCore([](ModemEmu::ModemCore &core) { core.Config().delivery = MailboxDelivery::Immediate; });
    const ProgramRun read = Run("--read-conf-all");
    EXPECT_EQ(read.exitCode, 0) << read.out;
    EXPECT_EQ(read.out.rfind("Got address 12345678d26a0107\n"
                             "Withdrew 1 message of an earlier run from the modem's mailbox\n",
                             0),
              0u)
        << read.out;
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].ci, 0xA0);
    EXPECT_EQ(module->Configuration(), before);
}

TEST_F(ConfigTasksTest, ListenStoppedEndsByTheSignalAsBefore)
{
    StartModem(ModuleConfig());
    ListenProcess &run = Start("--listen");
    run.Signal(SIGTERM);
    EXPECT_EQ(run.WaitExit(Patience), -1); // ended by the signal, as a run that queued nothing always did
    EXPECT_FALSE(run.Running());
    EXPECT_EQ(run.Output().find("Request failed"), std::string::npos);
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}
