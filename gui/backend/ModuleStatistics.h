#ifndef GUI_BACKEND_MODULESTATISTICS_H
#define GUI_BACKEND_MODULESTATISTICS_H

#include <QString>
#include <QtGlobal>

// What a capture has seen of one module. Frames without signal strength count as frames but take no
// part in the RSSI figures, which hold NoRssi until a frame with signal strength arrives.
struct ModuleStatistics
{
    static constexpr int NoRssi = 0xFFFF;
    static constexpr int NoDelta = 0xFFFF;

    QString Id;
    QString Manufacturer;
    qint64 lastTime = 0; // ms since the epoch
    int frameCount = 0;
    int sndNrCount = 0;
    int deltaMin = NoDelta; // seconds between two consecutive frames
    int deltaMax = 0;
    float deltaAverage = 0;
    int rssiMin = NoRssi;
    int rssiMax = NoRssi;
    float rssiAverage = NoRssi;
    int rssiCount = 0; // frames that carried a signal strength
};

#endif
