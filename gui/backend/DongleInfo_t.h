#ifndef GUI_BACKEND_DONGLEINFO_T_H
#define GUI_BACKEND_DONGLEINFO_T_H

#include <QMetaType>
#include <QString>

// The modem's identity as "Tolvern -m" reports it. Versions are major * 256 + minor; 0 while unknown.
struct DongleInfo_t
{
    int cliVersion = 0;
    QString address;
    int firmwareVersion = 0;
    int hardwareVersion = 0;
};

Q_DECLARE_METATYPE(DongleInfo_t *)

#endif
