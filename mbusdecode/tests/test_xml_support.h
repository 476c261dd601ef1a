#ifndef MBUSDECODE_TESTS_TEST_XML_SUPPORT_H
#define MBUSDECODE_TESTS_TEST_XML_SUPPORT_H

// Rendering helpers shared by the document tests: decode a frame the way the
// listen task does and hand back the document it would print.

#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <vector>

namespace xml_test
{

struct FreeText
{
    void operator()(char *text) const { std::free(text); }
};
using Text = std::unique_ptr<char, FreeText>;

struct FreeFrameData
{
    void operator()(mbus_frame_data *data) const { mbus_frame_data_free(data); }
};
using FrameData = std::unique_ptr<mbus_frame_data, FreeFrameData>;

inline std::string Take(char *text)
{
    Text owned(text);
    return owned ? std::string(owned.get()) : std::string();
}

// The document of one decoder input: the data document when the frame and
// its data decode, the error document when they do not, the raw document
// when the input is not even a whole frame. `frame` must outlive `data`.
struct Rendered
{
    mbus_frame frame{};
    FrameData data{mbus_frame_data_new()};
    std::string document;
};

inline void Render(Rendered &out, const std::vector<unsigned char> &input)
{
    mbus_error_reset();
    int rc = mbus_parse_wmbus(&out.frame, input.data(), input.size());
    if (rc > 0)
    {
        out.document = Take(mbus_frame_raw_xml(input.data(), input.size()));
        return;
    }
    if (rc == 0 && mbus_frame_data_parse(&out.frame, out.data.get(), nullptr) == 0)
    {
        char *text = mbus_frame_data_xml(out.data.get());
        if (text != nullptr)
        {
            out.document = Take(text);
            return;
        }
    }
    out.document = Take(mbus_frame_error_xml(&out.frame, mbus_error_str()));
}

inline std::string RenderFrame(const std::vector<unsigned char> &input)
{
    Rendered out;
    Render(out, input);
    return out.document;
}

// The rendering date varies; documents are compared with it replaced.
inline std::string WithoutDate(const std::string &document)
{
    static const std::regex date("^<mbus date=\"[^\"]*\">");
    return std::regex_replace(document, date, "<mbus date=\"DATE\">", std::regex_constants::format_first_only);
}

} // namespace xml_test

#endif
