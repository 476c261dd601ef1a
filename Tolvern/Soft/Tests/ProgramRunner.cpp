#include "ProgramRunner.h"

#include "TestTemp.h"

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string NoLineNumbers(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"(\.cpp:[0-9]+ )"), ".cpp:N ");
}

ProgramRun RunTolvern(const std::string &args)
{
    const std::string out = TestTempPath("out.txt").string();
    const std::string err = TestTempPath("err.txt").string();
    const std::string command =
        std::string("'") + TOLV_BINARY + "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    std::filesystem::remove(out);
    std::filesystem::remove(err);
    return run;
}
