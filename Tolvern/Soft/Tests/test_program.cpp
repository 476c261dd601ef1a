// Runs the built program and checks what it prints and how it ends.
#include "ProgramRunner.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

const std::string Usage = ReadFile(std::string(TOLV_FIXTURES_DIR) + "/usage.txt");

} // namespace

TEST(Program, UsageEndsWithZero)
{
    struct Case
    {
        const char *args;
        bool parserMessage;
    };
    const Case cases[] = {{"-h", false}, {"--help", false}, {"--bogus", true}, {"-x", true}, {"-m -p", true}};
    for (const Case &c : cases)
    {
        const ProgramRun run = RunTolvern(c.args);
        EXPECT_EQ(run.exitCode, 0) << c.args;
        EXPECT_EQ(run.out, Usage) << c.args;
        EXPECT_EQ(run.err.empty(), !c.parserMessage) << c.args << ": " << run.err;
    }
}

// No test may reach a real serial port: every run that gets past the options
// names a port that cannot exist.
const std::string NoPort = "-p /nonexistent/ttyTolvern";

TEST(Program, LeftoverArgumentsThenTheRunGoesOn)
{
    const ProgramRun run = RunTolvern(NoPort + " word -m");
    const std::string listed = "unknown options (ignored): \nword\n-m\n\n" + Usage;
    EXPECT_EQ(run.out.substr(0, listed.size()), listed);
    // The run went on (with task 0) and got as far as the port.
    EXPECT_EQ(NoLineNumbers(run.out.substr(listed.size())),
              "Tolv_Main.cpp:N Request failed: open: No such file or directory\n");
    EXPECT_EQ(run.exitCode, 1);
}

TEST(Program, PortThatDoesNotExist)
{
    const ProgramRun run = RunTolvern(NoPort + " -m");
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(NoLineNumbers(run.out), "Tolv_Main.cpp:N Request failed: open: No such file or directory\n");
}

TEST(Program, DebugShowsTheStartLine)
{
    const ProgramRun run = RunTolvern("-d -s " + NoPort);
    EXPECT_NE(run.out.find("][1][Tolv    ]Start\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.exitCode, 1);
}
