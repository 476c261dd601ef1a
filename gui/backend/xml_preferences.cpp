#include "xml_preferences.h"

#include "GuiMessage.h"
#include "PreferencesDir.h"

#include <QDebug>
#include <QDomDocument>
#include <QFile>
#include <QSaveFile>

xml_preferences::xml_preferences()
{
    setDefaults();
    PreferencesDir::ensure();
    path = PreferencesDir::path() + "/Prefs.xml";
    if (QFile::exists(path))
        read();
    else
    {
        qDebug() << "Preferences file do not exist";
        save();
    }
}

void xml_preferences::setDefaults()
{
    wmbus.setDefaults();
    gui.setDefaults();
}

void xml_preferences::read()
{
    QFile file(path);
    QDomDocument document;
    if (!file.open(QIODevice::ReadOnly) || !document.setContent(&file))
    {
        qDebug().noquote() << "Xml prefereneces read failed: " + path;
        setDefaults();
        return;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != "preferences")
    {
        qDebug() << "not a preferences file";
        setDefaults();
        return;
    }
    // Comments in a hand-edited file are stepped over; stopping at one would drop the settings after it
    // and the next save would overwrite them with defaults.
    for (QDomElement child = root.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        if (child.tagName() == "WMBus")
            wmbus.readXml(child);
        else if (child.tagName() == "Gui")
            gui.readXml(child);
    }
}

bool xml_preferences::save()
{
    QDomDocument document;
    QDomElement root = document.createElement("preferences");
    root.setAttribute("hlvtb_version", "1.2");
    document.appendChild(root);
    wmbus.writeXml(document, root);
    gui.writeXml(document, root);

    // Written beside the old file and swapped in whole, so a crash or a full disk never leaves a
    // truncated Prefs.xml behind.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text))
    {
        GuiMessage::critical("Erreur", "Impossible d'ouvrir le ficher XML");
        return false;
    }
    const QByteArray text = document.toByteArray(1);
    if (file.write(text) != text.size() || !file.commit())
    {
        GuiMessage::critical("Erreur", "Impossible d'ouvrir le ficher XML");
        return false;
    }
    return true;
}
