#include "WMBH_HexText.h"

namespace
{

constexpr char kDigits[] = "0123456789ABCDEF";

std::string Render(const unsigned char *bytes, size_t count, bool keepLeadingZero, bool blankAfter)
{
    std::string text;
    text.reserve(count * 3);
    for (size_t i = 0; i < count; ++i)
    {
        unsigned char b = bytes[i];
        if (keepLeadingZero || b >= 0x10)
            text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
        if (blankAfter)
            text.push_back(' ');
    }
    return text;
}

} // namespace

std::string BytesToHex(const unsigned char *bytes, size_t count)
{
    return Render(bytes, count, true, true);
}

std::string DataToHex(const unsigned char *bytes, size_t count)
{
    return Render(bytes, count, true, false);
}

std::string HexDump(const unsigned char *bytes, size_t count)
{
    return Render(bytes, count, false, true);
}
