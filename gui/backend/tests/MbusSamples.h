#ifndef GUI_BACKEND_TESTS_MBUSSAMPLES_H
#define GUI_BACKEND_TESTS_MBUSSAMPLES_H

#include <QByteArray>
#include <QString>

// Frame documents laid out as Tolvern prints them.
class MbusSamples
{
public:
    // A meter frame with signal strength, one record and raw data.
    static QByteArray meter(const QByteArray &id, int rssi = 141, const QByteArray &type = "SND-NR");
};

#endif
