#ifndef WMBH_HEXTEXT_H
#define WMBH_HEXTEXT_H

#include <cstddef>
#include <string>

// Upper-case hexadecimal renderings for trace and error lines.
// They live in a target of their own so that the utilities, the modem driver
// and the decoder can all use them without depending on each other.

// "05 AB ": two digits and a blank per byte.
std::string BytesToHex(const unsigned char *bytes, size_t count);
// "05AB": two digits per byte, no separator.
std::string DataToHex(const unsigned char *bytes, size_t count);
// "5 AB ": no leading zero, a blank after each byte.
std::string HexDump(const unsigned char *bytes, size_t count);

#endif
