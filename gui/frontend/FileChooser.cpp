#include "FileChooser.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace
{
FileChooser::Handler &currentHandler()
{
    static FileChooser::Handler handler;
    return handler;
}
} // namespace

FileChooser::Handler FileChooser::setHandler(Handler handler)
{
    Handler previous = currentHandler();
    currentHandler() = std::move(handler);
    return previous;
}

QString FileChooser::openFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter)
{
    if (currentHandler())
        return currentHandler()(Mode::Open, caption, directory, filter);
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QString FileChooser::saveFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter)
{
    if (currentHandler())
        return currentHandler()(Mode::Save, caption, directory, filter);
    return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

QString FileChooser::startDirectory(const QString &lastFile)
{
    if (lastFile.isEmpty())
        return QDir(QDir::homePath()).absolutePath();
    return QFileInfo(lastFile).absoluteDir().absolutePath();
}
