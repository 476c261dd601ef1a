#ifndef GUI_BACKEND_DOMTEXT_H
#define GUI_BACKEND_DOMTEXT_H

#include <QDomElement>
#include <QString>

// Small readers shared by every DOM walk of the back end.
class DomText
{
public:
    // The text of the element's first child when that child is text or character data, else empty.
    static QString of(const QDomElement &element);
    // Decimal integer of the element's text; 0 when it is no number.
    static int intOf(const QDomElement &element);
};

#endif
