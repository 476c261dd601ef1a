#include "GuiMessage.h"
#include "Logger.h"
#include "TestHome.h"
#include "TestSupport.h"

#include <QFile>
#include <QRegularExpression>
#include <QThread>
#include <QtTest>
#include <memory>
#include <vector>

class TestLogger : public QObject
{
    Q_OBJECT
private slots:
    void lineHasTimeClassFunctionAndLine()
    {
        TestHome home;
        {
            Logger logger;
            logger.write("xml_capture", "AddFrame", 42, "x");
            logger.write("tolvern_process", "EndOfCommand", 7, "end of exec of command: %d", -3);
        }
        const QList<QByteArray> lines = TestSupport::readFile(home.prefsDir() + "/log.txt").split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[2].isEmpty());
        QRegularExpression first(R"(^\[\d\d:\d\d:\d\d\.\d\d\d\]\[xml_capture::AddFrame\(\):42\] x$)");
        QVERIFY2(first.match(QString::fromUtf8(lines[0])).hasMatch(), lines[0].constData());
        QVERIFY(lines[1].endsWith("[tolvern_process::EndOfCommand():7] end of exec of command: -3"));
    }

    void longMessageIsCutTo2047Bytes()
    {
        TestHome home;
        TestSupport::DebugCapture debug;
        {
            Logger logger;
            const QByteArray message(3000, 'm');
            logger.write("C", "f", 1, "%s", message.constData());
        }
        debug.stop();
        const QByteArray text = TestSupport::readFile(home.prefsDir() + "/log.txt");
        QCOMPARE(text.size(), 2048);
        QVERIFY(text.endsWith("m\n"));
        QCOMPARE(debug.lines().last().toUtf8().size(), 2047);
    }

    void cutNeverSplitsACharacter()
    {
        TestHome home;
        {
            Logger logger;
            // Two-byte characters from an odd offset: the cut would fall inside one.
            const QByteArray message = QString(1500, QChar(0xE9)).toUtf8();
            logger.write("C", "f", 1, "%s", message.constData());
        }
        const QByteArray text = TestSupport::readFile(home.prefsDir() + "/log.txt");
        QVERIFY(text.size() <= 2048);
        QVERIFY(!QString::fromUtf8(text).contains(QChar::ReplacementCharacter));
    }

    void nullLoggerWritesOnlyWhereFrom()
    {
        TestHome home;
        Logger *none = nullptr;
        TestSupport::DebugCapture debug;
        const int line = __LINE__ + 1;
        GUI_LOG(none, "tolvern_process", "Command args: %s", "never shown");
        debug.stop();
        QCOMPARE(debug.lines().size(), 1);
        QCOMPARE(debug.lines()[0], QString("%1 (): %2").arg(__func__).arg(line));
        QVERIFY(!QFile::exists(home.prefsDir() + "/log.txt"));
    }

    void createsMissingDirectory()
    {
        TestHome home;
        TestSupport::DebugCapture debug;
        Logger logger;
        debug.stop();
        QVERIFY(QFileInfo(home.prefsDir()).isDir());
        QVERIFY(debug.lines().contains("Preferences path do not exist"));
        QVERIFY(debug.lines().contains("Log file:" + home.prefsDir() + "/log.txt"));
    }

    void uncreatableDirectoryIsReported()
    {
        TestHome home;
        TestSupport::writeFile(home.home() + "/AppData", "a file where the folder should be");
        QStringList shown;
        const GuiMessage::Handler previous = GuiMessage::setHandler([&shown](const QString &title, const QString &text)
                                                                    { shown << title + "|" + text; });
        {
            Logger logger;
            logger.write("C", "f", 1, "only on the debug output");
        }
        GuiMessage::setHandler(previous);
        QCOMPARE(shown, QStringList{"Error|Unable to create the preferences path:" + home.prefsDir()});
        QVERIFY(QFileInfo(home.home() + "/AppData").isFile());
    }

    void rotation_data()
    {
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("oldExists");
        QTest::addColumn<bool>("rotated");
        QTest::newRow("exactly 1 MiB stays") << 1048576 << false << false;
        QTest::newRow("one byte over is moved aside") << 1048577 << false << true;
        QTest::newRow("an older copy is replaced") << 1048577 << true << true;
    }

    void rotation()
    {
        QFETCH(int, size);
        QFETCH(bool, oldExists);
        QFETCH(bool, rotated);
        TestHome home;
        const QString log = home.prefsDir() + "/log.txt";
        const QString old = home.prefsDir() + "/log_old.txt";
        const QByteArray before(size, 'a');
        TestSupport::writeFile(log, before);
        if (oldExists)
            TestSupport::writeFile(old, "older\n");
        {
            Logger logger;
            logger.write("C", "f", 1, "new");
        }
        const QByteArray now = TestSupport::readFile(log);
        if (rotated)
        {
            // The current log survives as the old one before log.txt starts anew.
            QCOMPARE(TestSupport::readFile(old), before);
            QVERIFY(now.startsWith('['));
            QVERIFY(now.endsWith("] new\n"));
            QVERIFY(now.size() < 100);
        }
        else
        {
            QVERIFY(!QFile::exists(old));
            QCOMPARE(now.left(size), before);
            QVERIFY(now.endsWith("] new\n"));
        }
    }

    void failedCopyKeepsTheCurrentLog()
    {
        TestHome home;
        const QString log = home.prefsDir() + "/log.txt";
        const QByteArray before(1048577, 'b');
        TestSupport::writeFile(log, before);
        QDir().mkpath(home.prefsDir() + "/log_old.txt"); // a folder: the copy cannot be made
        {
            Logger logger;
            logger.write("C", "f", 1, "after");
        }
        const QByteArray now = TestSupport::readFile(log);
        QCOMPARE(now.left(before.size()), before);
        QVERIFY(now.endsWith("] after\n"));
    }

    void runsAppendToTheSameLog()
    {
        TestHome home;
        {
            Logger first;
            first.write("A", "one", 1, "first run");
        }
        {
            Logger second;
            second.write("A", "two", 2, "second run");
        }
        const QList<QByteArray> lines = TestSupport::readFile(home.prefsDir() + "/log.txt").split('\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY(lines[0].endsWith("first run"));
        QVERIFY(lines[1].endsWith("second run"));
    }

    void linesFromSeveralThreadsStayWhole()
    {
        TestHome home;
        constexpr int Threads = 4, Lines = 200;
        {
            Logger logger;
            std::vector<std::unique_ptr<QThread>> threads;
            for (int t = 0; t < Threads; ++t)
                threads.emplace_back(QThread::create(
                    [&logger, t]
                    {
                        const QByteArray body(300, char('a' + t));
                        for (int i = 0; i < Lines; ++i)
                            logger.write("T", "run", t, "%s", body.constData());
                    }));
            for (auto &thread : threads)
                thread->start();
            for (auto &thread : threads)
                thread->wait();
        }
        QList<QByteArray> lines = TestSupport::readFile(home.prefsDir() + "/log.txt").split('\n');
        lines.removeLast();
        QCOMPARE(lines.size(), Threads * Lines);
        QRegularExpression whole(R"(^\[[0-9:.]+\]\[T::run\(\):(\d)\] ([a-d])\2{299}$)");
        for (const QByteArray &line : lines)
        {
            const QRegularExpressionMatch match = whole.match(QString::fromUtf8(line));
            QVERIFY2(match.hasMatch(), line.left(80).constData());
            QCOMPARE(match.captured(2).at(0).unicode() - 'a', match.captured(1).toInt());
        }
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "tst_logger.moc"
