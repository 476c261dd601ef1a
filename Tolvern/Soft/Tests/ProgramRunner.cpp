#include "ProgramRunner.h"

#include "TempDir.h"

#include <sys/wait.h>

#include <cstdlib>

ProgramRun RunTolvern(const std::string &args)
{
    const TempDir files;
    const std::string out = files.Path("out.txt");
    const std::string err = files.Path("err.txt");
    const std::string command =
        std::string("'") + TOLV_BINARY + "' " + args + " >'" + out + "' 2>'" + err + "' </dev/null";
    const int status = std::system(command.c_str());
    ProgramRun run;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.out = ReadFile(out);
    run.err = ReadFile(err);
    return run;
}
