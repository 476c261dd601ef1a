#ifndef GUI_BACKEND_CONFIGTEMPLATE_H
#define GUI_BACKEND_CONFIGTEMPLATE_H

#include "ConfigParam.h"

#include <QList>
#include <QString>

// One template file: its module type and its configuration items, in file order.
struct ConfigTemplate
{
    QList<ConfigParam> params;
    QString id;
    QString file; // the template file it was read from
};

#endif
