#include "mbus-xml-escape.h"

#include "mbus-protocol.h"

#include <cstring>

namespace
{

constexpr char kHexDigits[] = "0123456789abcdef";

// The rendering of one byte, written to `out` (room for MBUS_XML_ESCAPE_MAX);
// returns its length.
//
// Bytes are taken unsigned: radio text is arbitrary bytes, and a signed char
// above 0x7F must neither reach the classification as a negative value nor
// be copied raw, because a lone byte above 0x7F is not UTF-8 and the GUI's
// parser would reject the whole document. Such bytes are read as Latin-1 and
// written as character references.
//
// XML 1.0 forbids the control characters other than tab, line feed and
// carriage return even as character references, so those become references
// to their Unicode control pictures (U+2400 + byte): still visible, still one
// character, and accepted by every parser.
size_t EscapeByte(unsigned char c, char *out)
{
    switch (c)
    {
    case '"':
        std::memcpy(out, "&quot;", 6);
        return 6;
    case '&':
        std::memcpy(out, "&amp;", 5);
        return 5;
    case '<':
        std::memcpy(out, "&lt;", 4);
        return 4;
    case '>':
        std::memcpy(out, "&gt;", 4);
        return 4;
    default:
        break;
    }
    bool allowedReference = c == 0x09 || c == 0x0A || c == 0x0D || c >= 0x7F;
    if (c >= 0x20 && c < 0x7F)
    {
        out[0] = static_cast<char>(c);
        return 1;
    }
    size_t n = 0;
    out[n++] = '&';
    out[n++] = '#';
    out[n++] = 'x';
    if (!allowedReference)
    {
        out[n++] = '2';
        out[n++] = '4';
        out[n++] = kHexDigits[c >> 4];
    }
    else if (c >= 0x10)
    {
        out[n++] = kHexDigits[c >> 4];
    }
    out[n++] = kHexDigits[c & 0x0F];
    out[n++] = ';';
    return n;
}

} // namespace

size_t mbus_xml_safe_length(char *destination, const char *source, size_t capacity)
{
    if (destination == nullptr || capacity == 0)
        return 0;
    size_t pos = 0;
    if (source != nullptr)
    {
        const unsigned char *in = reinterpret_cast<const unsigned char *>(source);
        char rendering[MBUS_XML_ESCAPE_MAX];
        // The last 6 places stay free for an escape; a control picture is
        // longer, so it is written only when it fits whole with the terminator.
        for (; *in != 0 && pos + 6 < capacity; ++in)
        {
            size_t n = EscapeByte(*in, rendering);
            if (pos + n + 1 > capacity)
                break;
            std::memcpy(destination + pos, rendering, n);
            pos += n;
        }
    }
    destination[pos] = '\0';
    return pos;
}

void mbus_xml_safe(char *destination, const char *source, size_t capacity)
{
    mbus_xml_safe_length(destination, source, capacity);
}
