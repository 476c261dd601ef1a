#include "TemplateList.h"

#include "DomText.h"
#include "TagField.h"

#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QSet>

namespace
{
using ItemText = TagField<ConfigParam, QString>;

// What Tolvern puts on the air. Read whole, as Tolvern reads it, or the template is refused: shown with a
// part of its text, an item would be checked and matched against another code than the one sent.
constexpr ItemText SentTexts[] = {
    {"name", &ConfigParam::name},
    {"vib", &ConfigParam::vib},
    {"dib", &ConfigParam::dib},
};

// What only the page uses: their text pieces, whatever stands between them.
constexpr ItemText ShownTexts[] = {
    {"pretty_name", &ConfigParam::pretty_name},
    {"description", &ConfigParam::description},
    {"access_right", &ConfigParam::access_right},
    {"section", &ConfigParam::section},
};

constexpr ItemText ValidationTexts[] = {
    {"regex", &ConfigParam::regex},
    {"min", &ConfigParam::min},
    {"max", &ConfigParam::max},
};

// Sibling elements are walked as Tolvern's template reader walks them (a comment ends the walk), so that
// both programs accept the same items. False, with why, when a field that is sent holds more than text.
bool readItem(const QDomElement &config, ConfigParam &param, QString &refusal)
{
    QString unreadable;
    for (QDomElement child = DomText::firstElement(config); !child.isNull(); child = DomText::nextElement(child))
    {
        if (child.tagName() == "validation")
        {
            for (QDomElement rule = DomText::firstElement(child); !rule.isNull(); rule = DomText::nextElement(rule))
                if (QString ConfigParam::*field = ItemText::find(ValidationTexts, rule.tagName()))
                    param.*field = DomText::joined(rule);
        }
        else if (QString ConfigParam::*field = ItemText::find(SentTexts, child.tagName()))
        {
            QString text;
            QString kind;
            if (!DomText::whole(child, text, &kind) && unreadable.isEmpty())
                unreadable = child.tagName() + " holds " + kind + " besides its text";
            param.*field = DomText::joined(child); // names the item in a refusal too
        }
        else if (QString ConfigParam::*field = ItemText::find(ShownTexts, child.tagName()))
            param.*field = DomText::joined(child);
    }
    if (unreadable.isEmpty())
        return true;
    refusal = "item " + param.name + ": " + unreadable;
    return false;
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
        QString refusal;
        if (parseTemplate(file, result, &refusal))
        {
            if (const QString twice = nameGivenTwice(result); !twice.isEmpty())
                problems << "Config item " + twice + " is named twice in " + result.file;
            templates.append(result);
        }
        else if (!refusal.isEmpty())
        {
            qDebug().noquote() << refusal;
            problems << refusal;
        }
        file.close();
    }
    ok = !templates.isEmpty();
}

QString TemplateList::nameGivenTwice(const ConfigTemplate &t)
{
    QSet<QString> names;
    for (const ConfigParam &param : t.params)
    {
        if (names.contains(param.name))
            return param.name;
        names.insert(param.name);
    }
    return QString();
}

bool TemplateList::parseTemplate(QFile &file, ConfigTemplate &result, QString *refusal)
{
    result.file = file.fileName();
    const auto refuse = [&](const QString &why)
    {
        if (refusal)
            *refusal = "Template file " + result.file + ", " + why;
        return false;
    };
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
    QString kind;
    if (!DomText::whole(first.toElement(), result.id, &kind))
        return refuse("id holds " + kind + " besides its text");
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
    {
        if (item.tagName() != "config")
            continue;
        ConfigParam param;
        QString why;
        if (!readItem(item, param, why))
            return refuse(why);
        result.params.append(param);
    }
    return !result.params.isEmpty();
}
