#ifndef MBUS_XML_ESCAPE_H
#define MBUS_XML_ESCAPE_H

#include <cstddef>

// The longest rendering of one source byte (a control picture, "&#x2401;").
constexpr size_t MBUS_XML_ESCAPE_MAX = 8;

// mbus_xml_safe that also tells how many characters it wrote (the
// terminator not counted); 0 when nothing could be written.
size_t mbus_xml_safe_length(char *destination, const char *source, size_t capacity);

#endif
