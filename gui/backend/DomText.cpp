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

QDomElement DomText::firstElement(const QDomNode &parent)
{
    const QDomNode first = parent.firstChild();
    return first.isElement() ? first.toElement() : QDomElement();
}

QDomElement DomText::nextElement(const QDomNode &node)
{
    const QDomNode next = node.nextSibling();
    return next.isElement() ? next.toElement() : QDomElement();
}

QDomElement DomText::append(QDomDocument &document, QDomElement &parent, const QString &name, const QString &text)
{
    QDomElement element = document.createElement(name);
    if (!text.isEmpty())
        element.appendChild(document.createTextNode(text));
    parent.appendChild(element);
    return element;
}
