#include "DomText.h"

QString DomText::of(const QDomElement &element)
{
    const QDomNode first = element.firstChild();
    if (first.isText() || first.isCDATASection())
        return first.nodeValue();
    return QString();
}

int DomText::intOf(const QDomElement &element)
{
    bool ok = false;
    const int value = of(element).toInt(&ok, 10);
    return ok ? value : 0;
}
