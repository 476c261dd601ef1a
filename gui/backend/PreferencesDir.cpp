#include "PreferencesDir.h"

#include "GuiMessage.h"

#include <QDebug>
#include <QDir>

QString PreferencesDir::path()
{
    return QDir(QDir::homePath()).absolutePath() + "/AppData/local/ZelVir/HalvexZuroRur";
}

bool PreferencesDir::ensure()
{
    const QString dir = path();
    if (QDir(dir).exists())
        return true;
    qDebug() << "Preferences path do not exist";
    if (QDir().mkpath(dir))
        return true;
    GuiMessage::critical("Error", "Unable to create the preferences path:" + dir);
    return false;
}
