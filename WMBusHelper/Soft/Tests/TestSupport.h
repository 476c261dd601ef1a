#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "ErrorOf.h"
#include "LogCapture.h"
#include "WMBH_HexText.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

// "2E 44 93" or "2E4493" into bytes.
inline Bytes FromHex(const std::string &text)
{
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits.push_back(c);
    Bytes bytes;
    if (!HexToBytes(digits, bytes))
        throw std::invalid_argument("not hex: " + text);
    return bytes;
}

inline Bytes Concat(Bytes a, const Bytes &b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Keeps the error lines that the helpers log for refused input out of the test output; a test
// that looks at the lines opens its own LogCapture.
class QuietLog : public ::testing::Environment
{
public:
    void SetUp() override { capture.reset(new LogCapture(LogLevel::Normal)); }
    void TearDown() override { capture.reset(); }

private:
    std::unique_ptr<LogCapture> capture;
};

#endif
