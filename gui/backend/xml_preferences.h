#ifndef GUI_BACKEND_XML_PREFERENCES_H
#define GUI_BACKEND_XML_PREFERENCES_H

#include "PrefsGui.h"
#include "PrefsWMBus.h"

#include <QString>

// The GUI's settings and their file Prefs.xml in the preferences directory.
class xml_preferences
{
public:
    xml_preferences(); // reads Prefs.xml, or creates it with the defaults
    xml_preferences(const xml_preferences &) = default;
    // Takes the other object's settings and path as values; jobs holding our data() pointer see the new values.
    xml_preferences &operator=(const xml_preferences &) = default;
    ~xml_preferences() = default;

    void read();
    bool save(); // false when Prefs.xml could not be written (the user has been told)
    void setDefaults();
    void setWMBus(const PrefsWMBus &other) { wmbus = other; }
    QString filePath() const { return path; }

    PrefsWMBus wmbus;
    PrefsGui gui;

private:
    QString path;
};

#endif
