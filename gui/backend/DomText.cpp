#include "DomText.h"

namespace
{
bool isText(const QDomNode &node)
{
    return node.isText() || node.isCDATASection();
}

// What a node that is not text is, in the words of Tolvern's refusals.
QString kindOf(const QDomNode &node)
{
    if (node.isComment())
        return "a comment";
    if (node.isElement())
        return "an element <" + node.nodeName() + ">";
    if (node.isEntityReference())
        return "an entity reference &" + node.nodeName() + ";";
    if (node.isProcessingInstruction())
        return "a processing instruction";
    return "content other than text";
}
} // namespace

QString DomText::joined(const QDomElement &element)
{
    QString text;
    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling())
    {
        if (isText(child))
            text += child.nodeValue();
    }
    return text;
}

bool DomText::whole(const QDomElement &element, QString &text, QString *kind)
{
    text.clear();
    for (QDomNode child = element.firstChild(); !child.isNull(); child = child.nextSibling())
    {
        if (!isText(child))
        {
            if (kind)
                *kind = kindOf(child);
            return false;
        }
    }
    text = joined(element);
    return true;
}

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
