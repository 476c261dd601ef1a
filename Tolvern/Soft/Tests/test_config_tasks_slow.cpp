// Module requests that must wait out a limit: answers that never come and a
// mailbox that stays full.
#include "ConfigTasksTest.h"

using ModemEmu::ModuleAnswer;

namespace
{

const std::string GotAddress = "Got address 12345678d26a0107\n";
const std::string Ok = GotAddress + "AES with iv\nResponse ok\n";

} // namespace

TEST_F(ConfigTasksTest, CheckCountsAWriteAnswerThatNeverComesAndDoesNotReadItBack)
{
    StartModem(ModuleConfig());
    module->SetAnswerFor(2, ModuleAnswer::None); // the write of the second item
    const ProgramRun run = Run(Templates() + "-c " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, Ok + Ok + GotAddress + Ok + Ok + "Read 3 items, error count: 1\n");
    std::vector<uint8_t> cis;
    for (const ModemEmu::ModuleRequest &request : Requests())
    {
        cis.push_back(request.ci);
    }
    EXPECT_EQ(cis, (std::vector<uint8_t>{0xA2, 0xA0, 0xA2, 0xA2, 0xA0}));
}

TEST_F(ConfigTasksTest, GetLogsWithoutAnswerEndsAfterItsWindow)
{
    StartModem(ModuleConfig());
    module->SetAnswer(ModuleAnswer::None);
    const ProgramRun run = Run("-g");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, GotAddress);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].ci, 0xA6);
}

TEST_F(ConfigTasksTest, MissingFrameRequestTooLongToEncryptIsNeverSent)
{
    // 19 ranges fit the frame plain, but not once its data are filled up to whole blocks.
    std::string list = "5";
    for (int i = 0; i < 19; ++i)
    {
        list += "," + std::to_string(i) + ",1";
    }
    StartModem(ModuleConfig());
    const ProgramRun run = Run("-f " + list);
    EXPECT_EQ(run.exitCode, 0);
    std::string failures;
    for (int i = 0; i < 5; ++i)
    {
        failures += "Tolv_RequestTasks.cpp:N Failed to send request\n";
    }
    EXPECT_EQ(run.out, GotAddress + failures);
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}

TEST_F(ConfigTasksTest, FullMailboxLosesItsLowestMessageBeforeTheRequest)
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
    const size_t deleted = out.find("\nDelete message 1 from the message queue\n");
    ASSERT_NE(deleted, std::string::npos) << out;
    EXPECT_NE(out.find("\nResponse ok\n", deleted), std::string::npos) << out;

    const std::vector<ModemEmu::MailboxEntry> left = modem.MailboxEntries();
    ASSERT_EQ(left.size(), 1u);
    EXPECT_EQ(left[0].id, 2);
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].ci, 0xA2);
}
