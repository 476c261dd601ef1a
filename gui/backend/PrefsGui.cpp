#include "PrefsGui.h"

#include "DomText.h"
#include "TagField.h"

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
template <typename Field> using Child = TagField<PrefsGui::Record, Field>;

using IntChild = Child<int>;
using TextChild = Child<QString>;

constexpr IntChild GeometryChildren[] = {
    {"X", &PrefsGui::Record::X},
    {"Y", &PrefsGui::Record::Y},
    {"W", &PrefsGui::Record::W},
    {"H", &PrefsGui::Record::H},
};
constexpr IntChild RadioTestChildren[] = {
    {"Count", &PrefsGui::Record::RadioTestCount},
    {"Duration", &PrefsGui::Record::RadioTestDuration},
};
constexpr TextChild FileChildren[] = {
    {"config", &PrefsGui::Record::configFile},
    {"firmware", &PrefsGui::Record::firmwareFile},
    {"capture", &PrefsGui::Record::captureFile},
};

// A list container, the name of its entries and the list they fill.
struct ListChild
{
    const char *tag;
    const char *entryTag;
    QStringList PrefsGui::Record::*field;
};
constexpr ListChild ListChildren[] = {
    {"FramesHiddenColumns", "name", &PrefsGui::Record::FramesHiddenColumns},
    {"ModulesHiddenColumns", "name", &PrefsGui::Record::ModulesHiddenColumns},
    {"Filters", "filter", &PrefsGui::Record::Filters},
};

QString textOf(const QDomElement &element)
{
    return DomText::of(element);
}
int numberOf(const QDomElement &element)
{
    return DomText::intOf(element);
}
QString written(const QString &text)
{
    return text;
}
QString written(int number)
{
    return QString::number(number);
}

// One element per table entry, in table order, inside a new container.
template <typename Field, size_t N>
void appendGroup(QDomDocument &document, QDomElement &parent, const char *name, const Child<Field> (&children)[N],
                 const PrefsGui::Record &record)
{
    QDomElement group = document.createElement(name);
    for (const Child<Field> &child : children)
        DomText::append(document, group, child.tag, written(record.*child.field));
    parent.appendChild(group);
}

// The children of a container that the table names; others are skipped.
template <typename Field, size_t N, typename Read>
void readGroup(const QDomElement &group, const Child<Field> (&children)[N], PrefsGui::Record &record, Read read)
{
    for (QDomElement element = group.firstChildElement(); !element.isNull(); element = element.nextSiblingElement())
        if (Field PrefsGui::Record::*field = Child<Field>::find(children, element.tagName()))
            record.*field = read(element);
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
    for (const ListChild &list : ListChildren)
        (record.*list.field).removeDuplicates();

    QDomElement gui = document.createElement("Gui");
    DomText::append(document, gui, "LastTab", QString::number(record.LastTab));
    DomText::append(document, gui, "AutoKill", record.AutoKill ? "1" : "0");
    appendGroup(document, gui, "geometry", GeometryChildren, record);
    appendGroup(document, gui, "files", FileChildren, record);
    QDomElement capture = document.createElement("capture");
    for (const ListChild &list : ListChildren)
    {
        QDomElement entries = document.createElement(list.tag);
        for (const QString &entry : record.*list.field)
            DomText::append(document, entries, list.entryTag, entry);
        capture.appendChild(entries);
    }
    gui.appendChild(capture);
    appendGroup(document, gui, "RadioTest", RadioTestChildren, record);
    parent.appendChild(gui);
    return gui;
}

// Comments are stepped over: a setting hidden behind one would be lost at the next save.
PrefsGui::Record PrefsGui::readXml(const QDomElement &element)
{
    for (const ListChild &list : ListChildren)
        (record.*list.field).clear();
    for (QDomElement child = element.firstChildElement(); !child.isNull(); child = child.nextSiblingElement())
    {
        const QString tag = child.tagName();
        if (tag == "LastTab")
            record.LastTab = DomText::intOf(child);
        else if (tag == "AutoKill")
            record.AutoKill = DomText::intOf(child) != 0;
        else if (tag == "geometry")
            readGroup(child, GeometryChildren, record, numberOf);
        else if (tag == "RadioTest")
            readGroup(child, RadioTestChildren, record, numberOf);
        else if (tag == "files")
            readGroup(child, FileChildren, record, textOf);
        else if (tag == "capture")
        {
            for (QDomElement list = child.firstChildElement(); !list.isNull(); list = list.nextSiblingElement())
                for (const ListChild &known : ListChildren)
                    if (list.tagName() == QLatin1String(known.tag))
                        readList(list, known.entryTag, record.*known.field);
        }
    }
    return record;
}
