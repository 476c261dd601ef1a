#ifndef GUI_BACKEND_CAPTUREFRAME_T_H
#define GUI_BACKEND_CAPTUREFRAME_T_H

#include <QString>
#include <QtGlobal>

// One received frame as the GUI lists it, flattened from its mbus document.
struct CaptureFrame_t
{
    static constexpr int NoValue = 0xFFFF; // no signal strength, no access number

    qint64 time = 0;    // reception, ms since the epoch
    QString date;       // "No date" when the document had none
    int rssi = NoValue; // minus half the modem's value
    QString Id;
    QString Manufacturer;
    QString reserved; // kept empty: no element fills it
    QString Medium;
    int AccessNumber = NoValue;
    QString Status;
    QString Signature;
    QString Type;
    QString raw;
    QString error;
    QString xml;    // the whole element, time attribute included
    int number = 0; // position in its store, from 1
};

#endif
