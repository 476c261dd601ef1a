#include "OutputLines.h"

QStringList OutputLines::feed(const QString &chunk)
{
    partial += chunk;
    const int lastBreak = partial.lastIndexOf('\n');
    if (lastBreak < 0)
        return {};
    const QStringList lines = partial.left(lastBreak).split('\n');
    partial.remove(0, lastBreak + 1);
    return lines;
}

QString OutputLines::flush()
{
    QString rest;
    rest.swap(partial);
    return rest;
}

QString OutputLines::after(const QString &line, const QString &marker)
{
    const int at = line.indexOf(marker);
    return at < 0 ? QString() : line.mid(at + marker.size());
}
