// Input that cannot be taken as it stands ends the run with an error line and
// exit code 1 before anything reaches the modem's mailbox or the air: doubtful
// configuration files and templates, option errors, requests that cannot be sent.
#include "ConfigTasksTest.h"

#include <filesystem>

namespace
{

const std::string GotAddress = "Got address 12345678d26a0107\n";
const std::string Failed = "Tolv_Main.cpp:N Request failed: ";

// A configuration file of the sensor template with the given items.
std::string SensorConfig(const std::string &items)
{
    return "<config id=\"zv_sensor_02\" hlvtb_version=\"1.2\">\n" + items + "</config>\n";
}

// Mailbox commands (add, delete, get, check) the host sent to the modem.
size_t MailboxCommands(ModemEmu::HostRecord &record)
{
    size_t count = 0;
    for (const std::vector<uint8_t> &command : record.HostCommands())
    {
        if (!command.empty() && command[0] >= ModemEmu::CmdMboxAdd && command[0] <= ModemEmu::CmdMboxCheck)
        {
            ++count;
        }
    }
    return count;
}

// The sensor template cut before its end: recovery would still find the id and two items.
std::string CutTemplate()
{
    std::string text = ReadFile(TemplateDir + "/sensor.xml");
    return text.substr(0, text.find("<name>power</name>"));
}

} // namespace

TEST_F(ConfigTasksTest, DoubtfulConfigurationIsRefusedBeforeAnyRequest)
{
    const TempDir files;
    const std::string valueError = "Tolv_ConfigFile.cpp:N Config item ";
    struct Case
    {
        std::string task; // option letter
        std::string name; // of the configuration file
        std::string content;
        std::string out; // every line; <file> stands for the file's path
    };
    const Case cases[] = {
        // Recovery would put power inside the unclosed mode: it would silently not be written.
        {"-w", "open_tag.xml", SensorConfig("\t<send_period>300</send_period>\n\t<mode>2\n\t<power>14</power>\n"),
         "Tolv_XmlHelper.cpp:N Not well-formed XML in <file>, line 5: Opening and ending tag mismatch: mode line 3 "
         "and config\n" +
             Failed + "File is not well-formed XML\n"},
        // The GUI writes values unescaped.
        {"-w", "ampersand.xml", SensorConfig("\t<mode>1&2</mode>\n"),
         "Tolv_XmlHelper.cpp:N Not well-formed XML in <file>, line 2: xmlParseEntityRef: no name\n" + Failed +
             "File is not well-formed XML\n"},
        {"-w", "letters.xml", SensorConfig("\t<send_period>abc</send_period>\n"),
         valueError + "send_period in <file>: value \"abc\" is not a number\n" + Failed +
             "Invalid value of config item send_period\n"},
        {"-r", "letters_read.xml", SensorConfig("\t<power>abc</power>\n"),
         valueError + "power in <file>: value \"abc\" is not a number\n" + Failed +
             "Invalid value of config item power\n"},
        {"-c", "hex_digits.xml", SensorConfig("\t<mode>1</mode>\n\t<power>0xZZ</power>\n"),
         valueError + "power in <file>: value \"0xZZ\" is not a number\n" + Failed +
             "Invalid value of config item power\n"},
        // An entity is not expanded: the value would be read as nothing. Nothing but the refusal
        // is logged as an error.
        {"-w", "entity.xml",
         "<!DOCTYPE config [<!ENTITY p \"300\">]>\n" + SensorConfig("\t<send_period>&p;</send_period>\n"),
         valueError + "send_period in <file>: value holds an entity reference &p; besides its text\n" + Failed +
             "Invalid value of config item send_period\n"},
        {"-c", "comment.xml", SensorConfig("\t<send_period>300<!-- s --></send_period>\n"),
         valueError + "send_period in <file>: value holds a comment besides its text\n" + Failed +
             "Invalid value of config item send_period\n"},
        // A file that names nothing would write nothing, and say "Response ok", or read everything.
        {"-w", "no_item_write.xml", SensorConfig(""), Failed + "Config file <file> names no item\n"},
        {"-r", "no_item_read.xml", SensorConfig("\t<!-- <mode>1</mode> -->\n"),
         Failed + "Config file <file> names no item\n"},
        {"-c", "no_item_check.xml", SensorConfig(""), Failed + "Config file <file> names no item\n"},
        {"-w", "nines.xml", SensorConfig("\t<send_period>" + std::string(5000, '9') + "</send_period>\n"),
         valueError +
             "send_period in <file>: value \"9999999999999999999999999999999999999999...\" does not fit in 4 "
             "bytes\n" +
             Failed + "Invalid value of config item send_period\n"},
        {"-c", "wide.xml", SensorConfig("\t<send_period>60</send_period>\n\t<mode>300</mode>\n"),
         valueError + "mode in <file>: value \"300\" does not fit in 1 byte\n" + Failed +
             "Invalid value of config item mode\n"},
        {"-w", "empty_value.xml", SensorConfig("\t<mode>1</mode>\n\t<power/>\n"),
         "Tolv_ConfigFile.cpp:N children node not found or empty\n" + valueError +
             "power in <file>: no value to write\n" + Failed + "Invalid value of config item power\n"},
        // An item the template does not know would silently not be written, read or checked.
        {"-w", "unknown_write.xml", ReadFile(Config("unknown_item.xml")),
         "Tolv_ConfigFile.cpp:N Config item not found in the template file\n" + valueError +
             "colour in <file> is unknown\n" + Failed + "Config item colour not found in the template\n"},
        {"-r", "unknown_read.xml", ReadFile(Config("unknown_item.xml")),
         "Tolv_ConfigFile.cpp:N Config item not found in the template file\n" + valueError +
             "colour in <file> is unknown\n" + Failed + "Config item colour not found in the template\n"},
        {"-c", "unknown_check.xml", ReadFile(Config("unknown_item.xml")),
         "Tolv_ConfigFile.cpp:N Config item not found in the template file\n" + valueError +
             "colour in <file> is unknown\n" + Failed + "Config item colour not found in the template\n"},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        const std::string path = files.Write(c.name, c.content);
        const ProgramRun run = Run(Templates() + c.task + " " + path);
        EXPECT_EQ(run.exitCode, 1) << c.name;
        EXPECT_EQ(run.out, std::regex_replace(c.out, std::regex("<file>"), path)) << c.name;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
    // Not even the mailbox was looked at, so a full one keeps its pending requests.
    EXPECT_EQ(MailboxCommands(modem.Record()), 0u);
}

TEST_F(ConfigTasksTest, TemplateThatIsNotWellFormedIsNeverUsed)
{
    const TempDir templates;
    const std::string cut = templates.Write("sensor.xml", CutTemplate());
    StartModem(ModuleConfig());
    for (const char *task : {"-w", "-r", "-c"})
    {
        const ProgramRun run = Run("-t " + templates.Path() + " --id zv_sensor_02 " + task + " " + Config("write.xml"));
        EXPECT_EQ(run.exitCode, 1) << task;
        EXPECT_EQ(run.out.substr(0, run.out.find(", line ")), "Tolv_XmlHelper.cpp:N Not well-formed XML in " + cut)
            << run.out;
        EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), Failed + "Template file not found\n") << task;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
    EXPECT_EQ(MailboxCommands(modem.Record()), 0u);
}

// Whatever cannot make a request (a missing-frame list, a key, a template number) ends the run
// with one error line before the mailbox is looked at: no mailbox command, no radio frame.
TEST_F(ConfigTasksTest, RequestInputIsRefusedBeforeTheMailbox)
{
    const TempDir files;
    const std::string firmware = files.Write("fw.bin", std::string(100, '\x5A'));
    const std::string badVib =
        files.Write("vib/sensor.xml", SensorTemplateWith("<vib>0xFD0E</vib>", "<vib>0xZZ</vib>"));
    const std::string badDib = files.Write("dib/sensor.xml", SensorTemplateWith("<dib>0x02</dib>", "<dib>one</dib>"));
    // 19 ranges fit the frame plain, but not once its data are filled up to whole blocks.
    std::string tooLong = "5";
    for (int i = 0; i < 19; ++i)
    {
        tooLong += "," + std::to_string(i) + ",1";
    }
    const std::string list = "Invalid missing frame list ";
    const std::string emptyKey = Failed + "AES key \"\" is empty: requests are not sent unencrypted\n";
    struct Case
    {
        std::string args;
        std::string out;
    };
    const Case cases[] = {
        {"-f abc", Failed + list + "\"abc\": \"abc\" is not a decimal number\n"},
        {"-f 99999999999", Failed + list + "\"99999999999\": access number 99999999999 is out of range 0 to 255\n"},
        {"-f -5", Failed + list + "\"-5\": access number -5 is out of range 0 to 255\n"},
        {"-f 300", Failed + list + "\"300\": access number 300 is out of range 0 to 255\n"},
        {"-f 5,-1,3", Failed + list + "\"5,-1,3\": offset -1 is out of range 0 to 4294967295\n"},
        {"-f 5,10,300", Failed + list + "\"5,10,300\": count 300 is out of range 0 to 255\n"},
        {"-f 5,4294967296,2",
         Failed + list + "\"5,4294967296,2\": offset 4294967296 is out of range 0 to 4294967295\n"},
        {"-f 5,,10,3", Failed + list + "\"5,,10,3\": number 2 is empty\n"},
        {"-f 5,10", Failed + list + "\"5,10\": offset 10 has no count\n"},
        {"-f " + tooLong, Failed + list + "\"" + tooLong.substr(0, 40) +
                              "...\": 19 ranges do not fit in one request (Frame data to large)\n"},
        {"-f 1,2,3 -k 1234", "WMBH_AES.cpp:N Wrong key size 4\n" + Failed + "Wrong key size\n"},
        {Templates() + "-w " + Config("write.xml") + " -k 0011223344556677889XAABBCCDDEEFF",
         "WMBH_AES.cpp:N Key is not 32 hexadecimal digits\n" + Failed + "Wrong key format\n"},
        {Templates() + "-a zz -c " + Config("write.xml"), Failed + "input address parsing error\n"},
        {"-a zz -f 1,2,3", Failed + "input address parsing error\n"},
        {"-a zz -g", Failed + "input address parsing error\n"},
        // An empty key would put every request on the air readable, a new module key included.
        {"-f 1,2,3 -k ''", emptyKey},
        {"-g -k ''", emptyKey},
        {Templates() + "-r " + Config("read.xml") + " -k ''", emptyKey},
        {Templates() + "-w " + Config("write.xml") + " -k ''", emptyKey},
        {Templates() + "-c " + Config("write.xml") + " -k ''", emptyKey},
        {"--read-conf-all -k ''", emptyKey},
        {"-u " + firmware + " -k ''", emptyKey},
        {"--send-frame -k ''", emptyKey},
        // The lenient reading sent vib 0xZZ as no VIB at all and said "Response ok".
        {"-t " + files.Path("vib") + " --id zv_sensor_02 -w " + Config("write.xml"),
         Failed + "Template file " + badVib + ", item mode: vib \"0xZZ\" is not a number\n"},
        {"-t " + files.Path("dib") + " --id zv_sensor_02 -r " + Config("read.xml"),
         Failed + "Template file " + badDib + ", item power: dib \"one\" is not a number\n"},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        const size_t mailboxCommands = MailboxCommands(modem.Record());
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
        EXPECT_EQ(MailboxCommands(modem.Record()), mailboxCommands) << c.args;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());
}

// Option errors: the parser's message and the usage on standard error, and the modem is never touched.
TEST_F(EmulatorTest, OptionErrorsNeverOpenThePort)
{
    const std::string usage = ReadFile(std::string(TOLV_FIXTURES_DIR) + "/usage.txt");
    struct Case
    {
        std::string args;
        std::string message;
    };
    const std::string program = std::filesystem::path(TOLV_BINARY).string() + ": ";
    const Case cases[] = {
        {"-m --bogus", "unrecognized option '--bogus'"},
        {"-x -m", "invalid option -- 'x'"},
        {"-w", "option requires an argument -- 'w'"},
        {"-m --id", "option '--id' requires an argument"},
    };
    modem.Start();
    for (const Case &c : cases)
    {
        const ProgramRun run = Run(c.args);
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_EQ(run.out, "") << c.args;
        EXPECT_EQ(run.err, program + c.message + "\n" + usage) << c.args;
    }
    EXPECT_FALSE(modem.HostAttached());
    EXPECT_TRUE(modem.Record().HostBytes().empty());
}

// Input that needs no module is refused before the technician is asked to wake one: with a module
// on the air, a check that came after the wait would show the magnet line and its frame first.
TEST_F(ConfigTasksTest, InputThatNeedsNoModuleIsRefusedBeforeTheWait)
{
    const TempDir files;
    const std::string firmware = files.Write("fw.bin", std::string(100, '\x5A'));
    const std::string emptyFirmware = files.Write("empty.bin", "");
    const std::string otherTemplate =
        files.Write("other.xml",
                    "<config id=\"zv_water_01\" hlvtb_version=\"1.2\">\n\t<send_period>600</send_period>\n</config>\n");
    const std::string twice =
        files.Write("twice.xml", SensorConfig("\t<mode>1</mode>\n\t<power>14</power>\n\t<mode>2</mode>\n"));
    const std::string mixed =
        files.Write("mixed/sensor.xml", SensorTemplateWith("<vib>0xFD3A</vib>", "<vib>0xFF<!-- was 3A -->3A</vib>"));
    const std::string mixedId = files.Write(
        "mixed_id/sensor.xml", SensorTemplateWith("<id>zv_sensor_02</id>", "<id>zv_<!-- c -->sensor_02</id>"));
    const std::string empty = files.Write("empty.xml", SensorConfig(""));
    std::string tooLong = "5";
    for (int i = 0; i < 19; ++i)
    {
        tooLong += "," + std::to_string(i) + ",1";
    }
    const std::string addressError = Failed + "input address parsing error\n";
    struct Case
    {
        std::string args;
        std::string out;
    };
    const Case cases[] = {
        {"-a zz " + Templates() + "-w " + Config("write.xml"), addressError},
        {"-a '' -g", addressError},
        {"-a zz", addressError},
        {"-a 0x-1 -u " + firmware, addressError},
        {"-a 12345678d26a01070 -f 1,2,3", addressError}, // 17 digits
        {"-f abc", Failed + "Invalid missing frame list \"abc\": \"abc\" is not a decimal number\n"},
        {"-f " + tooLong, Failed + "Invalid missing frame list \"" + tooLong.substr(0, 40) +
                              "...\": 19 ranges do not fit in one request (Frame data to large)\n"},
        {"-g -k 1234", "WMBH_AES.cpp:N Wrong key size 4\n" + Failed + "Wrong key size\n"},
        {"--read-conf-all -k ''", Failed + "AES key \"\" is empty: requests are not sent unencrypted\n"},
        {"-t " + TasksFixtures + "/nowhere --id zv_sensor_02 -w " + Config("write.xml"),
         "Tolv_ConfigPayload.cpp:N Template directory parameter is not a directory " + TasksFixtures + "/nowhere\n" +
             Failed + "Template file not found\n"},
        {"-t " + TemplateDir + " --id zv_sensor_99 -w " + Config("write_no_id.xml"),
         Failed + "Template file not found\n"},
        {"-t " + files.Path("mixed") + " --id zv_sensor_02 -w " + Config("write.xml"),
         Failed + "Template file " + mixed + ", item send_period: vib holds a comment besides its text\n"},
        {Templates() + "-w " + Config("missing.xml"),
         "Tolv_XmlHelper.cpp:N Can't read file\n" + Failed + "Can't open file\n"},
        {Templates() + "-w " + Config("unknown_item.xml"),
         "Tolv_ConfigFile.cpp:N Config item not found in the template file\nTolv_ConfigFile.cpp:N Config item colour "
         "in " +
             Config("unknown_item.xml") + " is unknown\n" + Failed + "Config item colour not found in the template\n"},
        {Templates() + "-r " + otherTemplate,
         Failed + "Config file " + otherTemplate +
             " is for template \"zv_water_01\", not for template \"zv_sensor_02\"\n"},
        {Templates() + "-c " + twice, Failed + "Config item mode is named twice in " + twice + "\n"},
        {"-t " + TasksFixtures + "/large_template --id zv_counters_40 -r " + Config("large.xml"),
         Failed + "Config file " + Config("large.xml") +
             ": 40 items do not fit in one request (Frame data to large)\n"},
        {Templates() + "-w " + empty, Failed + "Config file " + empty + " names no item\n"},
        // Read by its first piece, the id was "zv_": the run ended on "Template file not found".
        {"-t " + files.Path("mixed_id") + " --id zv_sensor_02 -c " + Config("write.xml"),
         Failed + "Template file " + mixedId + ": id holds a comment besides its text\n"},
        {"-u " + files.Path("missing.bin"), Failed + "Update file does not exist\n"},
        {"-u " + files.Path(), Failed + "Update file is not a file\n"},
        {"-u " + emptyFirmware, Failed + "Update file is empty\n"},
    };
    ModemEmu::CommissionedConfig announcing = ModuleConfig();
    announcing.beaconPeriod = std::chrono::milliseconds(300);
    StartModem(announcing);
    for (const Case &c : cases)
    {
        const size_t mailboxCommands = MailboxCommands(modem.Record());
        const ProgramRun run = EmulatorTest::Run(c.args); // waits for the first frame
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_EQ(run.out, c.out) << c.args;
        EXPECT_EQ(run.out.find("Place a magnet on product"), std::string::npos) << c.args;
        EXPECT_EQ(MailboxCommands(modem.Record()), mailboxCommands) << c.args;
    }
    EXPECT_TRUE(Requests().empty());
    EXPECT_TRUE(modem.Record().RadioFrames().empty());

    // The same module, asked with good input, is waited for and configured.
    const ProgramRun good = EmulatorTest::Run("-a 12345678d26a0107 " + Templates() + "-w " + Config("write.xml"));
    EXPECT_EQ(good.exitCode, 0) << good.out;
    EXPECT_EQ(good.out.rfind("Place a magnet on product\nFrame received\n" + GotAddress, 0), 0u) << good.out;
}
