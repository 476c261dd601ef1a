#ifndef GUI_BACKEND_TEMPLATELIST_H
#define GUI_BACKEND_TEMPLATELIST_H

#include "ConfigTemplate.h"

#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

// The configuration templates of the template directory, read once.
class TemplateList
{
public:
    explicit TemplateList(const QString &directory);

    bool isOk() const { return ok; }
    QList<ConfigTemplate> getTemplates() const { return templates; }
    // What is wrong with the templates, one text each: a template left out because Tolvern would not read
    // it as it stands, or one that names an item twice. Empty when all is well.
    QStringList getProblems() const { return problems; }
    // Parses one opened template file; true when it holds at least one item. A template that holds more
    // than text where Tolvern reads a field whole is refused, with why in refusal.
    static bool parseTemplate(QFile &file, ConfigTemplate &result, QString *refusal = nullptr);
    // The first item name of the template that comes again, or an empty text.
    static QString nameGivenTwice(const ConfigTemplate &t);

private:
    bool ok = false;
    QList<ConfigTemplate> templates;
    QStringList problems;
    QString directory;
};

#endif
