#include "LogCapture.h"
#include "Tolv_Config.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

using Tolv::Config;

namespace
{

std::string ReadFixture(const std::string &name)
{
    std::ifstream in(std::string(TOLV_FIXTURES_DIR) + "/" + name);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct Parsed
{
    Config config;
    Config::ParseResult result = Config::ParseResult::Run;
    std::string log;
    std::string err;
};

Parsed Parse(std::vector<std::string> args, int level = LogLevel::Normal)
{
    args.insert(args.begin(), "/usr/local/bin/Tolvern");
    Parsed parsed;
    LogCapture capture(level);
    std::ostringstream err;
    parsed.result = parsed.config.ParseOptions(args, err);
    parsed.log = capture.Text();
    parsed.err = err.str();
    return parsed;
}

} // namespace

TEST(Options, DefaultsWithoutArguments)
{
    const Parsed p = Parse({});
    EXPECT_EQ(p.result, Config::ParseResult::Run);
    EXPECT_EQ(p.log, "");
    const Config &c = p.config;
    EXPECT_EQ(c.CurrentTask, Tolv::TaskNone);
    EXPECT_EQ(c.OptAddress, "0x12345678d26a0107");
    EXPECT_EQ(c.OptKey, "7C41D09A2E6B35F8A1C94E07B2D6F358");
    EXPECT_EQ(c.OptPort, "/dev/ttyS0");
    EXPECT_EQ(c.OptFile, "");
    EXPECT_EQ(c.OptReadConfFile, "");
    EXPECT_EQ(c.OptConfFile, "");
    EXPECT_EQ(c.OptTemplateDir, ".");
    EXPECT_EQ(c.OptTemplateId, "my_type_01_02");
    EXPECT_EQ(c.OptModuleType, "");
    EXPECT_EQ(c.OptChannel, "");
    EXPECT_EQ(c.OptMode, "");
    EXPECT_TRUE(c.WaitForInitialFrame);
    EXPECT_TRUE(c.UpdateFixDif);
}

TEST(Options, TaskSelection)
{
    struct Case
    {
        std::vector<std::string> args;
        int task;
    };
    const Case cases[] = {
        {{"-m"}, 1},
        {{"--modem-info"}, 1},
        {{"-f", "5"}, 2},
        {{"--missing-frame"}, 2},
        {{"--mis"}, 2},
        {{"-i"}, 3},
        {{"-u", "fw.bin"}, 4},
        {{"-s"}, 5},
        {{"-l"}, 6},
        {{"-g"}, 7},
        {{"-r", "c.xml"}, 8},
        {{"--read-conf-all"}, 8},
        {{"-w", "c.xml"}, 9},
        {{"-c", "c.xml"}, 10},
        {{"--send-frame"}, 11},
        {{"--send"}, 11},
        {{"-m", "-l"}, 6},      // the last task option wins
        {{"-ml"}, 6},           // a group of short options
        {{"-l", "-p", "x"}, 6}, // options that are no task leave it alone
    };
    for (const Case &c : cases)
    {
        const Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, Config::ParseResult::Run) << c.args[0];
        EXPECT_EQ(p.config.CurrentTask, c.task) << c.args[0];
    }
}

TEST(Options, ValuesAndTheirSpellings)
{
    struct Case
    {
        std::vector<std::string> args;
        std::string Config::*field;
        std::string expected;
    };
    const Case cases[] = {
        {{"-p", "/dev/ttyUSB0"}, &Config::OptPort, "/dev/ttyUSB0"},
        {{"-p/dev/ttyUSB0"}, &Config::OptPort, "/dev/ttyUSB0"},
        {{"--port", "/dev/ttyUSB0"}, &Config::OptPort, "/dev/ttyUSB0"},
        {{"--port=/dev/ttyUSB0"}, &Config::OptPort, "/dev/ttyUSB0"},
        {{"--po=/dev/ttyUSB0"}, &Config::OptPort, "/dev/ttyUSB0"},
        {{"-lp", "COM3"}, &Config::OptPort, "COM3"},
        {{"-p", "-m"}, &Config::OptPort, "-m"}, // the next argument is taken even when it looks like an option
        {{"-p", "a", "-p", "b"}, &Config::OptPort, "b"},
        {{"-a", "0x0102030405060708"}, &Config::OptAddress, "0x0102030405060708"},
        {{"--addr=0x1"}, &Config::OptAddress, "0x1"},
        {{"-k", "00112233445566778899AABBCCDDEEFF"}, &Config::OptKey, "00112233445566778899AABBCCDDEEFF"},
        {{"-t", "/tmp/templates"}, &Config::OptTemplateDir, "/tmp/templates"},
        {{"--template", "tpl"}, &Config::OptTemplateDir, "tpl"},
        {{"--channel", "3"}, &Config::OptChannel, "3"},
        {{"--mode", "T"}, &Config::OptMode, "T"},
        {{"--type", "ZVR169"}, &Config::OptModuleType, "ZVR169"},
        {{"--id", "other_type"}, &Config::OptTemplateId, "other_type"},
        {{"-f", "5,10,3"}, &Config::OptFile, "5,10,3"},
        {{"-u", "fw.bin"}, &Config::OptFile, "fw.bin"},
        {{"--update=fw.bin"}, &Config::OptFile, "fw.bin"},
        {{"--upd", "fw.bin"}, &Config::OptFile, "fw.bin"},                 // first table entry with the prefix
        {{"-u", "fw.bin", "--missing-frame"}, &Config::OptFile, "fw.bin"}, // the long form has no argument
        {{"-r", "c.xml", "--read-conf-all"}, &Config::OptReadConfFile, "c.xml"},
        {{"--read", "c.xml"}, &Config::OptReadConfFile, "c.xml"},
        {{"-w", "w.xml"}, &Config::OptConfFile, "w.xml"},
        {{"--check-conf=k.xml"}, &Config::OptConfFile, "k.xml"},
    };
    for (const Case &c : cases)
    {
        const Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, Config::ParseResult::Run) << c.args[0];
        EXPECT_EQ(p.config.*(c.field), c.expected) << c.args[0];
        EXPECT_EQ(p.err, "") << c.args[0];
    }
}

TEST(Options, Flags)
{
    EXPECT_FALSE(Parse({"--nowait"}).config.WaitForInitialFrame);
    EXPECT_FALSE(Parse({"--nowait=yes"}).config.WaitForInitialFrame); // text after "=" is ignored
    EXPECT_FALSE(Parse({"--update_fix_dif"}).config.UpdateFixDif);

    // "update" is an exact name and a prefix of "update_fix_dif": exact wins.
    const Parsed update = Parse({"--update", "fw.bin"});
    EXPECT_TRUE(update.config.UpdateFixDif);
    EXPECT_EQ(update.config.CurrentTask, Tolv::TaskUpdate);
    EXPECT_FALSE(Parse({"--update_"}).config.UpdateFixDif);
}

TEST(Options, HelpPrintsTheUsage)
{
    const std::string usage = ReadFixture("usage.txt");
    for (const std::vector<std::string> &args :
         {std::vector<std::string>{"-h"}, {"--help"}, {"--he"}, {"-m", "-h", "-l"}})
    {
        const Parsed p = Parse(args);
        EXPECT_EQ(p.result, Config::ParseResult::ShowUsage) << args.back();
        EXPECT_EQ(p.log, usage) << args.back();
        EXPECT_EQ(p.err, "");
    }
}

TEST(Options, ErrorsPutTheMessageAndTheUsageOnTheErrorStream)
{
    const std::string usage = ReadFixture("usage.txt");
    const std::vector<std::string> cases[] = {
        {"-x"}, {"-:"}, {"--bogus"}, {"--=x"}, {"-p"}, {"-m", "--port"}, {"-mp"}, {"-x", "-h"},
    };
    for (const std::vector<std::string> &args : cases)
    {
        const Parsed p = Parse(args);
        EXPECT_EQ(p.result, Config::ParseResult::Refused) << args.back();
        EXPECT_EQ(p.log, "") << args.back();
        // One line of the parser's, then the usage.
        ASSERT_NE(p.err.find('\n'), std::string::npos) << args.back();
        EXPECT_EQ(p.err.substr(0, 24), "/usr/local/bin/Tolvern: ") << p.err;
        EXPECT_EQ(p.err.substr(p.err.find('\n') + 1), usage) << args.back();
    }
}

TEST(Options, ParserMessagesNameTheOption)
{
    EXPECT_NE(Parse({"--bogus"}).err.find("'--bogus'"), std::string::npos);
    EXPECT_NE(Parse({"-x"}).err.find("'x'"), std::string::npos);
    EXPECT_NE(Parse({"-p"}).err.find("'p'"), std::string::npos);
    EXPECT_NE(Parse({"--port"}).err.find("'--port'"), std::string::npos);
}

TEST(Options, LeftoverArgumentsAreListedAndTheRunGoesOn)
{
    const std::string usage = ReadFixture("usage.txt");
    struct Case
    {
        std::vector<std::string> args;
        std::string listed;
        int task;
    };
    const Case cases[] = {
        {{"word", "-m"}, "word\n-m\n", 0}, // no reordering: -m is not parsed
        {{"-s", "word", "-m"}, "word\n-m\n", 5},
        {{"-s", "--", "-m"}, "-m\n", 5}, // "--" is consumed
        {{"-s", "-", "x"}, "-\nx\n", 5}, // a lone "-" stops too
    };
    for (const Case &c : cases)
    {
        const Parsed p = Parse(c.args);
        EXPECT_EQ(p.result, Config::ParseResult::Run);
        EXPECT_EQ(p.config.CurrentTask, c.task);
        EXPECT_EQ(p.log, "unknown options (ignored): \n" + c.listed + "\n" + usage);
    }
    const Parsed ended = Parse({"-s", "--"});
    EXPECT_EQ(ended.log, "");
}

TEST(Options, DebugBeforePortShowsThePortLine)
{
    const Parsed debugFirst = Parse({"-d", "-p", "/dev/ttyUSB1"});
    EXPECT_NE(debugFirst.log.find("][1][Tolv    ]Use serial port /dev/ttyUSB1\n"), std::string::npos) << debugFirst.log;
    EXPECT_EQ(Log::Instance().GetLevel(LogModule::Tolv), LogLevel::Normal); // the capture restored it

    const Parsed portFirst = Parse({"-p", "/dev/ttyUSB1", "-d"});
    EXPECT_EQ(portFirst.log.find("Use serial port"), std::string::npos) << portFirst.log;
}

TEST(Options, UsageUsesTheProgramsLastPathComponent)
{
    LogCapture capture;
    Config::PrintUsage("Other");
    const std::string text = capture.Text();
    EXPECT_EQ(text.substr(0, text.find('\n')), "Usage: Other [OPTIONS]...");
}
