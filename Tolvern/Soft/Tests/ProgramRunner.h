#ifndef TOLV_TESTS_PROGRAMRUNNER_H
#define TOLV_TESTS_PROGRAMRUNNER_H

#include "OutputText.h"

#include <string>

// One run of the built Tolvern with its standard output, standard error and
// exit code (-1 when it did not exit normally).
struct ProgramRun
{
    int exitCode = -1;
    std::string out;
    std::string err;
};

// The arguments are plain words separated by blanks; none needs quoting.
ProgramRun RunTolvern(const std::string &args);

#endif
