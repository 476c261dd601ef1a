#ifndef GUI_BACKEND_TESTS_TESTSUPPORT_H
#define GUI_BACKEND_TESTS_TESTSUPPORT_H

#include <QByteArray>
#include <QList>
#include <QSignalSpy>
#include <QString>
#include <QStringList>
#include <QtGlobal>

class Logger;
class xml_capture;

// Small helpers the back end's tests share: files, the log, the frames of a store, the debug output.
class TestSupport
{
public:
    static QByteArray readFile(const QString &path);
    // Creates the missing folders on the way.
    static void writeFile(const QString &path, const QByteArray &bytes);
    static QString readLog(const Logger &logger);
    // "number:Id" of every stored frame, in order.
    static QStringList frameIds(const xml_capture &store);
    // The first argument of every emission a spy saw, in order.
    template <typename T> static QList<T> values(const QSignalSpy &spy)
    {
        QList<T> list;
        for (const QList<QVariant> &call : spy)
            list << call.at(0).value<T>();
        return list;
    }
    static QStringList texts(const QSignalSpy &spy) { return values<QString>(spy); }

    // Collects the debug output (qDebug and friends) while it lives, or until stop().
    class DebugCapture
    {
    public:
        DebugCapture();
        ~DebugCapture();
        DebugCapture(const DebugCapture &) = delete;
        DebugCapture &operator=(const DebugCapture &) = delete;
        void stop();
        QStringList lines() const;

    private:
        QtMessageHandler previous;
        bool active = true;
    };
};

#endif
