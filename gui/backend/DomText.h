#ifndef GUI_BACKEND_DOMTEXT_H
#define GUI_BACKEND_DOMTEXT_H

#include <QDomDocument>
#include <QDomElement>
#include <QDomNode>
#include <QString>

// Small readers and writers shared by the DOM code of the back end.
class DomText
{
public:
    // The text of the element's first child when that child is text or character data, else empty.
    static QString of(const QDomElement &element);
    // The element's text pieces (plain text and character data) joined, whatever stands between them.
    static QString joined(const QDomElement &element);
    // The element's whole content, its text pieces joined, when it holds text only: Tolvern reads what it
    // sends that way. Anything else inside (a comment, an element, an entity reference) would have the two
    // programs read different values: then false, text empty, and what stands there in kind.
    static bool whole(const QDomElement &element, QString &text, QString *kind = nullptr);
    // Decimal integer of the element's text; 0 when it is no number.
    static int intOf(const QDomElement &element);

    // A walk over child elements that ends at the first node of another kind (a comment, text), the way
    // Tolvern's own readers walk: for (e = firstElement(parent); !e.isNull(); e = nextElement(e)).
    static QDomElement firstElement(const QDomNode &parent);
    static QDomElement nextElement(const QDomNode &node);

    // Appends <name>text</name> to parent; an empty text gives an element without content.
    static QDomElement append(QDomDocument &document, QDomElement &parent, const QString &name, const QString &text);
};

#endif
