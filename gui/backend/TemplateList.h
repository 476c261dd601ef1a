#ifndef GUI_BACKEND_TEMPLATELIST_H
#define GUI_BACKEND_TEMPLATELIST_H

#include "ConfigTemplate.h"

#include <QFile>
#include <QList>
#include <QString>

// The configuration templates of the template directory, read once.
class TemplateList
{
public:
    explicit TemplateList(const QString &directory);

    bool isOk() const { return ok; }
    QList<ConfigTemplate> getTemplates() const { return templates; }
    // Parses one opened template file; true when it holds at least one item.
    static bool parseTemplate(QFile &file, ConfigTemplate &result);

private:
    bool ok = false;
    QList<ConfigTemplate> templates;
    QString directory;
};

#endif
