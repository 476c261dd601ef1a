#include "LogStatement.h"
#include "Tolv_Config.h"

#include <exception>

// Every task talks to the modem, and the modem driver is not part of this
// build yet: after the options, a run can only say so and fail.
int main(int argc, char **argv)
{
    Tolv::Config &config = Tolv::RunConfig();
    if (config.ParseOptions(argc, argv) == Tolv::Config::ParseResult::ShowUsage)
    {
        return 0;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Start";

    LOG_LINE(LogLevel::Error, LogModule::Tolv)
        << "Modem driver not available, task " << config.CurrentTask << " cannot run";
    return 1;
}
