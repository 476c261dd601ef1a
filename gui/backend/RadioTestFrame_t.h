#ifndef GUI_BACKEND_RADIOTESTFRAME_T_H
#define GUI_BACKEND_RADIOTESTFRAME_T_H

#include <QMetaType>
#include <QString>

// The transport-layer address part of a concentrator's answer.
struct RadioTestTpl_t
{
    QString id;
    QString manufacturer;
    QString medium;
};

// One concentrator's answer in the radio test.
struct RadioTestFrame_t
{
    static constexpr int NoRssi = 0xFFFF; // the answer carried no such signal strength

    RadioTestTpl_t tpl;
    QString uid; // the concentrator's unique number, upper-case hexadecimal without leading zeros; empty when absent
    QString id;
    QString manufacturer;
    QString medium;
    QString type;
    int uplinkRssi = NoRssi;   // at which the concentrator heard the request (its header status, halved)
    int downlinkRssi = NoRssi; // at which the modem heard the answer (its rssi, halved)
};

Q_DECLARE_METATYPE(RadioTestFrame_t)

#endif
