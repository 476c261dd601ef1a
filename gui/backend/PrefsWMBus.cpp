#include "PrefsWMBus.h"

#include "DomText.h"

#include <QDebug>
#include <QSerialPortInfo>

PrefsWMBus::PrefsWMBus() : ports{NoPort}
{
    // Only the first port ever listed is described, once in the life of the process.
    static bool described = false;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
    {
        ports.append(info.portName());
        if (!described)
        {
            described = true;
            qDebug().noquote() << info.portName() + " : " + info.description();
        }
    }
}

void PrefsWMBus::setDefaults()
{
    settings.port = NoPort;
    settings.mode = "Nc";
    settings.aes = "5E0B93C7A4D21F86E37A0C5B9D4F2816";
    settings.templateDir = "./Template";
}

void PrefsWMBus::setPort(const QString &port, bool set)
{
    settings.port = port;
    portSet = set;
}

QStringList PrefsWMBus::getModeList()
{
    return {"T", "S", "Na", "Nb", "Nc", "Nd", "Ne", "Nf"};
}

QDomElement PrefsWMBus::writeXml(QDomDocument &document, QDomElement &parent) const
{
    QDomElement wmbus = document.createElement("WMBus");
    DomText::append(document, wmbus, "port", settings.port);
    DomText::append(document, wmbus, "mode", settings.mode);
    DomText::append(document, wmbus, "aes", settings.aes);
    DomText::append(document, wmbus, "template", settings.templateDir);
    parent.appendChild(wmbus);
    return wmbus;
}

WMBusSettings_t PrefsWMBus::readXml(const QDomElement &element)
{
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        const QString tag = child.tagName();
        if (tag == "port")
        {
            settings.port = DomText::of(child);
            portSet = settings.port != NoPort;
        }
        else if (tag == "mode")
            settings.mode = DomText::of(child);
        else if (tag == "aes")
            settings.aes = DomText::of(child);
        else if (tag == "template")
            settings.templateDir = DomText::of(child);
    }
    return settings;
}
