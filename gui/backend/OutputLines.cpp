#include "OutputLines.h"

QStringList OutputLines::feed(const QString &chunk)
{
    partial += chunk;
    const int lastBreak = partial.lastIndexOf('\n');
    if (lastBreak < 0)
        return {};
    QStringList lines = partial.left(lastBreak).split('\n');
    partial.remove(0, lastBreak + 1);
    for (QString &line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

QString OutputLines::flush()
{
    QString rest = partial;
    partial.clear();
    if (rest.endsWith('\r'))
        rest.chop(1);
    return rest;
}

QString OutputLines::after(const QString &line, const QString &marker)
{
    const int at = line.indexOf(marker);
    return at < 0 ? QString() : line.mid(at + marker.size());
}
