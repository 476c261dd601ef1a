#include "MbusStream.h"

namespace
{
const QString StartTag = QStringLiteral("<mbus");
const QString EndTag = QStringLiteral("</mbus>");
} // namespace

// "<mbus" followed by a character that may not continue the element name ("<mbusx" is another element),
// searched in [from, to).
int MbusStream::findStart(const QString &text, int from, int to)
{
    for (int at = text.indexOf(StartTag, from); at >= 0 && at < to; at = text.indexOf(StartTag, at + 1))
    {
        const int next = at + StartTag.size();
        if (next >= text.size())
            return at;
        const QChar c = text.at(next);
        if (c.isSpace() || c == '>' || c == '/')
            return at;
    }
    return -1;
}

void MbusStream::takeLines(const QString &text, int from, int to, QList<Piece> &pieces)
{
    const QStringList lines = text.mid(from, to - from).split('\n');
    for (const QString &line : lines)
        pieces.append({false, line});
}

QList<MbusStream::Piece> MbusStream::feed(const QString &chunk)
{
    buffer += chunk;
    // A carriage return may end one chunk and its line feed start the next: only whole text is normalised,
    // and a trailing carriage return waits for what follows.
    const bool trailingReturn = buffer.endsWith('\r');
    if (trailingReturn)
        buffer.chop(1);
    buffer.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    if (trailingReturn)
        buffer += '\r';

    // Everything before pos has been handed out; the buffer is cut once at the end.
    QList<Piece> pieces;
    int pos = 0;
    for (;;)
    {
        const int start = findStart(buffer, pos, buffer.size());
        if (start < 0)
        {
            // No document begins: hand out the whole lines, keep a started one (it may become "<mbus").
            const int lastBreak = buffer.lastIndexOf('\n');
            if (lastBreak >= pos)
            {
                takeLines(buffer, pos, lastBreak, pieces);
                pos = lastBreak + 1;
            }
            break;
        }
        if (start > pos)
        {
            const int before = buffer.at(start - 1) == '\n' ? start - 1 : start;
            takeLines(buffer, pos, before, pieces);
            pos = start;
        }
        const int end = buffer.indexOf(EndTag, start);
        if (end < 0)
            break; // the end has not arrived yet
        // A document cut off and followed by a new one: hand out the broken part on its own, so that it
        // cannot spoil the next.
        const int restart = findStart(buffer, start + 1, end);
        if (restart > 0)
        {
            pieces.append({true, buffer.mid(start, restart - start)});
            pos = restart;
            continue;
        }
        pos = end + EndTag.size();
        pieces.append({true, buffer.mid(start, pos - start)});
        // The line feed that ends the document's last line belongs to it.
        if (pos < buffer.size() && buffer.at(pos) == '\n')
            ++pos;
    }
    buffer.remove(0, pos);
    return pieces;
}

QList<MbusStream::Piece> MbusStream::flush()
{
    QList<Piece> pieces;
    if (buffer.endsWith('\r'))
        buffer.chop(1);
    if (!buffer.isEmpty())
        takeLines(buffer, 0, buffer.size(), pieces);
    buffer.clear();
    return pieces;
}
