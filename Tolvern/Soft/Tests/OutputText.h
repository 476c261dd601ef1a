#ifndef TOLV_TESTS_OUTPUTTEXT_H
#define TOLV_TESTS_OUTPUTTEXT_H

// What the program prints, made comparable: the parts that change from run to run
// (source lines, reception dates, log headers) replaced by fixed text.
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

// A whole file; empty when it cannot be read.
inline std::string ReadFile(const std::string &path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Error lines carry the source position; the line number is not what we test.
inline std::string NoLineNumbers(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"(\.cpp:[0-9]+ )"), ".cpp:N ");
}

// A document's date is the time of reception: date="D" in its place.
inline std::string NoDates(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"(date="[^"]*")"), "date=\"D\"");
}

// With -d every line starts with its time, level and tag.
inline std::string WithoutHeaders(const std::string &text)
{
    return std::regex_replace(text, std::regex(R"((^|\n)\[[^\]]*\]\[[0-9]\]\[[^\]]*\])"), "$1");
}

// Occurrences of part in text.
inline size_t CountOf(const std::string &text, const std::string &part)
{
    size_t count = 0;
    for (size_t pos = text.find(part); pos != std::string::npos; pos = text.find(part, pos + part.size()))
    {
        ++count;
    }
    return count;
}

#endif
