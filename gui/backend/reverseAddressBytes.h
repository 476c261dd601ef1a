#ifndef GUI_BACKEND_REVERSEADDRESSBYTES_H
#define GUI_BACKEND_REVERSEADDRESSBYTES_H

#include <QString>

// The identification number as frame headers show it, from the start of a module address as Tolvern
// prints it (its four bytes least significant first): "a1b2c3d4e5f60107" gives "d4c3b2a1".
// A text shorter than eight characters gives an empty text.
QString reverseAddressBytes(const QString &address);

#endif
