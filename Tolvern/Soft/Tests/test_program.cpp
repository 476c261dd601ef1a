// Runs the built program and checks what it prints and how it ends.
#include "ProgramRunner.h"

#include <gtest/gtest.h>

#include <string>

namespace
{

const std::string Usage = ReadFile(std::string(TOLV_FIXTURES_DIR) + "/usage.txt");

} // namespace

TEST(Program, HelpEndsWithZeroAndOptionErrorsWithOne)
{
    struct Case
    {
        const char *args;
        int exitCode;
    };
    const Case cases[] = {{"-h", 0}, {"--help", 0}, {"--bogus", 1}, {"-x", 1}, {"-m -p", 1}};
    for (const Case &c : cases)
    {
        const ProgramRun run = RunTolvern(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args;
        // Help is an answer and goes to standard output; an error goes to standard error.
        const std::string &usageStream = c.exitCode == 0 ? run.out : run.err;
        const std::string &otherStream = c.exitCode == 0 ? run.err : run.out;
        EXPECT_EQ(usageStream.substr(usageStream.find(Usage.substr(0, 7))), Usage) << c.args;
        EXPECT_EQ(otherStream, "") << c.args;
        EXPECT_EQ(usageStream == Usage, c.exitCode == 0) << c.args << ": " << usageStream;
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
