#ifndef GUI_BACKEND_WMBUSSETTINGS_T_H
#define GUI_BACKEND_WMBUSSETTINGS_T_H

#include <QString>

// The link settings every Tolvern command line is built from.
struct WMBusSettings_t
{
    QString port;        // "----" when none is chosen
    QString mode;        // "T", "S", "Na" .. "Nf"
    QString aes;         // 32 hexadecimal digits, or empty for no key
    QString templateDir; // the template directory ("template" is a keyword of the language)
};

#endif
