#ifndef GUI_BACKEND_PREFERENCESDIR_H
#define GUI_BACKEND_PREFERENCESDIR_H

#include <QString>

// The per-user directory that holds Prefs.xml, the logs and the record of started Tolvern runs.
class PreferencesDir
{
public:
    static QString path();
    // Creates the directory when it is missing; tells the user when that fails. Returns whether it exists.
    static bool ensure();
};

#endif
