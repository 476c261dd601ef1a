#include "Fault.h"

#include "HexBytes.h"

#include <stdexcept>

namespace ModemEmu
{

namespace
{

struct FaultName
{
    FaultKind kind;
    const char *name;
};

constexpr FaultName kFaultNames[] = {
    {FaultKind::BadCrc, "bad-crc"},         {FaultKind::Garbage, "garbage"},    {FaultKind::CutShort, "cut-short"},
    {FaultKind::NoAck, "no-ack"},           {FaultKind::LateAck, "late-ack"},   {FaultKind::Nak, "nak"},
    {FaultKind::LateAnswer, "late-answer"}, {FaultKind::NoAnswer, "no-answer"}, {FaultKind::Silent, "silent"},
    {FaultKind::EventBurst, "event-burst"},
};

int ParseCount(const std::string &text, const std::string &whole)
{
    size_t used = 0;
    int value = -1;
    try
    {
        value = std::stoi(text, &used);
    }
    catch (const std::exception &)
    {
        used = 0;
    }
    if (used != text.size() || value < 0)
        throw std::invalid_argument("bad number in fault: " + whole);
    return value;
}

} // namespace

const char *FaultKindName(FaultKind kind)
{
    for (const FaultName &entry : kFaultNames)
    {
        if (entry.kind == kind)
            return entry.name;
    }
    return "";
}

Fault ParseFault(const std::string &text)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;)
    {
        size_t colon = text.find(':', start);
        parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
        if (colon == std::string::npos)
            break;
        start = colon + 1;
    }
    if (parts.size() > 3)
        throw std::invalid_argument("too many fields in fault: " + text);

    std::string name = parts[0];
    Fault fault;
    size_t at = name.find('@');
    if (at != std::string::npos)
    {
        fault.channel = ParseCount(name.substr(at + 1), text);
        if (fault.channel > 2)
            throw std::invalid_argument("fault channel must be 0 to 2: " + text);
        name = name.substr(0, at);
    }
    bool known = false;
    for (const FaultName &entry : kFaultNames)
    {
        if (name == entry.name)
        {
            fault.kind = entry.kind;
            known = true;
        }
    }
    if (!known)
        throw std::invalid_argument("unknown fault kind: " + text);
    if (parts.size() > 1)
        fault.count = ParseCount(parts[1], text);
    if (parts.size() > 2)
    {
        switch (fault.kind)
        {
        case FaultKind::LateAck:
        case FaultKind::LateAnswer:
            fault.delay = std::chrono::milliseconds(ParseCount(parts[2], text));
            break;
        case FaultKind::CutShort:
            fault.keepBytes = static_cast<size_t>(ParseCount(parts[2], text));
            break;
        case FaultKind::EventBurst:
            fault.events = static_cast<size_t>(ParseCount(parts[2], text));
            break;
        case FaultKind::Garbage:
            fault.garbage = ParseHex(parts[2]);
            if (fault.garbage.empty())
                throw std::invalid_argument("garbage fault needs bytes: " + text);
            break;
        default:
            throw std::invalid_argument("this fault takes no argument: " + text);
        }
    }
    return fault;
}

} // namespace ModemEmu
