#ifndef TOLV_TESTS_TESTHEX_H
#define TOLV_TESTS_TESTHEX_H

#include "WMBH_HexText.h"

#include <cstdint>
#include <string>
#include <vector>

// "04 13 2C": the bytes as the tables of the tests write them.
inline std::string Hex(const std::vector<uint8_t> &bytes)
{
    std::string text = BytesToHex(bytes.data(), bytes.size());
    if (!text.empty())
    {
        text.pop_back(); // BytesToHex ends every byte with a blank
    }
    return text;
}

#endif
