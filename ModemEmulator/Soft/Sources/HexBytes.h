#ifndef MODEMEMU_HEXBYTES_H
#define MODEMEMU_HEXBYTES_H

#include <cstdint>
#include <string>
#include <vector>

namespace ModemEmu
{

// Reads hexadecimal digit pairs; blanks, ':' and '-' between bytes are allowed.
// Throws std::invalid_argument on any other character or an odd digit count.
std::vector<uint8_t> ParseHex(const std::string &text);

} // namespace ModemEmu

#endif
