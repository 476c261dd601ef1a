#ifndef GUI_FRONTEND_FILECHOOSER_H
#define GUI_FRONTEND_FILECHOOSER_H

#include <QString>
#include <functional>

class QWidget;

// The file dialogs of the GUI, in one place so that a test can pick the file instead of a user.
class FileChooser
{
public:
    enum class Mode
    {
        Open,
        Save
    };
    using Handler =
        std::function<QString(Mode mode, const QString &caption, const QString &directory, const QString &filter)>;

    static QString openFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter);
    static QString saveFile(QWidget *parent, const QString &caption, const QString &directory, const QString &filter);
    // Where a dialog for a page's files opens: beside the page's last file, or in the home folder.
    static QString startDirectory(const QString &lastFile);

    // Replaces the dialogs; an empty handler brings them back. Returns the previous handler.
    static Handler setHandler(Handler handler);
};

#endif
