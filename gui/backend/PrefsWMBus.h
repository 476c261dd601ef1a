#ifndef GUI_BACKEND_PREFSWMBUS_H
#define GUI_BACKEND_PREFSWMBUS_H

#include "WMBusSettings_t.h"

#include <QDomDocument>
#include <QDomElement>
#include <QStringList>

// The link settings of the preferences and the serial ports offered to the user.
class PrefsWMBus
{
public:
    static constexpr const char *NoPort = "----";

    PrefsWMBus(); // lists the serial ports present now
    PrefsWMBus(const PrefsWMBus &) = default;
    PrefsWMBus &operator=(const PrefsWMBus &) = default;

    void setDefaults();
    QDomElement writeXml(QDomDocument &document, QDomElement &parent) const;
    WMBusSettings_t readXml(const QDomElement &element);

    void setPort(const QString &port, bool set);
    QString getPort() const { return settings.port; }
    bool isPortSet() const { return portSet; }
    void setMode(const QString &mode) { settings.mode = mode; }
    QString getMode() const { return settings.mode; }
    void setAes(const QString &aes) { settings.aes = aes; }
    QString getAes() const { return settings.aes; }
    void setTemplate(const QString &dir) { settings.templateDir = dir; }
    QString getTemplate() const { return settings.templateDir; }

    // The live record; it stays valid as long as this object, so jobs may keep it.
    WMBusSettings_t *data() { return &settings; }
    QStringList getPortList() const { return ports; }
    static QStringList getModeList();

private:
    WMBusSettings_t settings;
    QStringList ports;
    bool portSet = false;
};

#endif
