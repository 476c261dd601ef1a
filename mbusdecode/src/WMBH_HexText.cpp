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

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool HexToBytes(const std::string &text, std::vector<unsigned char> &bytes)
{
    if (text.size() % 2 != 0)
        return false;
    std::vector<unsigned char> parsed;
    parsed.reserve(text.size() / 2);
    for (size_t i = 0; i < text.size(); i += 2)
    {
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0)
            return false;
        parsed.push_back(static_cast<unsigned char>(high << 4 | low));
    }
    bytes.swap(parsed);
    return true;
}
