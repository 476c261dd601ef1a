#include "TemplateList.h"

#include "DomText.h"
#include "TagField.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>

namespace
{
using ItemText = TagField<ConfigParam, QString>;

constexpr ItemText ItemTexts[] = {
    {"name", &ConfigParam::name},
    {"pretty_name", &ConfigParam::pretty_name},
    {"description", &ConfigParam::description},
    {"vib", &ConfigParam::vib},
    {"dib", &ConfigParam::dib},
    {"access_right", &ConfigParam::access_right},
    {"section", &ConfigParam::section},
};

constexpr ItemText ValidationTexts[] = {
    {"regex", &ConfigParam::regex},
    {"min", &ConfigParam::min},
    {"max", &ConfigParam::max},
};

// Sibling elements are walked as Tolvern's template reader walks them (a comment ends the walk), so that
// both programs accept the same items.
ConfigParam readItem(const QDomElement &config)
{
    ConfigParam param;
    for (QDomElement child = DomText::firstElement(config); !child.isNull(); child = DomText::nextElement(child))
    {
        if (child.tagName() == "validation")
        {
            for (QDomElement rule = DomText::firstElement(child); !rule.isNull(); rule = DomText::nextElement(rule))
                if (QString ConfigParam::*field = ItemText::find(ValidationTexts, rule.tagName()))
                    param.*field = DomText::of(rule);
        }
        else if (QString ConfigParam::*field = ItemText::find(ItemTexts, child.tagName()))
            param.*field = DomText::of(child);
    }
    return param;
}
} // namespace

TemplateList::TemplateList(const QString &dir)
{
    QDir folder(dir);
    if (!folder.exists())
        qDebug() << "Template dir don't exist";
    directory = dir;
    const QStringList names = folder.entryList({"*.xml", "*.XML"}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                               QDir::Name | QDir::IgnoreCase);
    for (const QString &name : names)
    {
        QFile file(directory + "/" + name);
        if (!file.open(QIODevice::ReadOnly))
            continue; // a subdirectory ends here too
        ConfigTemplate result;
        if (parseTemplate(file, result))
            templates.append(result);
        file.close();
    }
    ok = !templates.isEmpty();
}

bool TemplateList::parseTemplate(QFile &file, ConfigTemplate &result)
{
    QDomDocument document;
    if (!document.setContent(&file))
    {
        qDebug() << "Faild parsing xml template file";
        return false;
    }
    const QDomElement root = document.documentElement();
    if (root.tagName() != "template")
    {
        qDebug() << "Wrong xml template file";
        return false;
    }
    const QDomNode first = root.firstChild();
    if (!first.isElement())
    {
        qDebug().noquote() << QString("Template file read error %1").arg(79);
        return false;
    }
    if (first.toElement().tagName() != "id")
    {
        qDebug() << "Template: Id not found";
        return false;
    }
    result.id = DomText::of(first.toElement());
    const QDomNode second = first.nextSibling();
    if (!second.isElement())
    {
        qDebug().noquote() << QString("Template file read error %1").arg(91);
        return false;
    }
    if (second.toElement().tagName() != "configs")
    {
        qDebug() << "Template: configs not found";
        return false;
    }
    for (QDomElement item = DomText::firstElement(second); !item.isNull(); item = DomText::nextElement(item))
        if (item.tagName() == "config")
            result.params.append(readItem(item));
    return !result.params.isEmpty();
}
