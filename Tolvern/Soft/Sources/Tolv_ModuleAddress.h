#ifndef TOLV_MODULEADDRESS_H
#define TOLV_MODULEADDRESS_H

#include "WMBH_Frame.h"
#include "mbus-protocol.h"

#include <cstdint>
#include <string>

namespace Tolv
{

// The 64-bit module address of an address text ("0x" optional, hexadecimal, at most 64 bits;
// characters after the digits are ignored), without a word on the log. Throws
// std::runtime_error("input address parsing error") for anything else.
uint64_t ReadAddress(const std::string &addressText);

// ReadAddress, then "Got address " and the 16 digits.
uint64_t ParseAddress(const std::string &addressText);
// The same for the run's OptAddress.
uint64_t ParseAddress();

// The address as 16 lower-case hexadecimal digits, without "0x".
std::string AddressDigits(uint64_t address);

// The eight address bytes of a module address value, most significant first:
// the order in which they go on the air.
AddressBytes AddressBytesOf(uint64_t address);

// The module address value of its eight bytes, most significant first.
uint64_t AddressValueOf(const AddressBytes &bytes);

// True when the frame's link address is the module address `from`.
bool IsSentBy(const mbus_frame &frame, const AddressBytes &from);

} // namespace Tolv

#endif
