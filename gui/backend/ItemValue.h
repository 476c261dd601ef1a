#ifndef GUI_BACKEND_ITEMVALUE_H
#define GUI_BACKEND_ITEMVALUE_H

#include <QString>

// A template item's value as Tolvern puts it on the air: a binary integer of the length that the DIF of
// the item's dib gives, unsigned, or two's complement for a negative value. The decoder prints what a
// module sends back as EN 13757-3 reads meters' values (most integers signed), so a value of 200 in one
// byte comes back as -56; the page reads it back the way it was written.
class ItemValue
{
public:
    // Bytes of the item's binary integer value (1, 2, 3, 4, 6 or 8); 0 when the item holds no binary
    // integer (no data, BCD, a real, variable length) or its dib is no number as Tolvern reads one.
    static int integerLength(const QString &dib);

    // The decoder's text of a record of the item, read as the item is written: the integer's low length
    // bytes, unsigned, or signed when the item may hold negative values. Texts that are no integer, and
    // items of no integer length, stay as they are.
    static QString asWritten(const QString &decoded, int length, bool signedItem);

    // Whether the template's minimum (text) lets the item hold negative values.
    static bool allowsNegative(const QString &min);
};

#endif
