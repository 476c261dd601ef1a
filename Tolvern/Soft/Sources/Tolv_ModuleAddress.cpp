#include "Tolv_ModuleAddress.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "WMBH_HexText.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace Tolv
{

uint64_t ReadAddress(const std::string &addressText)
{
    // Leading blanks, an optional 0x, then digits up to the first other character. A sign is
    // refused: a stream extraction would turn "-1" into the all-ones address.
    size_t pos = addressText.find_first_not_of(" \t\n\r\f\v");
    if (pos != std::string::npos && addressText.compare(pos, 2, "0x") == 0)
    {
        pos += 2;
    }
    else if (pos != std::string::npos && addressText.compare(pos, 2, "0X") == 0)
    {
        pos += 2;
    }
    uint64_t value = 0;
    int digits = 0;
    for (; pos < addressText.size(); ++pos)
    {
        const int digit = HexDigitValue(addressText[pos]);
        if (digit < 0)
        {
            break;
        }
        if (value >> 60 != 0)
        {
            throw std::runtime_error("input address parsing error");
        }
        value = value << 4 | static_cast<uint64_t>(digit);
        ++digits;
    }
    if (digits == 0)
    {
        throw std::runtime_error("input address parsing error");
    }
    return value;
}

uint64_t ParseAddress(const std::string &addressText)
{
    const uint64_t value = ReadAddress(addressText);
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Got address " << AddressDigits(value);
    return value;
}

uint64_t ParseAddress()
{
    return ParseAddress(RunConfig().OptAddress);
}

std::string AddressDigits(uint64_t address)
{
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(address));
    return text;
}

AddressBytes AddressBytesOf(uint64_t address)
{
    AddressBytes bytes{};
    for (size_t i = 0; i < bytes.size(); ++i)
    {
        bytes[i] = static_cast<uint8_t>(address >> (8 * (bytes.size() - 1 - i)));
    }
    return bytes;
}

uint64_t AddressValueOf(const AddressBytes &bytes)
{
    uint64_t address = 0;
    for (const uint8_t byte : bytes)
    {
        address = address << 8 | byte;
    }
    return address;
}

bool IsSentBy(const mbus_frame &frame, const AddressBytes &from)
{
    // The link address is M (2), id (4), version, type; the module address id (4), M (2), version, type.
    const uint8_t *link = frame.link_address;
    return std::equal(from.begin(), from.begin() + 4, link + 2) &&
           std::equal(from.begin() + 4, from.begin() + 6, link) && std::equal(from.begin() + 6, from.end(), link + 6);
}

} // namespace Tolv
