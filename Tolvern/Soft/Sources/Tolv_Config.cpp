#include "Tolv_Config.h"

#include "LogStatement.h"
#include "Tolv_OptionParser.h"

#include <iostream>
#include <iterator>

namespace Tolv
{

namespace
{

constexpr const char *ShortOptions = "dhmf:iu:r:w:c:slgp:a:k:t:";

// Values above the character range for the options that have no short form.
enum LongOnly : int
{
    OptValChannel = 1000,
    OptValMode = 1001,
    OptValReadConfAll = 1002,
    OptValNoWait = 1003,
    OptValType = 1004,
    OptValId = 1005,
    OptValUpdateFixDif = 1006,
    OptValSendFrame = 1007,
};

// The order matters: an abbreviated name takes the first entry it is a prefix of.
constexpr LongOption LongOptions[] = {
    {"debug", false, 'd'},
    {"help", false, 'h'},
    {"modem-info", false, 'm'},
    {"missing-frame", false, 'f'},
    {"install", false, 'i'},
    {"update", true, 'u'},
    {"read-conf", true, 'r'},
    {"write-conf", true, 'w'},
    {"check-conf", true, 'c'},
    {"statistics", false, 's'},
    {"listen", false, 'l'},
    {"get-logs", false, 'g'},
    {"port", true, 'p'},
    {"addr", true, 'a'},
    {"key", true, 'k'},
    {"template", true, 't'},
    {"channel", true, OptValChannel},
    {"mode", true, OptValMode},
    {"read-conf-all", false, OptValReadConfAll},
    {"nowait", false, OptValNoWait},
    {"type", true, OptValType},
    {"id", true, OptValId},
    {"update_fix_dif", false, OptValUpdateFixDif},
    {"send-frame", false, OptValSendFrame},
};

// The task that each task option selects.
struct TaskOption
{
    int value;
    int task;
};

constexpr TaskOption TaskOptions[] = {
    {'m', TaskModemInfo},   {'i', TaskInstall},     {'s', TaskStatistics},
    {'l', TaskListen},      {'g', TaskGetLogs},     {'f', TaskMissingFrame},
    {'u', TaskUpdate},      {'r', TaskReadConfig},  {OptValReadConfAll, TaskReadConfig},
    {'w', TaskWriteConfig}, {'c', TaskCheckConfig}, {OptValSendFrame, TaskSendFrame},
};

int TaskOf(int value)
{
    for (const TaskOption &t : TaskOptions)
    {
        if (t.value == value)
        {
            return t.task;
        }
    }
    return -1;
}

// One usage line: an option column padded to UsageColumn, then its text.
// An empty option is a continuation line; both empty is a blank line.
struct UsageLine
{
    const char *option;
    const char *text;
};

constexpr size_t UsageColumn = 27;

constexpr UsageLine UsageLines[] = {
    {"-d, --debug", "Output debugging informations"},
    {"-h, --help", "Output this help message"},
    {"", ""},
    {"-m, --modem-info", "Get wM-Bus modem informations"},
    {"-f, --missing-frame [ACC,OFFSET,COUNT,OFFSET2,COUNT2,...]", ""},
    {"", "Request a missing frame from a wM-Bus device. With"},
    {"", "ACC...access number, OFFSET...offset to the reference"},
    {"", "access number and COUNT...number of measures."},
    {"-i, --install", "Do a standard installation scenario"},
    {"-u, --update [FILE]", "Do a module update where FILE is the file which"},
    {"", "should be send to the module"},
    {"-r, --read-conf [CONFIG]", "Read the wM-Bus device configuration. CONFIG is the xml file"},
    {"", "with all wanted configuration items"},
    {"--read-conf-all", "Read the whole configuration"},
    {"-w, --write-conf [CONFIG]", "Set the specified configuration in the wM-Bus device"},
    {"", "CONFIG is the xml configuration file"},
    {"-c, --check-conf [CONFIG]", "Write and check the specified configuration in the wM-Bus"},
    {"", "device. Each configuration item will be written one by one"},
    {"", "and the result is checked;"},
    {"-s, --statistics", "Get wM-Bus modem statistics"},
    {"-l, --listen", "Listen for incoming data frames and print the parsing result"},
    {"", "as xml to stdout (default config.xml)"},
    {"-g, --get-logs", "Retrieve all logs from the wM-Bus device"},
    {"--send-frame", "Send a frame"},
    {"", ""},
    {"--nowait", "Don't wait to receive a frame before sending something."},
    {"", "The address from the received frame is used as destination address"},
    {"-t, --template [DIR]", "Indicate the directory where all template files are located"},
    {"-p, --port [PORT]", "Specify the used serial port where port is the"},
    {"", "serial port used to communicate with the modem"},
    {"", "The default modem is /dev/ttyS0"},
    {"-a, --addr [ADDR]", "Specify wM-Bus module address. The format must be"},
    {"", "hexadecimal. The default address is 0x12345678d26a0107"},
    {"-k, --key [KEY]", "Encryption key (default: 7C41D09A2E6B35F8A1C94E07B2D6F358"},
    {"--channel [CHANNEL]", "wM-Bus channel (only for mode N from 1 to 10)"},
    {"--mode [MODE]", "wM-Bus mode to used (T, S, N, LOC)"},
    {"--type [TYPE]", "Set the module type (ZVR169 or ZVR868)"},
    {"--id [ID]", "Indicate the id to search for in the template file"},
    {"--update_fix_dif", "Fix the update bug in the first version endpoint"},
};

std::string FormatUsageLine(const UsageLine &line)
{
    std::string out = line.option;
    if (*line.text != '\0')
    {
        out.resize(UsageColumn, ' ');
        out += line.text;
    }
    return out;
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

Config &RunConfig()
{
    static Config config;
    return config;
}

std::vector<std::string> Config::UsageText(const std::string &name)
{
    std::vector<std::string> lines{"Usage: " + name + " [OPTIONS]...",
                                   "Test wM-Bus communication with different modems."};
    for (const UsageLine &line : UsageLines)
    {
        lines.push_back(FormatUsageLine(line));
    }
    return lines;
}

void Config::PrintUsage(const std::string &name)
{
    for (const std::string &line : UsageText(name))
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << line;
    }
}

Config::ParseResult Config::ParseOptions(int argc, char **argv)
{
    return ParseOptions(std::vector<std::string>(argv, argv + argc), std::cerr);
}

Config::ParseResult Config::ParseOptions(const std::vector<std::string> &args, std::ostream &err)
{
    const std::string programName = args.empty() ? std::string("Tolvern") : BaseName(args[0]);
    std::vector<std::string> argv = args;
    if (argv.empty())
    {
        argv.push_back(programName);
    }

    OptionParser parser(argv, ShortOptions, LongOptions, std::size(LongOptions), err);
    for (int opt = parser.Next(); opt != OptionParser::End; opt = parser.Next())
    {
        const int task = TaskOf(opt);
        if (task >= 0)
        {
            CurrentTask = task;
        }

        const std::string &arg = parser.Argument();
        switch (opt)
        {
        case 'd':
            Log::Instance().SetAllLevels(LogLevel::Trace);
            break;
        case 'h':
            PrintUsage(programName);
            return ParseResult::ShowUsage;
        case OptionParser::Unknown:
            // A command line we cannot read runs nothing: the usage goes with
            // the parser's message to standard error, away from the results.
            for (const std::string &line : UsageText(programName))
            {
                err << line << '\n';
            }
            return ParseResult::Refused;
        case 'f':
            if (parser.HasArgument())
            {
                OptFile = arg;
            }
            break;
        case 'u':
            OptFile = arg;
            break;
        case 'r':
            OptReadConfFile = arg;
            break;
        case 'w':
        case 'c':
            OptConfFile = arg;
            break;
        case 'p':
            LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Use serial port " << arg;
            OptPort = arg;
            break;
        case 'a':
            OptAddress = arg;
            AddressGiven = true;
            break;
        case 'k':
            OptKey = arg;
            break;
        case 't':
            OptTemplateDir = arg;
            break;
        case OptValChannel:
            OptChannel = arg;
            ChannelGiven = true;
            break;
        case OptValMode:
            OptMode = arg;
            ModeGiven = true;
            break;
        case OptValNoWait:
            WaitForInitialFrame = false;
            break;
        case OptValType:
            OptModuleType = arg;
            ModuleTypeGiven = true;
            break;
        case OptValId:
            OptTemplateId = arg;
            break;
        case OptValUpdateFixDif:
            UpdateFixDif = false;
            break;
        default:
            break; // task options without an argument were handled above
        }
    }

    if (parser.Index() < argv.size())
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "unknown options (ignored): ";
        for (size_t i = parser.Index(); i < argv.size(); ++i)
        {
            LOG_LINE(LogLevel::Normal, LogModule::Tolv) << argv[i];
        }
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "";
        PrintUsage(programName);
    }
    return ParseResult::Run;
}

} // namespace Tolv
