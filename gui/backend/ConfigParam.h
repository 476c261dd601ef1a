#ifndef GUI_BACKEND_CONFIGPARAM_H
#define GUI_BACKEND_CONFIGPARAM_H

#include <QString>

// One configuration parameter of a radio module, as templates, configuration files and read answers give it.
struct ConfigParam
{
    QString name; // also its element name in configuration files
    QString pretty_name;
    QString description;
    QString unit;
    QString vib;
    QString dib;
    QString value;
    QString access_right;
    QString min;
    QString max;
    QString regex;
    QString section;
};

#endif
