#ifndef TOLV_OPTIONPARSER_H
#define TOLV_OPTIONPARSER_H

#include <cstddef>
#include <iosfwd>
#include <string>
#include <vector>

namespace Tolv
{

struct LongOption
{
    const char *name;
    bool hasArgument;
    int value;
};

// A getopt_long-style parser with the rules the GUI's command lines rely on:
// no reordering of arguments (parsing stops at the first non-option), and an
// ambiguous long prefix takes the first matching table entry instead of being
// rejected. The platform's getopt_long differs on both, so we keep our own.
class OptionParser
{
public:
    static constexpr int End = -1;
    static constexpr int Unknown = '?';

    OptionParser(const std::vector<std::string> &args, const char *shortOptions, const LongOption *longOptions,
                 size_t longCount, std::ostream &err);

    // Returns the next option's value, Unknown for an unrecognised option or a
    // missing argument (after telling so on the error stream), End when done.
    int Next();

    bool HasArgument() const { return hasArgument; }
    const std::string &Argument() const { return argument; }

    // Index of the first argument that was not parsed.
    size_t Index() const { return index; }

private:
    int NextLong();
    int NextShort();
    const LongOption *FindLong(const std::string &name) const;

    const std::vector<std::string> &args;
    const char *shortOptions;
    const LongOption *longOptions;
    size_t longCount;
    std::ostream &err;

    size_t index = 1;
    size_t groupPos = 0; // position inside a group of short options, 0 when none is open
    bool hasArgument = false;
    std::string argument;
};

} // namespace Tolv

#endif
