// Module requests that must wait out a limit: answers that never come and a
// mailbox that stays full.
#include "ConfigTasksTest.h"

using ModemEmu::ModuleAnswer;

namespace
{

const std::string GotAddress = "Got address 12345678d26a0107\n";
const std::string Ok = GotAddress + "AES with iv\nResponse ok\n";

const std::string Failed = "Tolv_Main.cpp:N Request failed: ";

std::string NoResponseWithin(int seconds)
{
    return "Tolv_ConfigTasks.cpp:N No response from module within " + std::to_string(seconds) + " s\n";
}

// The module took the request and did not answer: it cannot be called back.
const std::string WentOut =
    "Tolv_FailedRun.cpp:N The request went out and no answer came: the module may have taken it\n";

} // namespace

// A request whose answer never comes ends the run with exit code 1 once its
// window is over. Each case waits out a window of its own, so each runs as a
// test of its own, in parallel with the others.
struct NoAnswerCase
{
    const char *name;
    std::string args;
    int silentRequest; // index of the request the module leaves unanswered, -1 for all
    std::string out;
    std::vector<uint8_t> cis; // of the requests that reached the module
};

void PrintTo(const NoAnswerCase &c, std::ostream *os)
{
    *os << c.name;
}

class NoAnswer : public ConfigTasksTest, public ::testing::WithParamInterface<NoAnswerCase>
{
};

TEST_P(NoAnswer, IsAFailure)
{
    const NoAnswerCase &c = GetParam();
    StartModem(ModuleConfig());
    if (c.silentRequest < 0)
    {
        module->SetAnswer(ModuleAnswer::None);
    }
    else
    {
        module->SetAnswerFor(static_cast<size_t>(c.silentRequest), ModuleAnswer::None);
    }
    const ProgramRun run = Run(c.args);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(NoDates(run.out), c.out);
    std::vector<uint8_t> cis;
    for (const ModemEmu::ModuleRequest &request : Requests())
    {
        cis.push_back(request.ci);
    }
    EXPECT_EQ(cis, c.cis);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, NoAnswer,
    ::testing::Values(
        // The write of the second item is not answered, so that item is not read back; the check goes on.
        NoAnswerCase{"CheckItem",
                     "-t " + TemplateDir + " --id zv_sensor_02 -c " + ConfigDir + "/write.xml",
                     2,
                     Ok + Ok + GotAddress + NoResponseWithin(30) + WentOut + Ok + Ok +
                         "Read 3 items, error count: 1\n" + Failed + "Configuration check failed for 1 of 3 items\n",
                     {0xA2, 0xA0, 0xA2, 0xA2, 0xA0}},
        NoAnswerCase{"GetLogs",
                     "-g",
                     -1,
                     GotAddress + NoResponseWithin(30) + WentOut + Failed + "No response from module\n",
                     {0xA6}},
        NoAnswerCase{"MissingFrame",
                     "-f 5,10,3",
                     -1,
                     GotAddress + NoResponseWithin(10) + WentOut + Failed + "No response from module\n",
                     {0xA8}}),
    [](const ::testing::TestParamInfo<NoAnswerCase> &info) { return std::string(info.param.name); });

// Whatever is pending when a task starts was left by a run killed outright: all of it goes, not
// only what a full mailbox would need, and the module gets the new request alone.
TEST_F(ConfigTasksTest, LeftoversOfEarlierRunsAreWithdrawnBeforeTheRequest)
{
    StartModem(ModuleConfig());
    // Two requests for a module that never listens fill the mailbox.
    ModemEmu::RadioHeader header;
    header.c = 0x7B;
    header.ci = 0xA0;
    header.transport = ModemEmu::RadioFrame::MakeAddress(0x01010101, 0x6AD2, 0x01, 0x07);
    const Bytes stale = ModemEmu::RadioFrame::Build(header, {0x2F, 0x2F});
    modem.SetMailboxCapacity(2);
    modem.WithCore(
        [&](ModemEmu::ModemCore &core)
        {
            core.GetMailbox().Add(stale);
            core.GetMailbox().Add(stale);
        });
    const ProgramRun run = Run("-d " + Templates() + "-w " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0);
    const std::string out = WithoutHeaders(run.out);
    // With -d the modem commands are traced between these lines.
    size_t at = 0;
    for (const char *line :
         {"\nDelete message 1 from the message queue\n", "\nDelete message 2 from the message queue\n",
          "\nWithdrew 2 messages of an earlier run from the modem's mailbox\n", "\nResponse ok\n"})
    {
        at = out.find(line, at);
        ASSERT_NE(at, std::string::npos) << line << out;
    }

    EXPECT_TRUE(modem.MailboxEntries().empty());
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].ci, 0xA2);
    EXPECT_TRUE(modem.Record().HasEvent("mailbox message 1 withdrawn by the host"));
    EXPECT_TRUE(modem.Record().HasEvent("mailbox message 2 withdrawn by the host"));
}

// A request the module never woke for is taken back when the wait for its answer runs out.
TEST_F(ConfigTasksTest, RequestOfARunThatGaveUpIsWithdrawn)
{
    StartModem(ModuleConfig(), ModemEmu::MailboxDelivery::Never);
    const ProgramRun run = Run("-f 5,10,3");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, GotAddress + NoResponseWithin(10) +
                           "Withdrew 1 message from the modem's mailbox: the module never received it\n" + Failed +
                           "No response from module\n");
    EXPECT_TRUE(modem.MailboxEntries().empty());
    modem.DeliverMailbox();
    EXPECT_TRUE(Requests().empty());
}

// The module takes the first item's write but answers it only together with its next answer,
// after that item's 30 s are over: the late echo comes while the second item is awaited, is named
// for its own item and passed over, and the second item's own echo confirms the second item.
// Nothing is blamed on another item.
TEST_F(ConfigTasksTest, AnAnswerForAnotherItemIsNotThisItemsAnswer)
{
    const TempDir files;
    const std::string twoItems = files.Write("two.xml", "<config id=\"zv_sensor_02\" hlvtb_version=\"1.2\">\n"
                                                        "\t<send_period>300</send_period>\n\t<mode>2</mode>\n</config>\n");
    StartModem(ModuleConfig());
    module->SetAnswerFor(0, ModuleAnswer::Late);

    const ProgramRun run = Run(Templates() + "-c " + twoItems);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, GotAddress + NoResponseWithin(30) + WentOut + GotAddress +
                           "AES with iv\nLate answer for item send_period, resp: 04 FD 3A 2C 01 00 00 2F 2F 2F 2F 2F 2F 2F \n"
                           "AES with iv\nResponse ok\n" + Ok + "Read 2 items, error count: 1\n" + Failed +
                           "Configuration check failed for 1 of 2 items\n");
    std::vector<uint8_t> cis;
    for (const ModemEmu::ModuleRequest &request : Requests())
    {
        cis.push_back(request.ci);
    }
    EXPECT_EQ(cis, (std::vector<uint8_t>{0xA2, 0xA2, 0xA0}));
    EXPECT_EQ(module->Configuration(), ModemEmu::ParseHex("04 FD 3A 2C 01 00 00 01 FD 0E 02"));
}
