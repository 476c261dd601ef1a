#include "TemplateDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

QString templateDirectory(const QString &setting)
{
    if (setting.isEmpty() || QFileInfo(setting).isAbsolute() || QFileInfo(setting).isDir() ||
        QCoreApplication::instance() == nullptr)
        return setting;
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(setting);
    return QFileInfo(besideProgram).isDir() ? QDir::cleanPath(besideProgram) : setting;
}
