#include "MbusStream.h"

namespace
{
const QString StartTag = QStringLiteral("<mbus");
const QString EndTag = QStringLiteral("</mbus>");
} // namespace

// "<mbus" followed by a character that may not continue the element name ("<mbusx" is another element).
int MbusStream::findStart(const QString &text, int from)
{
    for (int at = text.indexOf(StartTag, from); at >= 0; at = text.indexOf(StartTag, at + 1))
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

void MbusStream::takeLines(const QString &text, QList<Piece> &pieces)
{
    for (const QString &line : text.split('\n'))
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

    QList<Piece> pieces;
    for (;;)
    {
        const int start = findStart(buffer, 0);
        if (start < 0)
        {
            // No document begins: hand out the whole lines, keep a started one (it may become "<mbus").
            const int lastBreak = buffer.lastIndexOf('\n');
            if (lastBreak >= 0)
            {
                takeLines(buffer.left(lastBreak), pieces);
                buffer.remove(0, lastBreak + 1);
            }
            break;
        }
        if (start > 0)
        {
            QString before = buffer.left(start);
            if (before.endsWith('\n'))
                before.chop(1);
            takeLines(before, pieces);
            buffer.remove(0, start);
        }
        const int end = buffer.indexOf(EndTag);
        if (end < 0)
            break; // the end has not arrived yet
        // A document cut off and followed by a new one: hand out the broken part on its own, so that it
        // cannot spoil the next.
        const int restart = findStart(buffer, 1);
        if (restart > 0 && restart < end)
        {
            pieces.append({true, buffer.left(restart)});
            buffer.remove(0, restart);
            continue;
        }
        pieces.append({true, buffer.left(end + EndTag.size())});
        buffer.remove(0, end + EndTag.size());
        // The line feed that ends the document's last line belongs to it.
        if (buffer.startsWith('\n'))
            buffer.remove(0, 1);
    }
    return pieces;
}
