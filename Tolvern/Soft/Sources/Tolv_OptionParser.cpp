#include "Tolv_OptionParser.h"

#include <cstring>
#include <ostream>

namespace Tolv
{

OptionParser::OptionParser(const std::vector<std::string> &args, const char *shortOptions,
                           const LongOption *longOptions, size_t longCount, std::ostream &err)
    : args(args), shortOptions(shortOptions), longOptions(longOptions), longCount(longCount), err(err)
{
}

int OptionParser::Next()
{
    hasArgument = false;
    argument.clear();

    if (groupPos != 0)
    {
        return NextShort();
    }
    if (index >= args.size())
    {
        return End;
    }
    const std::string &arg = args[index];
    if (arg.size() < 2 || arg[0] != '-')
    {
        return End; // a word or a lone "-": everything from here is left over
    }
    if (arg == "--")
    {
        ++index;
        return End;
    }
    if (arg[1] == '-')
    {
        return NextLong();
    }
    groupPos = 1;
    return NextShort();
}

const LongOption *OptionParser::FindLong(const std::string &name) const
{
    if (name.empty())
    {
        return nullptr;
    }
    const LongOption *prefixMatch = nullptr;
    for (size_t i = 0; i < longCount; ++i)
    {
        const LongOption &opt = longOptions[i];
        if (name == opt.name)
        {
            return &opt;
        }
        if (prefixMatch == nullptr && std::strncmp(opt.name, name.c_str(), name.size()) == 0)
        {
            prefixMatch = &opt;
        }
    }
    return prefixMatch;
}

int OptionParser::NextLong()
{
    const std::string &arg = args[index++];
    const size_t eq = arg.find('=', 2);
    const std::string name = arg.substr(2, eq == std::string::npos ? std::string::npos : eq - 2);

    const LongOption *opt = FindLong(name);
    if (opt == nullptr)
    {
        err << args[0] << ": unrecognized option '" << arg << "'\n";
        return Unknown;
    }
    if (!opt->hasArgument)
    {
        return opt->value; // text after "=" is ignored for an option without argument
    }
    if (eq != std::string::npos)
    {
        argument = arg.substr(eq + 1);
    }
    else if (index < args.size())
    {
        argument = args[index++];
    }
    else
    {
        err << args[0] << ": option '--" << opt->name << "' requires an argument\n";
        return Unknown;
    }
    hasArgument = true;
    return opt->value;
}

int OptionParser::NextShort()
{
    const std::string &arg = args[index];
    const char letter = arg[groupPos++];
    const bool groupDone = groupPos >= arg.size();
    if (groupDone)
    {
        groupPos = 0;
        ++index;
    }

    const char *declared = (letter == ':' || letter == '\0') ? nullptr : std::strchr(shortOptions, letter);
    if (declared == nullptr)
    {
        err << args[0] << ": invalid option -- '" << letter << "'\n";
        return Unknown;
    }
    if (declared[1] != ':')
    {
        return letter;
    }
    if (!groupDone)
    {
        argument = arg.substr(groupPos);
        groupPos = 0;
        ++index;
    }
    else if (index < args.size())
    {
        argument = args[index++];
    }
    else
    {
        err << args[0] << ": option requires an argument -- '" << letter << "'\n";
        return Unknown;
    }
    hasArgument = true;
    return letter;
}

} // namespace Tolv
