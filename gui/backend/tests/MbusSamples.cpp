#include "MbusSamples.h"

QByteArray MbusSamples::meter(const QByteArray &id, int rssi, const QByteArray &type)
{
    return "<mbus date=\"2026-01-02T10:00:00\">\n"
           "    <radio>\n"
           "        <rssi>" +
           QByteArray::number(rssi) +
           "</rssi>\n"
           "        <hop>0</hop>\n"
           "    </radio>\n"
           "    <header>\n"
           "        <Id>" +
           id +
           "</Id>\n"
           "        <Manufacturer>ZVR</Manufacturer>\n"
           "        <Version>1</Version>\n"
           "        <Medium>Water</Medium>\n"
           "        <AccessNumber>12</AccessNumber>\n"
           "        <Status>00</Status>\n"
           "        <Signature>0500</Signature>\n"
           "        <Type>" +
           type +
           "</Type>\n"
           "    </header>\n"
           "    <records>\n"
           "        <record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"0\">42</record>\n"
           "    </records>\n"
           "    <raw>0C1342000000</raw>\n"
           "</mbus>\n";
}
