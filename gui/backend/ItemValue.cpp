#include "ItemValue.h"

#include <QtGlobal>

namespace
{
struct DataField
{
    int code; // the DIF's low nibble
    int bytes;
};

// Binary integers only: BCD (0x9 to 0xC, 0xE) and the real (0x5) are not written as plain binary.
constexpr DataField integerFields[] = {{0x1, 1}, {0x2, 2}, {0x3, 3}, {0x4, 4}, {0x6, 6}, {0x7, 8}};

// The dib as Tolvern reads it: "0x" (lower-case x) and hexadecimal digits, or decimal digits; right-aligned,
// the DIF in its most significant non-zero byte.
bool readDib(const QString &text, quint32 &dib)
{
    const QString trimmed = text.trimmed();
    const bool hex = trimmed.size() > 2 && trimmed.startsWith("0x");
    const QString digits = hex ? trimmed.mid(2) : trimmed;
    if (digits.isEmpty())
        return false;
    for (const QChar c : digits)
    {
        if (!(c.isDigit() || (hex && QString("abcdefABCDEF").contains(c))))
            return false;
    }
    bool ok = false;
    dib = digits.toUInt(&ok, hex ? 16 : 10);
    return ok;
}
} // namespace

int ItemValue::integerLength(const QString &dib)
{
    quint32 value = 0;
    if (!readDib(dib, value))
        return 0;
    int dif = 0;
    for (int shift = 24; shift >= 0 && dif == 0; shift -= 8)
        dif = (value >> shift) & 0xFF;
    for (const DataField &field : integerFields)
    {
        if (field.code == (dif & 0x0F))
            return field.bytes;
    }
    return 0;
}

QString ItemValue::asWritten(const QString &decoded, int length, bool signedItem)
{
    if (length < 1 || length > 8)
        return decoded;
    // The decoder prints signed decimals, and the three-byte integers of a few unsigned kinds sign-extended
    // to 32 bits as unsigned: either way the low bytes are the module's.
    bool ok = false;
    quint64 bits = static_cast<quint64>(decoded.toLongLong(&ok, 10));
    if (!ok)
        bits = decoded.toULongLong(&ok, 10);
    if (!ok)
        return decoded;
    const int unused = 64 - 8 * length;
    bits = bits << unused >> unused;
    if (!signedItem)
        return QString::number(bits);
    // Two's complement of length bytes.
    return QString::number(static_cast<qint64>(bits << unused) >> unused);
}

bool ItemValue::allowsNegative(const QString &min)
{
    bool ok = false;
    const qlonglong value = min.trimmed().toLongLong(&ok, 10);
    return ok && value < 0;
}
