#include "HexBytes.h"

#include "WMBH_HexText.h"

#include <stdexcept>

namespace ModemEmu
{

std::vector<uint8_t> ParseHex(const std::string &text)
{
    std::vector<uint8_t> bytes;
    int high = -1;
    for (char c : text)
    {
        if (c == ' ' || c == ':' || c == '-' || c == '\t')
        {
            if (high >= 0)
                throw std::invalid_argument("hex byte split by a separator: " + text);
            continue;
        }
        int value = HexDigitValue(c);
        if (value < 0)
            throw std::invalid_argument("not a hex digit in: " + text);
        if (high < 0)
        {
            high = value;
        }
        else
        {
            bytes.push_back(static_cast<uint8_t>(high << 4 | value));
            high = -1;
        }
    }
    if (high >= 0)
        throw std::invalid_argument("odd number of hex digits: " + text);
    return bytes;
}

} // namespace ModemEmu
