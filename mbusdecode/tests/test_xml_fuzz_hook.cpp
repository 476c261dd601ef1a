// The fuzz target's rendering step: whatever the radio sent, the document
// Tolvern would print for it must be well-formed XML.

#include "fuzz_wmbus_hook.h"

#include <libxml/parser.h>

#include <cstdlib>
#include <cstring>

namespace
{

void CheckWellFormed(char *document)
{
    if (document == nullptr)
        return;
    size_t length = std::strlen(document);
    xmlDoc *doc = xmlReadMemory(document, static_cast<int>(length), "frame.xml", nullptr,
                                XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (doc == nullptr || length < 8 || std::strcmp(document + length - 8, "</mbus>\n") != 0)
        std::abort();
    xmlFreeDoc(doc);
    std::free(document);
}

} // namespace

void mbus_fuzz_render_hook(mbus_frame *frame, mbus_frame_data *data, int parseRc, int dataRc,
                           const unsigned char *input, size_t size)
{
    // The same choice as the listen task: the data document when the frame
    // decodes, else the error document, and the raw bytes when the input is
    // not even a whole frame.
    if (parseRc > 0)
    {
        CheckWellFormed(mbus_frame_raw_error_xml(input, size, mbus_error_str()));
        return;
    }
    char *document = nullptr;
    if (parseRc == 0 && dataRc == 0)
        document = mbus_frame_data_xml(data);
    if (document == nullptr)
        document = mbus_frame_error_xml(frame, mbus_error_str());
    CheckWellFormed(document);
}
