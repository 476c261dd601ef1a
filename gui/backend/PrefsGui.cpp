#include "PrefsGui.h"

#include "DomText.h"

void PrefsGui::setDefaults()
{
    record.LastTab = 1;
    record.AutoKill = true;
    record.X = record.Y = record.W = record.H = 0;
    record.RadioTestCount = 1;
    record.RadioTestDuration = 15;
}

void PrefsGui::setGeometry(int x, int y, int w, int h)
{
    record.X = x;
    record.Y = y;
    record.W = w;
    record.H = h;
}

void PrefsGui::addUnique(QStringList &list, const QString &name)
{
    if (!list.contains(name))
        list.append(name);
}

void PrefsGui::addFilter(const QString &filter)
{
    // Only one entry goes per added filter, so a longer history read from a file shrinks slowly.
    if (record.Filters.size() >= FilterHistory)
        record.Filters.removeLast();
    record.Filters.prepend(filter);
}

namespace
{
QDomElement appendText(QDomDocument &document, QDomElement &parent, const QString &name, const QString &text)
{
    QDomElement element = document.createElement(name);
    if (!text.isEmpty())
        element.appendChild(document.createTextNode(text));
    parent.appendChild(element);
    return element;
}

QDomElement appendList(QDomDocument &document, QDomElement &parent, const QString &name, const QString &entryName,
                       const QStringList &entries)
{
    QDomElement list = document.createElement(name);
    for (const QString &entry : entries)
        appendText(document, list, entryName, entry);
    parent.appendChild(list);
    return list;
}

void readList(const QDomElement &list, const QString &entryName, QStringList &into)
{
    for (QDomElement entry = list.firstChildElement(); !entry.isNull(); entry = entry.nextSiblingElement())
        if (entry.tagName() == entryName)
            into.append(DomText::of(entry));
}
} // namespace

QDomElement PrefsGui::writeXml(QDomDocument &document, QDomElement &parent)
{
    record.FramesHiddenColumns.removeDuplicates();
    record.ModulesHiddenColumns.removeDuplicates();
    record.Filters.removeDuplicates();

    QDomElement gui = document.createElement("Gui");
    appendText(document, gui, "LastTab", QString::number(record.LastTab));
    appendText(document, gui, "AutoKill", record.AutoKill ? "1" : "0");
    QDomElement geometry = document.createElement("geometry");
    appendText(document, geometry, "X", QString::number(record.X));
    appendText(document, geometry, "Y", QString::number(record.Y));
    appendText(document, geometry, "W", QString::number(record.W));
    appendText(document, geometry, "H", QString::number(record.H));
    gui.appendChild(geometry);
    QDomElement files = document.createElement("files");
    appendText(document, files, "config", record.configFile);
    appendText(document, files, "firmware", record.firmwareFile);
    appendText(document, files, "capture", record.captureFile);
    gui.appendChild(files);
    QDomElement capture = document.createElement("capture");
    appendList(document, capture, "FramesHiddenColumns", "name", record.FramesHiddenColumns);
    appendList(document, capture, "ModulesHiddenColumns", "name", record.ModulesHiddenColumns);
    appendList(document, capture, "Filters", "filter", record.Filters);
    gui.appendChild(capture);
    QDomElement radioTest = document.createElement("RadioTest");
    appendText(document, radioTest, "Count", QString::number(record.RadioTestCount));
    appendText(document, radioTest, "Duration", QString::number(record.RadioTestDuration));
    gui.appendChild(radioTest);
    parent.appendChild(gui);
    return gui;
}

PrefsGui::Record PrefsGui::readXml(const QDomElement &element)
{
    record.FramesHiddenColumns.clear();
    record.ModulesHiddenColumns.clear();
    record.Filters.clear();
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        const QString tag = child.tagName();
        if (tag == "LastTab")
            record.LastTab = DomText::intOf(child);
        else if (tag == "AutoKill")
            record.AutoKill = DomText::intOf(child) != 0;
        else if (tag == "geometry")
        {
            for (QDomElement g = child.firstChildElement(); !g.isNull(); g = g.nextSiblingElement())
            {
                if (g.tagName() == "X")
                    record.X = DomText::intOf(g);
                else if (g.tagName() == "Y")
                    record.Y = DomText::intOf(g);
                else if (g.tagName() == "W")
                    record.W = DomText::intOf(g);
                else if (g.tagName() == "H")
                    record.H = DomText::intOf(g);
            }
        }
        else if (tag == "RadioTest")
        {
            for (QDomElement r = child.firstChildElement(); !r.isNull(); r = r.nextSiblingElement())
            {
                if (r.tagName() == "Count")
                    record.RadioTestCount = DomText::intOf(r);
                else if (r.tagName() == "Duration")
                    record.RadioTestDuration = DomText::intOf(r);
            }
        }
        else if (tag == "files")
        {
            for (QDomElement f = child.firstChildElement(); !f.isNull(); f = f.nextSiblingElement())
            {
                if (f.tagName() == "config")
                    record.configFile = DomText::of(f);
                else if (f.tagName() == "firmware")
                    record.firmwareFile = DomText::of(f);
                else if (f.tagName() == "capture")
                    record.captureFile = DomText::of(f);
            }
        }
        else if (tag == "capture")
        {
            for (QDomElement list = child.firstChildElement(); !list.isNull(); list = list.nextSiblingElement())
            {
                if (list.tagName() == "FramesHiddenColumns")
                    readList(list, "name", record.FramesHiddenColumns);
                else if (list.tagName() == "ModulesHiddenColumns")
                    readList(list, "name", record.ModulesHiddenColumns);
                else if (list.tagName() == "Filters")
                    readList(list, "filter", record.Filters);
            }
        }
    }
    return record;
}
