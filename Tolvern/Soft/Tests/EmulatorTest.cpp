#include "EmulatorTest.h"

#include "OutputText.h"

#include <chrono>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

EmulatorTest::EmulatorTest()
{
    // Runs of RunTolvern inherit it; a ListenProcess sets its own.
    ::setenv("TOLVERN_SYSTEM_ROOT", systemRoot.Path().c_str(), 1);
}

EmulatorTest::~EmulatorTest()
{
    ::unsetenv("TOLVERN_SYSTEM_ROOT");
}

void EmulatorTest::TearDown()
{
    if (program)
    {
        program->Kill();
    }
    modem.Stop();
    EXPECT_EQ(modem.Record().ViolationText(), "");
}

ProgramRun EmulatorTest::Run(const std::string &args)
{
    ProgramRun run = RunTolvern("-p " + modem.DevicePath() + " " + args);
    run.out = NoLineNumbers(run.out);
    return run;
}

ListenProcess &EmulatorTest::Start(const std::string &args)
{
    std::vector<std::string> words{"-p", modem.DevicePath()};
    std::istringstream in(args);
    for (std::string word; in >> word;)
    {
        words.push_back(word);
    }
    program = std::make_unique<ListenProcess>(words);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!modem.HostAttached() && std::chrono::steady_clock::now() < end)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(modem.HostAttached()) << "Tolvern never spoke to the modem:\n" << program->Output();
    return *program;
}

bool EmulatorTest::WaitDocuments(size_t count, int timeoutMs)
{
    return program->WaitFor([count](const std::string &out) { return CountOf(out, "</mbus>\n") >= count; },
                            std::chrono::milliseconds(timeoutMs));
}
