// Module requests end to end: the built program against the emulated modem
// and a commissioned module that decrypts each request and answers it.
#include "ConfigTasksTest.h"

using ModemEmu::ModuleAnswer;

namespace
{

const std::string GotAddress = "Got address 12345678d26a0107\n";
const std::string Aes = "AES with iv\n";

std::string Expected(const std::string &name)
{
    return ReadFile(TasksFixtures + "/expected/" + name);
}

std::vector<uint8_t> Cis(const std::vector<ModemEmu::ModuleRequest> &requests)
{
    std::vector<uint8_t> cis;
    for (const ModemEmu::ModuleRequest &request : requests)
    {
        cis.push_back(request.ci);
    }
    return cis;
}

// send_period 300, mode 2, power 14, as write.xml has them.
const char *const WriteItems = "04 FD 3A 2C 01 00 00 01 FD 0E 02 02 FD 3B 0E 00";

} // namespace

TEST_F(ConfigTasksTest, WriteSendsTheEncodedItemsAndTakesTheirEcho)
{
    StartModem(ModuleConfig());
    const ProgramRun run = Run(Templates() + "-w " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, GotAddress + Aes + "Response ok\n");

    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].ci, 0xA2);
    EXPECT_TRUE(requests[0].decrypted);
    EXPECT_EQ(requests[0].plain, Plain(WriteItems));
    EXPECT_EQ(module->Configuration(), ModemEmu::ParseHex(WriteItems));
}

TEST_F(ConfigTasksTest, WriteAnswerMustHoldTheWholeRequest)
{
    // The answer's data run on with the fillers of its last block.
    const std::string error = "Tolv_ConfigTasks.cpp:N Response error! resp: ";
    const std::string req = ", req: 04 FD 3A 2C 01 00 00 01 FD 0E 02 02 FD 3B 0E 00 \n";
    // The module did not take the values it did not echo: the run fails.
    const std::string failed = "Tolv_Main.cpp:N Request failed: Configuration not confirmed by the module\n";
    struct Case
    {
        ModuleAnswer answer;
        int exitCode;
        std::string out;
    };
    const Case cases[] = {
        {ModuleAnswer::Extended, 0, Aes + "Response ok\n"},
        // The first answer comes from another module and must not be taken.
        {ModuleAnswer::Impostor, 0, Aes + Aes + "Response ok\n"},
        {ModuleAnswer::Wrong, 1,
         Aes + error +
             "04 FD 3A 2C 01 00 00 01 FD 0E 02 02 FD 3B 0E FF 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F "
             "2F 2F 2F " +
             req + failed},
        {ModuleAnswer::Short, 1, Aes + error + "04 FD 3A 2C 01 00 00 01 2F 2F 2F 2F 2F 2F " + req + failed},
        {ModuleAnswer::Empty, 1, Aes + error + "2F 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F " + req + failed},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        module->SetAnswer(c.answer);
        const ProgramRun run = Run(Templates() + "-w " + Config("write.xml"));
        EXPECT_EQ(run.exitCode, c.exitCode) << static_cast<int>(c.answer);
        EXPECT_EQ(run.out, GotAddress + c.out) << static_cast<int>(c.answer);
    }
}

// EN 13757-3 allows idle fillers anywhere between records: an echo with fillers before, between
// and after its records confirms the write, plain or encrypted (after the two fillers that every
// encrypted answer starts with).
class FillerEchoTest : public ConfigTasksTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(FillerEchoTest, EchoWithFillersBetweenItsRecordsConfirmsTheWrite)
{
    const bool encrypted = GetParam();
    ModemEmu::CommissionedConfig config = ModuleConfig();
    config.encryptAnswers = encrypted;
    config.answerFillers = 2;
    StartModem(config);
    const ProgramRun run = Run(Templates() + "-w " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, GotAddress + (encrypted ? Aes : "") + "Response ok\n");
    EXPECT_EQ(module->Configuration(), ModemEmu::ParseHex(WriteItems));
}

INSTANTIATE_TEST_SUITE_P(PlainAndEncrypted, FillerEchoTest, ::testing::Values(false, true));

// What only the GUI shows or checks (labels, help, sections, access, validation) is never what
// goes on the air: comments and markup there change nothing.
TEST_F(ConfigTasksTest, TemplateWithCommentsAndMarkupInUnsentFieldsIsWritten)
{
    const TempDir templates;
    std::string text =
        SensorTemplateWith("<pretty_name>Send period</pretty_name>", "<pretty_name>Send <b>period</b></pretty_name>");
    for (const auto &[from, to] : std::vector<std::pair<std::string, std::string>>{
             {"<description>Seconds between two frames</description>",
              "<description>Seconds<!-- not ms --> between two frames</description>"},
             {"<regex>[0-9]</regex>", "<regex>[0-9]<!-- one digit --></regex>"},
             {"<min>10</min>", "<min>ten</min>"},
             {"<access_right>rw</access_right>", "<access_right>r<i>w</i></access_right>"},
             {"<section>Radio</section>", "<section><!-- first -->Radio</section>"}})
    {
        const size_t at = text.find(from);
        ASSERT_NE(at, std::string::npos) << from;
        text.replace(at, from.size(), to);
    }
    templates.Write("sensor.xml", text);
    StartModem(ModuleConfig());
    const ProgramRun run = Run("-t " + templates.Path() + " --id zv_sensor_02 -w " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0) << run.out;
    EXPECT_EQ(run.out, GotAddress + Aes + "Response ok\n");
    EXPECT_EQ(module->Configuration(), ModemEmu::ParseHex(WriteItems));
}

TEST_F(ConfigTasksTest, ReadAsksForTheItemsOfTheFileAndPrintsTheAnswer)
{
    StartModem(ModuleConfig());
    const ProgramRun run = Run(Templates() + "-r " + Config("read.xml"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(NoDates(run.out), Expected("read_file.txt"));

    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].ci, 0xA0);
    // Read mode: items without text carry zero values.
    EXPECT_EQ(requests[0].plain, Plain("04 FD 3A 00 00 00 00 02 FD 3B 00 00"));
}

TEST_F(ConfigTasksTest, ReadAllSendsAnEmptyRead)
{
    StartModem(ModuleConfig());
    const ProgramRun run = Run("--read-conf-all");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(NoDates(run.out), Expected("read_all.txt"));

    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].ci, 0xA0);
    EXPECT_EQ(requests[0].plain, Plain(""));
}

TEST_F(ConfigTasksTest, FirstFrameGivesTheAddressOfTheRequests)
{
    ModemEmu::CommissionedConfig config = ModuleConfig();
    config.address = ModemEmu::RadioFrame::MakeAddress(0x44332211, 0x6AD2, 0x02, 0x1B);
    config.key = ModemEmu::Aes128Cbc::ParseKey("00112233445566778899AABBCCDDEEFF");
    config.beaconPeriod = std::chrono::milliseconds(200);
    // The module listens, and so takes its mail, right after each of its own frames.
    StartModem(config, ModemEmu::MailboxDelivery::OnModuleTransmit);

    const ProgramRun run =
        EmulatorTest::Run("-k 00112233445566778899AABBCCDDEEFF " + Templates() + "-w " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out,
              "Place a magnet on product\nFrame received\nGot address 11223344d26a021b\n" + Aes + "Response ok\n");
    ASSERT_EQ(Requests().size(), 1u);
    EXPECT_EQ(Requests()[0].plain, Plain(WriteItems));
}

TEST_F(ConfigTasksTest, CheckWritesAndReadsBackEachItem)
{
    StartModem(ModuleConfig());
    // Requests: write 1, read 1, write 2 (answered wrongly, so not read back), write 3, read 3.
    module->SetAnswerFor(2, ModuleAnswer::Wrong);
    const ProgramRun run = Run(Templates() + "-c " + Config("write.xml"));
    EXPECT_EQ(run.exitCode, 1);
    const std::string ok = GotAddress + Aes + "Response ok\n";
    EXPECT_EQ(run.out,
              ok + ok + GotAddress + Aes +
                  "Tolv_ConfigTasks.cpp:N Response error! resp: 01 FD 0E FD 2F 2F 2F 2F 2F 2F 2F 2F 2F 2F , req: "
                  "01 FD 0E 02 \n" +
                  ok + ok + "Read 3 items, error count: 1\n" +
                  "Tolv_Main.cpp:N Request failed: Configuration check failed for 1 of 3 items\n");

    const auto requests = Requests();
    EXPECT_EQ(Cis(requests), (std::vector<uint8_t>{0xA2, 0xA0, 0xA2, 0xA2, 0xA0}));
    const char *const items[] = {"04 FD 3A 2C 01 00 00", "04 FD 3A 2C 01 00 00", "01 FD 0E 02", "02 FD 3B 0E 00",
                                 "02 FD 3B 0E 00"};
    for (size_t i = 0; i < requests.size(); ++i)
    {
        EXPECT_EQ(requests[i].plain, Plain(items[i])) << i;
    }
}

TEST_F(ConfigTasksTest, FileTemplateAddressAndKeyErrorsEndTheRunBeforeAnyRequest)
{
    const std::string failed = "Tolv_Main.cpp:N Request failed: ";
    const std::string noTemplate = "-t " + TemplateDir + " --id zv_sensor_99 ";
    struct Case
    {
        std::string args;
        std::string out;
    };
    const Case cases[] = {
        {"-t " + TasksFixtures + "/nowhere --id zv_sensor_02 -w " + Config("write.xml"),
         "Tolv_ConfigPayload.cpp:N Template directory parameter is not a directory " + TasksFixtures + "/nowhere\n" +
             failed + "Template file not found\n"},
        {noTemplate + "-w " + Config("write_no_id.xml"), failed + "Template file not found\n"},
        {Templates() + "-w " + Config("missing.xml"),
         "Tolv_XmlHelper.cpp:N Can't read file\n" + failed + "Can't open file\n"},
        {Templates() + "-c " + Config("empty.xml"), "Tolv_XmlHelper.cpp:N Load config file failed " +
                                                        Config("empty.xml") + "\n" + failed + "Cannot load xml file\n"},
        // Text only: recovery would read it into a document without an element.
        {Templates() + "-c " + Config("malformed.xml"),
         "Tolv_XmlHelper.cpp:N Not well-formed XML in " + Config("malformed.xml") +
             ", line 1: Start tag expected, '<' not found\n" + failed + "File is not well-formed XML\n"},
        {Templates() + "-r " + Config("wrong_root.xml"), failed + "config node not found\n"},
        {Templates() + "-w " + Config("none_known.xml"),
         "Tolv_ConfigFile.cpp:N Config item not found in the template file\n"
         "Tolv_ConfigFile.cpp:N Config item colour in " +
             Config("none_known.xml") + " is unknown\n" + failed + "Config item colour not found in the template\n"},
        {Templates() + "-a zz -w " + Config("write.xml"), failed + "input address parsing error\n"},
        {Templates() + "-k 7C41D09A2E6B35F8A1C94E07B2D6F35 -w " + Config("write.xml"),
         "WMBH_AES.cpp:N Wrong key size 31\n" + failed + "Wrong key size\n"},
        // 40 items do not fit in one frame: the file is the user's to change.
        {"-t " + TasksFixtures + "/large_template --id zv_counters_40 -w " + Config("large.xml"),
         failed + "Config file " + Config("large.xml") +
             ": 40 items do not fit in one request (Frame data to large)\n"},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}

TEST_F(ConfigTasksTest, GetLogsPrintsTheLogAnswer)
{
    StartModem(ModuleConfig());
    const ProgramRun run = Run("-g");
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(NoDates(run.out), Expected("logs.txt"));
    const auto requests = Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].ci, 0xA6);
    EXPECT_EQ(requests[0].plain, Plain(""));
}

TEST_F(ConfigTasksTest, MissingFrameRequestCarriesTheList)
{
    struct Case
    {
        const char *list;
        const char *records;
    };
    const Case cases[] = {
        {"''", "01 FD 08 17"}, // access number 23, no range
        {"5", "01 FD 08 05"},
        {"5,10,3", "01 FD 08 05 04 FD 3A 0A 00 00 00 01 FD 3A 03"},
        {"5,4,2", "01 FD 08 05 04 FD 3A 04 00 00 00 01 FD 3A 02"},
        {"' 9, 0,0'", "01 FD 08 09 04 FD 3A 00 00 00 00 01 FD 3A 00"},
        {"7,1,2,300,255", "01 FD 08 07 04 FD 3A 01 00 00 00 01 FD 3A 02 04 FD 3A 2C 01 00 00 01 FD 3A FF"},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        const size_t before = Requests().size();
        const ProgramRun run = Run(std::string("-f ") + c.list);
        EXPECT_EQ(run.exitCode, 0) << c.list;
        const auto requests = Requests();
        ASSERT_EQ(requests.size(), before + 1) << c.list;
        EXPECT_EQ(requests.back().ci, 0xA8);
        EXPECT_EQ(requests.back().plain, Plain(c.records)) << c.list;
        if (std::string(c.list) == "5,10,3")
        {
            EXPECT_EQ(NoDates(run.out), Expected("missing_frame.txt"));
        }
    }
}

TEST_F(ConfigTasksTest, MissingFrameListTooLongForTheFrameIsRefused)
{
    std::string list = "5";
    for (int i = 0; i < 21; ++i)
    {
        list += "," + std::to_string(i) + ",1";
    }
    StartModem(ModuleConfig());
    const ProgramRun run = Run("-f " + list);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.out, "Tolv_Main.cpp:N Request failed: Invalid missing frame list \"" + list.substr(0, 40) +
                           "...\": 21 ranges do not fit in one request (Frame data to large)\n");
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}
