#include "Tolv_QuotedValue.h"

namespace Tolv
{

std::string QuotedValue(const std::string &value)
{
    constexpr size_t MaxShown = 40;
    return "\"" + (value.size() <= MaxShown ? value : value.substr(0, MaxShown) + "...") + "\"";
}

} // namespace Tolv
