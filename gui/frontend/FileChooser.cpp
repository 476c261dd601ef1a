#include "FileChooser.h"

#include "HandlerSlot.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace
{
using Slot = HandlerSlot<FileChooser::Handler>;
} // namespace

FileChooser::Handler FileChooser::setHandler(Handler handler)
{
    return Slot::replace(std::move(handler));
}

QString FileChooser::openFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter)
{
    if (Slot::current())
        return Slot::current()(Mode::Open, caption, directory, filter);
    return QFileDialog::getOpenFileName(parent, caption, directory, filter);
}

QString FileChooser::saveFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter)
{
    if (Slot::current())
        return Slot::current()(Mode::Save, caption, directory, filter);
    return QFileDialog::getSaveFileName(parent, caption, directory, filter);
}

QString FileChooser::startDirectory(const QString &lastFile)
{
    if (lastFile.isEmpty())
        return QDir(QDir::homePath()).absolutePath();
    return QFileInfo(lastFile).absoluteDir().absolutePath();
}
