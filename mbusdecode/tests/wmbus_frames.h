#ifndef MBUSDECODE_TESTS_WMBUS_FRAMES_H
#define MBUSDECODE_TESTS_WMBUS_FRAMES_H

// Builds decoder input for tests from readable hex.

#include "WMBH_HexText.h"
#include "mbus-protocol.h"

#include <cctype>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace wmbus_test
{

// Frame data that free themselves.
using FrameDataPtr = mbus_frame_data_ptr;

// Hex digits with any blanks in between: "44 D26A" -> 44 D2 6A.
inline std::vector<unsigned char> Hex(const std::string &text)
{
    std::string digits;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c)))
            digits += c;
    std::vector<unsigned char> bytes;
    if (!HexToBytes(digits, bytes))
        throw std::invalid_argument("not hex: " + text);
    return bytes;
}

// The decoder input of a radio frame given from its C-field to its last data
// byte: 0x68, L (counting C through the trailer), the bytes, rssi, 0, 0, 0x16.
inline std::vector<unsigned char> WFrame(const std::string &fromControl, unsigned char rssi = 0x76)
{
    std::vector<unsigned char> input = Hex("68 00 " + fromControl);
    input[1] = static_cast<unsigned char>(input.size() - 2 + 3);
    for (unsigned char byte :
         {rssi, static_cast<unsigned char>(0), static_cast<unsigned char>(0), static_cast<unsigned char>(0x16)})
        input.push_back(byte);
    return input;
}

// The decoder input of a telegram as published (L first, no signal byte), as
// the command-line program rebuilds it from the modem: the modem's L counts
// its signal byte, and two trailer bytes follow.
inline std::vector<unsigned char> FromAir(const std::string &telegram, unsigned char rssi = 0x76)
{
    std::vector<unsigned char> input = Hex("68 " + telegram);
    if (input.size() > 1)
        input[1] = static_cast<unsigned char>(input[1] + 3);
    for (unsigned char byte :
         {rssi, static_cast<unsigned char>(0), static_cast<unsigned char>(0), static_cast<unsigned char>(0x16)})
        input.push_back(byte);
    return input;
}

// Link header of the maker's module 12345678 (C-field SND-NR, M "ZVR", version 1, water).
constexpr const char *kMakerLink = "44 D26A 78563412 01 07 ";
// The same module of another maker (M 0x0442).
constexpr const char *kOtherLink = "44 4204 78563412 01 07 ";

} // namespace wmbus_test

#endif
