#ifndef WMBH_HEXTEXT_H
#define WMBH_HEXTEXT_H

#include <cstddef>
#include <string>
#include <vector>

// Upper-case hexadecimal renderings for trace and error lines, and the one reader of
// hexadecimal text (keys, addresses, frames written as text). They live in a target of
// their own so that the utilities, the modem driver and the decoder can all use them
// without depending on each other.

// "05 AB ": two digits and a blank per byte.
std::string BytesToHex(const unsigned char *bytes, size_t count);
// "05AB": two digits per byte, no separator.
std::string DataToHex(const unsigned char *bytes, size_t count);
// "5 AB ": no leading zero, a blank after each byte.
std::string HexDump(const unsigned char *bytes, size_t count);

// The value of one hexadecimal digit of either case; -1 for any other character.
int HexDigitValue(char c);
// Two digits per byte, nothing else (no blanks, no "0x"). False, with bytes left as they
// were, for an odd number of digits or any other character.
bool HexToBytes(const std::string &text, std::vector<unsigned char> &bytes);

#endif
