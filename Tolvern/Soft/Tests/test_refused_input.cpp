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
        // An entity is not expanded: the value would be read as nothing.
        {"-w", "entity.xml",
         "<!DOCTYPE config [<!ENTITY p \"300\">]>\n" + SensorConfig("\t<send_period>&p;</send_period>\n"),
         "Tolv_ConfigFile.cpp:N children node not found or empty\n" + valueError +
             "send_period in <file>: value is not a number\n" + Failed + "Invalid value of config item send_period\n"},
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

TEST_F(ConfigTasksTest, RequestThatCannotBeSentEndsWithItsReason)
{
    // 19 ranges fit the frame plain, but not once its data are filled up to whole blocks.
    std::string tooLong = "5";
    for (int i = 0; i < 19; ++i)
    {
        tooLong += "," + std::to_string(i) + ",1";
    }
    struct Case
    {
        std::string args;
        std::string attemptLine; // logged before each of the five attempts' failure line
        std::string reason;
    };
    const Case cases[] = {
        {"-f 1,2,3 -k 1234", "WMBH_AES.cpp:N Wrong key size 4\n", "Wrong key size"},
        {"-f " + tooLong, "", "Frame data to large"},
    };
    StartModem(ModuleConfig());
    for (const Case &c : cases)
    {
        const ProgramRun run = Run(c.args);
        std::string attempts;
        for (int i = 0; i < 5; ++i)
        {
            attempts += c.attemptLine + "Tolv_RequestTasks.cpp:N Failed to send request: " + c.reason + "\n";
        }
        EXPECT_EQ(run.exitCode, 1) << c.args;
        EXPECT_EQ(run.out, GotAddress + attempts + Failed + c.reason + "\n") << c.args;
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
