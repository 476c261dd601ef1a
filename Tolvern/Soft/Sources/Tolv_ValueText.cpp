#include "Tolv_ValueText.h"

#include <algorithm>

namespace Tolv
{

std::string QuotedValue(const std::string &value)
{
    constexpr size_t MaxShown = 40;
    return "\"" + (value.size() <= MaxShown ? value : value.substr(0, MaxShown) + "...") + "\"";
}

std::string Trimmed(const std::string &text)
{
    const size_t first = text.find_first_not_of(Blanks);
    if (first == std::string::npos)
    {
        return std::string();
    }
    return text.substr(first, text.find_last_not_of(Blanks) - first + 1);
}

std::optional<long long> ReadDecimal(const std::string &text)
{
    const bool negative = !text.empty() && text[0] == '-';
    size_t pos = !text.empty() && (text[0] == '-' || text[0] == '+') ? 1 : 0;
    if (pos == text.size())
    {
        return std::nullopt;
    }
    long long value = 0;
    for (; pos < text.size(); ++pos)
    {
        if (text[pos] < '0' || text[pos] > '9')
        {
            return std::nullopt;
        }
        value = std::min(DecimalPastLimits, value * 10 + (text[pos] - '0'));
    }
    return negative ? -value : value;
}

} // namespace Tolv
