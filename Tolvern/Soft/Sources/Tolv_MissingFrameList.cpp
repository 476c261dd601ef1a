#include "Tolv_MissingFrameList.h"

#include "LogStatement.h"
#include "Tolv_ValueText.h"

#include <cstdint>
#include <optional>
#include <stdexcept>

namespace Tolv
{

namespace
{

constexpr long long MaxAccessNumber = 255;
constexpr long long MaxOffset = UINT32_MAX;
constexpr long long MaxCount = 255;

// One number of the list: its value (held at DecimalPastLimits beyond it), and the text without
// the blanks before it, for the refusal.
struct ListField
{
    std::string text;
    long long value = 0;
};

std::vector<std::string> SplitAtCommas(const std::string &text)
{
    std::vector<std::string> fields;
    size_t start = 0;
    for (size_t comma = text.find(','); comma != std::string::npos; comma = text.find(',', start))
    {
        fields.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    fields.push_back(text.substr(start));
    return fields;
}

[[noreturn]] void Refuse(const std::string &list, const std::string &reason)
{
    throw std::runtime_error("Invalid missing frame list " + QuotedValue(list) + ": " + reason);
}

// Blanks, then an optional sign and decimal digits and nothing else.
ListField ReadField(const std::string &list, const std::string &field, size_t number)
{
    const size_t first = field.find_first_not_of(Blanks);
    if (first == std::string::npos)
    {
        Refuse(list, "number " + std::to_string(number) + " is empty");
    }
    ListField read;
    read.text = field.substr(first);
    const std::optional<long long> value = ReadDecimal(read.text);
    if (!value)
    {
        Refuse(list, QuotedValue(read.text) + " is not a decimal number");
    }
    read.value = *value;
    return read;
}

long long InRange(const std::string &list, const ListField &field, const char *what, long long max)
{
    if (field.value < 0 || field.value > max)
    {
        Refuse(list, std::string(what) + " " + field.text + " is out of range 0 to " + std::to_string(max));
    }
    return field.value;
}

} // namespace

MissingFrameList ParseMissingFrameList(const std::string &text)
{
    MissingFrameList list;
    if (text.empty())
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Last acc parameter not found use default";
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "offset failed";
        return list;
    }
    const std::vector<std::string> fields = SplitAtCommas(text);
    list.acc = static_cast<int>(InRange(text, ReadField(text, fields[0], 1), "access number", MaxAccessNumber));
    for (size_t i = 1; i < fields.size(); i += 2)
    {
        const ListField offset = ReadField(text, fields[i], i + 1);
        list.offset = static_cast<unsigned>(InRange(text, offset, "offset", MaxOffset));
        // A lone offset would go out as no range at all.
        if (i + 1 == fields.size())
        {
            Refuse(text, "offset " + offset.text + " has no count");
        }
        list.count = static_cast<int>(InRange(text, ReadField(text, fields[i + 1], i + 2), "count", MaxCount));
        list.ranges.push_back({list.offset, static_cast<uint8_t>(list.count)});
    }
    return list;
}

std::string MissingFrameListTooLong(const std::string &text, size_t ranges)
{
    return "Invalid missing frame list " + QuotedValue(text) + ": " + std::to_string(ranges) +
           " ranges do not fit in one request (Frame data to large)";
}

} // namespace Tolv
