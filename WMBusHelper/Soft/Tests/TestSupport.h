#ifndef TESTSUPPORT_H
#define TESTSUPPORT_H

#include "Log.h"
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

// Collects the lines of the radio-frame helpers' module while it lives; `level` 1 shows traces.
class LogCapture
{
public:
    explicit LogCapture(int level = LogLevel::Normal) : saved(Log::Instance().GetStream())
    {
        Log::Instance().GetStream() = &lines;
        Log::Instance().SetLevel(LogModule::WMBH, level);
    }
    ~LogCapture()
    {
        Log::Instance().SetLevel(LogModule::WMBH, LogLevel::Normal);
        Log::Instance().GetStream() = saved;
    }
    LogCapture(const LogCapture &) = delete;
    LogCapture &operator=(const LogCapture &) = delete;

    std::string Text() const { return lines.str(); }

private:
    std::ostream *saved;
    std::ostringstream lines;
};

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

// The message of the std::runtime_error that `action` throws; empty when it throws none.
template <typename Action> std::string ErrorOf(Action action)
{
    try
    {
        action();
    }
    catch (const std::runtime_error &e)
    {
        return e.what();
    }
    return "";
}

#endif
