#include "CaptureFileScan.h"

#include <cstring>

namespace
{
// A forward cursor over the file's bytes; every look-ahead checks the bytes left.
class Cursor
{
public:
    Cursor(const char *data, qint64 size) : data(data), size(size) {}

    qint64 pos = 0;

    bool atEnd() const { return pos >= size; }
    bool startsWith(const char *text) const
    {
        const qint64 length = qint64(std::strlen(text));
        return size - pos >= length && std::memcmp(data + pos, text, size_t(length)) == 0;
    }
    char at(qint64 offset) const { return pos + offset < size ? data[pos + offset] : '\0'; }
    void skipBlanks()
    {
        while (!atEnd() && isBlank(data[pos]))
            ++pos;
    }
    // Moves past the next occurrence of the text; false when there is none.
    bool skipPast(const char *text)
    {
        const qint64 length = qint64(std::strlen(text));
        for (qint64 i = pos; i + length <= size; ++i)
        {
            const void *first = std::memchr(data + i, text[0], size_t(size - i));
            if (!first)
                return false;
            i = static_cast<const char *>(first) - data;
            if (i + length <= size && std::memcmp(data + i, text, size_t(length)) == 0)
            {
                pos = i + length;
                return true;
            }
        }
        return false;
    }
    QByteArray between(qint64 from, qint64 to) const
    {
        return to > from ? QByteArray(data + from, int(to - from)) : QByteArray();
    }
    static bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

private:
    const char *data;
    qint64 size;
};

// A comment the parser takes: no "--" inside it and none before its end.
bool skipComment(Cursor &cursor)
{
    const qint64 bodyAt = cursor.pos + 4;
    cursor.pos = bodyAt;
    if (!cursor.skipPast("-->"))
        return false;
    const QByteArray body = cursor.between(bodyAt, cursor.pos - 3);
    return !body.contains("--") && !body.endsWith('-');
}

// Blanks, comments and processing instructions (an XML declaration only when asked for, and then only one
// that names no encoding or UTF-8).
bool skipMisc(Cursor &cursor, bool declarationAllowed)
{
    for (;;)
    {
        cursor.skipBlanks();
        if (cursor.startsWith("<!--"))
        {
            if (!skipComment(cursor))
                return false;
        }
        else if (cursor.startsWith("<?"))
        {
            const qint64 from = cursor.pos;
            if (!cursor.skipPast("?>"))
                return false;
            const QByteArray instruction = cursor.between(from, cursor.pos);
            if (instruction.startsWith("<?xml") && Cursor::isBlank(instruction.at(5)))
            {
                if (!declarationAllowed)
                    return false;
                const QByteArray lower = instruction.toLower();
                if (lower.contains("encoding") && !lower.contains("\"utf-8\"") && !lower.contains("'utf-8'"))
                    return false;
            }
        }
        else
            return true;
        declarationAllowed = false;
    }
}

// The end of the element whose start tag the cursor stands on.
bool skipElement(Cursor &cursor)
{
    int depth = 0;
    do
    {
        if (!cursor.skipPast("<"))
            return false;
        --cursor.pos;
        if (cursor.startsWith("<!--"))
        {
            if (!skipComment(cursor))
                return false;
        }
        else if (cursor.startsWith("<![CDATA["))
        {
            if (!cursor.skipPast("]]>"))
                return false;
        }
        else if (cursor.startsWith("<?"))
        {
            if (!cursor.skipPast("?>"))
                return false;
        }
        else if (cursor.startsWith("<!"))
            return false;
        else if (cursor.startsWith("</"))
        {
            if (!cursor.skipPast(">"))
                return false;
            --depth;
        }
        else
        {
            // A start tag: its end is the first ">" outside quoted attribute values.
            char quote = 0;
            char previous = 0;
            ++cursor.pos;
            for (;; ++cursor.pos)
            {
                if (cursor.atEnd())
                    return false;
                const char c = cursor.at(0);
                if (quote)
                {
                    if (c == quote)
                        quote = 0;
                }
                else if (c == '"' || c == '\'')
                    quote = c;
                else if (c == '>')
                    break;
                previous = c;
            }
            ++cursor.pos;
            if (previous != '/')
                ++depth;
        }
    } while (depth > 0);
    return true;
}

bool rootTag(Cursor &cursor, const char *tag)
{
    if (!cursor.startsWith(tag))
        return false;
    cursor.pos += qint64(std::strlen(tag));
    cursor.skipBlanks();
    if (cursor.at(0) != '>')
        return false;
    ++cursor.pos;
    return true;
}
} // namespace

bool CaptureFileScan::scan(const char *data, qint64 size, Layout &layout)
{
    layout = Layout{};
    Cursor cursor(data, size);
    if (cursor.startsWith("\xEF\xBB\xBF"))
        cursor.pos = 3;
    if (!skipMisc(cursor, true) || !rootTag(cursor, "<recorded_frames"))
        return false;
    layout.skeleton = cursor.between(0, cursor.pos);
    for (;;)
    {
        const qint64 before = cursor.pos;
        if (!skipMisc(cursor, false))
            return false;
        layout.skeleton += cursor.between(before, cursor.pos);
        if (cursor.startsWith("</"))
            break;
        if (cursor.at(0) != '<')
            return false;
        const qint64 begin = cursor.pos;
        if (!skipElement(cursor))
            return false;
        layout.elements.append({begin, cursor.pos});
    }
    const qint64 closing = cursor.pos;
    if (!rootTag(cursor, "</recorded_frames") || !skipMisc(cursor, false) || !cursor.atEnd())
        return false;
    layout.skeleton += cursor.between(closing, size);
    return true;
}
