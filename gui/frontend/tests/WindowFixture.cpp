#include "WindowFixture.h"

#include "MainWindow.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <algorithm>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <QWidget>

QByteArray FrameDoc::toXml() const
{
    QByteArray text = "<mbus date=\"2026-01-02T10:00:00\"";
    if (time >= 0)
        text += " time=\"" + QByteArray::number(time) + "\"";
    text += ">\n";
    if (rssi >= 0)
        text += "    <radio>\n        <rssi>" + QByteArray::number(rssi) + "</rssi>\n    </radio>\n";
    text += "    <header>\n        <Id>" + id + "</Id>\n        <Manufacturer>" + manufacturer +
            "</Manufacturer>\n        <Medium>" + medium + "</Medium>\n";
    if (accessNumber >= 0)
        text += "        <AccessNumber>" + QByteArray::number(accessNumber) + "</AccessNumber>\n";
    text += "        <Status>00</Status>\n        <Signature>0500</Signature>\n        <Type>" + type +
            "</Type>\n    </header>\n";
    text += "    <records>\n" +
            (records.isEmpty() ? QByteArray("        <record type=\"inst\" unit=\"Volume (m m^3)\">42</record>\n")
                               : records) +
            "    </records>\n";
    if (!error.isEmpty())
        text += "    <error>" + error + "</error>\n";
    text += "    <raw>0C1342000000</raw>\n</mbus>\n";
    return text;
}

WindowFixture::WindowFixture()
{
    previous = UserMessage::setHandler(
        [this](UserMessage::Kind kind, const QString &title, const QString &text)
        {
            messages << Message{kind, title, text};
            if (kind == UserMessage::Kind::SaveChanges)
                return saveAnswer;
            return answerYes ? UserMessage::Answer::Yes : UserMessage::Answer::No;
        });
    previousFiles = FileChooser::setHandler(
        [this](FileChooser::Mode, const QString &caption, const QString &directory, const QString &)
        {
            fileCaptions << caption;
            fileDirectories << directory;
            return chosenFiles.isEmpty() ? QString() : chosenFiles.takeFirst();
        });
    writePrefs([](xml_preferences &) {});
}

WindowFixture::~WindowFixture()
{
    win.reset();
    UserMessage::setHandler(previous);
    FileChooser::setHandler(previousFiles);
}

QString WindowFixture::dataDir() const
{
    return FRONTEND_TEST_DATA;
}

QString WindowFixture::templatesDir() const
{
    return dataDir() + "/templates";
}

QString WindowFixture::prefsFile() const
{
    return testHome.prefsDir() + "/Prefs.xml";
}

QString WindowFixture::logText() const
{
    QFile file(testHome.prefsDir() + "/log.txt");
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

int WindowFixture::countMessages(const QString &text) const
{
    int count = 0;
    for (const Message &m : messages)
        count += m.text == text ? 1 : 0;
    return count;
}

void WindowFixture::writePrefs(const std::function<void(xml_preferences &)> &change)
{
    xml_preferences prefs;
    prefs.wmbus.setTemplate(templatesDir());
    // A port this machine has, so that no start-up asks for the detection unless a test wants it.
    const QStringList ports = prefs.wmbus.getPortList();
    if (ports.size() > 1)
        prefs.wmbus.setPort(ports.at(1), true);
    change(prefs);
    prefs.save();
}

MainWindow *WindowFixture::makeWindow()
{
    win = std::make_unique<MainWindow>();
    return win.get();
}

void WindowFixture::closeWindow()
{
    if (win)
        win->close();
}

void whenModalShown(const std::function<void(QWidget *)> &action, int timeoutMs)
{
    auto *poll = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout,
                     [poll, clock, action, timeoutMs]()
                     {
                         QWidget *modal = QApplication::activeModalWidget();
                         if (modal && modal->isVisible())
                         {
                             poll->stop();
                             poll->deleteLater();
                             delete clock;
                             action(modal);
                             return;
                         }
                         if (clock->elapsed() > timeoutMs)
                         {
                             poll->stop();
                             poll->deleteLater();
                             delete clock;
                         }
                     });
    poll->start(10);
}

namespace
{
QAction *findEntry(QMenu *menu, const QString &text)
{
    for (QAction *action : menu->actions())
    {
        if (action->menu())
        {
            if (QAction *inner = findEntry(action->menu(), text))
                return inner;
        }
        else if (action->text() == text)
            return action;
    }
    return nullptr;
}
} // namespace

void whenMenuShown(const QString &entry, QStringList *shown, int timeoutMs,
                   const std::function<void(QMenu *)> &whileOpen)
{
    auto *poll = new QTimer;
    auto *clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout,
                     [poll, clock, entry, shown, timeoutMs, whileOpen]()
                     {
                         auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
                         const bool late = clock->elapsed() > timeoutMs;
                         if (!menu && !late)
                             return;
                         poll->stop();
                         poll->deleteLater();
                         delete clock;
                         if (!menu)
                             return;
                         if (whileOpen)
                             whileOpen(menu);
                         if (shown)
                         {
                             for (QAction *action : menu->actions())
                                 *shown << (action->isSeparator() ? QString("|") : action->text());
                         }
                         QAction *action = findEntry(menu, entry);
                         menu->close();
                         if (action)
                             action->trigger();
                     });
    poll->start(10);
}

QTreeWidgetItem *paramRow(MainWindow *window, const QString &code)
{
    QTreeWidget *tree = window->form()->treeWidget_Param;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
    {
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
        {
            QTreeWidgetItem *row = tree->topLevelItem(i)->child(j);
            if (row->text(1) == code)
                return row;
        }
    }
    return nullptr;
}

void tick(MainWindow *window, const QString &code)
{
    paramRow(window, code)->setCheckState(9, Qt::Checked);
}

QTreeWidgetItem *rowOf(MainWindow *window, int number)
{
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
    {
        if (tree->topLevelItem(i)->text(0).toInt() == number)
            return tree->topLevelItem(i);
    }
    return nullptr;
}

QList<int> listedNumbers(MainWindow *window)
{
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    QList<int> numbers;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        numbers << tree->topLevelItem(i)->text(0).toInt();
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}
