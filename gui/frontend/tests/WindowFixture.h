#ifndef GUI_FRONTEND_TESTS_WINDOWFIXTURE_H
#define GUI_FRONTEND_TESTS_WINDOWFIXTURE_H

#include "FileChooser.h"
#include "TestHome.h"
#include "UserMessage.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>
#include <memory>

class MainWindow;
class xml_preferences;

// One frame document as Tolvern prints it; fields left at their defaults are left out of the document.
struct FrameDoc
{
    QByteArray id = "12345678";
    QByteArray manufacturer = "ZVR";
    QByteArray medium = "Water";
    QByteArray type = "SND-NR";
    int rssi = 141;        // < 0: no radio element
    int accessNumber = 12; // < 0: no AccessNumber element
    QByteArray error;      // empty: no error element
    qint64 time = -1;      // >= 0: a time attribute, as in capture files
    QByteArray records;    // inner text of records; empty: one volume record
    QByteArray toXml() const;
};

// A fresh home folder, the message boxes recorded instead of shown, and the window made on demand.
class WindowFixture
{
public:
    struct Message
    {
        UserMessage::Kind kind;
        QString title;
        QString text;
    };

    WindowFixture();
    ~WindowFixture();

    // Writes Prefs.xml before the window reads it; the template directory is the test templates by default.
    void writePrefs(const std::function<void(xml_preferences &)> &change);
    MainWindow *makeWindow();
    MainWindow *window() const { return win.get(); }
    void closeWindow();

    QList<Message> messages;
    bool answerYes = false;
    UserMessage::Answer saveAnswer = UserMessage::Answer::No;
    // The files the file dialogs return, first first; an empty queue is a cancelled dialog.
    QStringList chosenFiles;
    QStringList fileCaptions;
    QStringList fileDirectories;
    QString dataDir() const;
    QString templatesDir() const;
    QString home() const { return testHome.home(); }
    QString prefsFile() const;
    QString logText() const;
    int countMessages(const QString &text) const;

private:
    TestHome testHome;
    UserMessage::Handler previous;
    FileChooser::Handler previousFiles;
    std::unique_ptr<MainWindow> win;
};

// Runs the given action on the next modal dialog as soon as it is shown.
void whenModalShown(const std::function<void(class QWidget *)> &action, int timeoutMs = 5000);
// Triggers the entry of the next popup menu whose text is the given one (submenus are searched too);
// closes the menu when there is none. Records the texts of the top-level entries. whileOpen, when given, runs
// with the open menu before the entry is chosen.
void whenMenuShown(const QString &entry, QStringList *shown = nullptr, int timeoutMs = 5000,
                   const std::function<void(class QMenu *)> &whileOpen = {});

// The parameter tree's row of the parameter with this code, or none.
class QTreeWidgetItem *paramRow(MainWindow *window, const QString &code);
// Ticks that row for the next read or write.
void tick(MainWindow *window, const QString &code);

// The frame list's row of the frame with this number, or none.
class QTreeWidgetItem *rowOf(MainWindow *window, int number);
// The numbers of the frames the frame list shows, in ascending order.
QList<int> listedNumbers(MainWindow *window);

#endif
