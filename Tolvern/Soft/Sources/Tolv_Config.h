#ifndef TOLV_CONFIG_H
#define TOLV_CONFIG_H

#include <iosfwd>
#include <string>
#include <vector>

namespace Tolv
{

// The one job of a run, chosen by the last task option on the command line.
enum Task : int
{
    TaskNone = 0,
    TaskModemInfo = 1,
    TaskMissingFrame = 2,
    TaskInstall = 3,
    TaskUpdate = 4,
    TaskStatistics = 5,
    TaskListen = 6,
    TaskGetLogs = 7,
    TaskReadConfig = 8,
    TaskWriteConfig = 9,
    TaskCheckConfig = 10,
    TaskSendFrame = 11,
};

// Everything a run takes from its command line; there is no other source of settings.
class Config
{
public:
    enum class ParseResult
    {
        Run,       // go on with the values parsed
        ShowUsage, // usage printed: end the process with exit code 0
        Refused,   // unknown option or missing argument, told on the error stream: exit code 1
    };

    int CurrentTask = TaskNone;
    std::string OptAddress = "0x12345678d26a0107";
    std::string OptKey = "7C41D09A2E6B35F8A1C94E07B2D6F358";
    std::string OptPort = "/dev/ttyS0";
    std::string OptFile;
    std::string OptReadConfFile;
    std::string OptConfFile;
    std::string OptTemplateDir = ".";
    std::string OptTemplateId = "my_type_01_02";
    std::string OptModuleType;
    std::string OptChannel;
    std::string OptMode;
    // Whether --type, --channel and --mode were given at all: an empty text given is refused
    // out loud, while an option left out keeps the modem's own setting without a word.
    bool ModuleTypeGiven = false;
    bool ChannelGiven = false;
    bool ModeGiven = false;
    // Whether -a named the module: then only that module's first frame is taken.
    bool AddressGiven = false;
    bool WaitForInitialFrame = true;
    bool UpdateFixDif = true;

    static constexpr const char *TemplateFileExtensions[2] = {".xml", ".XML"};

    // args[0] is the program path. The parser's own complaints go to err.
    ParseResult ParseOptions(const std::vector<std::string> &args, std::ostream &err);
    ParseResult ParseOptions(int argc, char **argv);

    static void PrintUsage(const std::string &name);
    // The usage lines, without line ends.
    static std::vector<std::string> UsageText(const std::string &name);
};

// The run-wide settings read by the set-up and the tasks.
Config &RunConfig();

} // namespace Tolv

#endif
