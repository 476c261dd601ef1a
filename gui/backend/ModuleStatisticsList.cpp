#include "ModuleStatisticsList.h"

void ModuleStatisticsList::update(const CaptureFrame_t &frame)
{
    const bool hasRssi = frame.rssi != CaptureFrame_t::NoValue;
    const bool sndNr = frame.Type == "SND-NR";
    const auto known = positions.constFind(frame.Id);
    if (known != positions.constEnd())
    {
        ModuleStatistics &entry = entries[*known];
        if (hasRssi)
        {
            entry.rssiAverage = entry.rssiCount == 0
                                    ? float(frame.rssi)
                                    : (frame.rssi + entry.rssiAverage * entry.rssiCount) / (entry.rssiCount + 1);
            entry.rssiMin = entry.rssiCount == 0 ? frame.rssi : qMin(entry.rssiMin, frame.rssi);
            entry.rssiMax = entry.rssiCount == 0 ? frame.rssi : qMax(entry.rssiMax, frame.rssi);
            ++entry.rssiCount;
        }
        // The mean over the spacings seen: n frames so far have given n - 1 spacings.
        const int spacings = entry.frameCount - 1;
        const int delta = static_cast<int>((frame.time - entry.lastTime) / 1000);
        entry.deltaAverage = (delta + entry.deltaAverage * spacings) / (spacings + 1);
        entry.deltaMin = qMin(entry.deltaMin, delta);
        entry.deltaMax = qMax(entry.deltaMax, delta);
        entry.lastTime = frame.time;
        ++entry.frameCount;
        if (sndNr)
            ++entry.sndNrCount;
        return;
    }
    ModuleStatistics entry;
    entry.Id = frame.Id;
    entry.Manufacturer = frame.Manufacturer;
    entry.lastTime = frame.time;
    entry.frameCount = 1;
    entry.sndNrCount = sndNr ? 1 : 0;
    if (hasRssi)
    {
        entry.rssiMin = entry.rssiMax = frame.rssi;
        entry.rssiAverage = frame.rssi;
        entry.rssiCount = 1;
    }
    positions.insert(entry.Id, entries.size());
    entries.append(entry);
}

ModuleStatistics ModuleStatisticsList::find(const QString &id) const
{
    const auto known = positions.constFind(id);
    return known != positions.constEnd() ? entries.at(*known) : ModuleStatistics{};
}
