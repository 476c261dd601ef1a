#include "reverseAddressBytes.h"

QString reverseAddressBytes(const QString &address)
{
    if (address.size() < 8)
        return QString();
    return address.mid(6, 2) + address.mid(4, 2) + address.mid(2, 2) + address.mid(0, 2);
}
