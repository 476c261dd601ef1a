#include "FakeTolvern.h"
#include "Logger.h"
#include "StrayProcessRegistry.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "tolvern_process.h"

#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <algorithm>
#include <memory>

namespace
{
WMBusSettings_t settings(const QString &mode, const QString &aes = QString())
{
    return WMBusSettings_t{"ttyUSB0", mode, aes, "./Template"};
}

// Collects what a job would see: every piece of output read on each notification.
struct OutputCollector
{
    tolvern_process *runner;
    QStringList pieces;
    QString all() const { return pieces.join(QString()); }
    void connect()
    {
        QObject::connect(runner, &tolvern_process::SendProcessOutput, runner,
                         [this]
                         {
                             const QString text = runner->readStdout();
                             if (!text.isEmpty())
                                 pieces << text;
                         });
    }
};

// Records the process as a run of a GUI that has ended since.
void addOrphan(StrayProcessRegistry &registry, qint64 pid)
{
    QProcess owner;
    owner.start("sleep", {"60"});
    QVERIFY(owner.waitForStarted());
    registry.add(pid, owner.processId());
    owner.kill();
    owner.waitForFinished();
}

struct Sleeper
{
    QProcess process;
    Sleeper()
    {
        process.start("sleep", {"60"});
        process.waitForStarted();
    }
    ~Sleeper()
    {
        process.kill();
        process.waitForFinished();
    }
    qint64 pid() const { return process.processId(); }
    bool running() const { return process.state() == QProcess::Running; }
};
} // namespace

class TestRunner : public QObject
{
    Q_OBJECT
private slots:
    void arguments_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("local");
        QTest::addColumn<QString>("aes");
        QTest::addColumn<QStringList>("expected");
        const QStringList head{"-p", "/dev/ttyUSB0", "-t", "./Template"};
        QTest::newRow("T remote") << "T" << false << QString()
                                  << head + QStringList{"--type", "ZVR868", "--mode", "T", "-l"};
        QTest::newRow("T local") << "T" << true << QString()
                                 << head + QStringList{"--type", "ZVR868", "--mode", "loc", "-l"};
        QTest::newRow("S local with key")
            << "S" << true << "00112233445566778899AABBCCDDEEFF"
            << head + QStringList{"-k", "00112233445566778899AABBCCDDEEFF", "--type", "ZVR868", "--mode", "loc", "-l"};
        QTest::newRow("Na") << "Na" << false << QString()
                            << head + QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "1", "-l"};
        QTest::newRow("Nd local ignores the flag")
            << "Nd" << true << QString()
            << head + QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "4", "-l"};
        QTest::newRow("nb") << "nb" << false << QString()
                            << head + QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "2", "-l"};
        QTest::newRow("Nf") << "Nf" << false << QString()
                            << head + QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "6", "-l"};
        QTest::newRow("N without channel letter")
            << "N" << false << QString() << head + QStringList{"--type", "ZVR169", "--mode", "n", "-l"};
        QTest::newRow("N with a digit") << "N7" << false << QString()
                                        << head + QStringList{"--type", "ZVR169", "--mode", "n", "-l"};
        QTest::newRow("empty mode") << "" << false << QString() << head + QStringList{"--type", "ZVR868", "-l"};
    }

    void arguments()
    {
        QFETCH(QString, mode);
        QFETCH(bool, local);
        QFETCH(QString, aes);
        QFETCH(QStringList, expected);
        QCOMPARE(tolvern_process::buildArguments(settings(mode, aes), {"-l"}, local), expected);
    }

    void portsAndDirectoriesStayWhole()
    {
        const WMBusSettings_t s{"/dev/serial/by-id/usb modem", "T", "", "/home/me/my \"templates\""};
        const QStringList args = tolvern_process::buildArguments(s, {"-u", "/tmp/fw 1.bin"}, false);
        QCOMPARE(args.mid(0, 4), QStringList({"-p", "/dev/serial/by-id/usb modem", "-t", "/home/me/my \"templates\""}));
        QCOMPARE(args.mid(args.size() - 2), QStringList({"-u", "/tmp/fw 1.bin"}));
        const WMBusSettings_t none{"----", "T", "", "t"};
        QCOMPARE(tolvern_process::buildArguments(none, {}, false).at(1), QString("----"));
    }

    void setArgsLogsTheCommand()
    {
        TestHome home;
        Logger logger;
        tolvern_process runner(nullptr, &logger, false);
        const WMBusSettings_t s = settings("Nc");
        runner.setArgs(&s, {"-m"}, false);
        QCOMPARE(TestSupport::readLog(logger).count(
                     "Command args: -p /dev/ttyUSB0 -t ./Template --type ZVR169 --mode n --channel 3 -m"),
                 1);
    }

    void relaysOutputErrorAndExitCode()
    {
        TestHome home;
        Logger logger;
        FakeTolvern fake(home.home());
        fake.out("first line\r\n")
            .pause(150)
            .out("second ")
            .pause(150)
            .out("half\n")
            .err("bad \xc3\xa9vent\n")
            .pause(100)
            .exitCode(3)
            .install();
        auto *runner = new tolvern_process(nullptr, &logger, false);
        const WMBusSettings_t s = settings("T", "00");
        runner->setArgs(&s, {"-m"}, false);
        OutputCollector output{runner, {}};
        output.connect();
        QSignalSpy end(runner, &tolvern_process::SendProcessEnd);
        QSignalSpy error(runner, &tolvern_process::SendProcessError);
        QSignalSpy failure(runner, &tolvern_process::SendProcessFailure);
        QSignalSpy finished(runner, &QThread::finished);
        runner->start();
        QVERIFY(end.wait(10000));
        QCOMPARE(end.takeFirst().at(0).toInt(), 3);
        QCOMPARE(output.all(), QString("first line\r\nsecond half\n"));
        QVERIFY(output.pieces.size() >= 2);
        QCOMPARE(error.size(), 1);
        QCOMPARE(error.at(0).at(0).toString(), QString::fromUtf8("bad \xc3\xa9vent\n"));
        QVERIFY(failure.isEmpty());
        QTRY_COMPARE(finished.size(), 1);
        QCOMPARE(runner->state(), 0);
        QCOMPARE(runner->readStdout(), QString()); // ended: nothing more
        QCOMPARE(fake.recordedArgs(), runner->arguments());
        QCOMPARE(TestSupport::readLog(logger).count("end of exec of command: 3"), 1);
        QCOMPARE(TestSupport::readLog(logger).count("Std error"), 1);
        delete runner;
        QCOMPARE(TestSupport::readLog(logger).count("] ~tolvern_process()"), 1);
    }

    void errorLinesAreRecognised_data()
    {
        QTest::addColumn<QString>("line");
        QTest::addColumn<QString>("message");
        QTest::newRow("error") << "Tolv_Main.cpp:119 Request failed: open: No such file or directory"
                               << "Request failed: open: No such file or directory";
        QTest::newRow("with header") << "[2026-Dec-10 14:24:32.946957][6][Tolv    ]Tolv_Task.cpp:7 No response\r"
                                     << "No response";
        QTest::newRow("fatal header") << "[2026-Dec-10 14:24:32][7][WMBC    ]WMBC_ZV.h:70 gone"
                                      << "gone";
        QTest::newRow("normal level with header") << "[2026-Dec-10 14:24:32][5][Tolv    ]Tolv_Main.cpp:1 x"
                                                  << "";
        QTest::newRow("request failed without location") << "  Request failed: modem not responding "
                                                         << "Request failed: modem not responding";
        QTest::newRow("status line") << "Got address a1b2c3d4e5f60107"
                                     << "";
        QTest::newRow("frame") << "<Id>12345678</Id>"
                               << "";
        QTest::newRow("location without message") << "Tolv_Main.cpp:119 "
                                                  << "";
    }

    void errorLinesAreRecognised()
    {
        QFETCH(QString, line);
        QFETCH(QString, message);
        QCOMPARE(tolvern_process::errorMessageOf(line), message);
    }

    // The last error line of the run is kept, also when it arrives in pieces or without a line end.
    void lastErrorLineOfARun()
    {
        TestHome home;
        FakeTolvern(home.home())
            .out("Tolv_Task.cpp:55 No response ")
            .pause(150)
            .out("from module\nGot address a1b2c3d4e5f60107\n")
            .pause(150)
            .out("Tolv_Main.cpp:119 Request failed: modem not responding")
            .exitCode(1)
            .install();
        tolvern_process runner(nullptr, nullptr, false);
        QStringList seen;
        QObject::connect(&runner, &tolvern_process::SendProcessEnd, &runner, [&] { seen << runner.lastErrorLine(); });
        runner.start();
        QTRY_COMPARE_WITH_TIMEOUT(seen, QStringList{"Request failed: modem not responding"}, 10000);

        FakeTolvern(home.home()).out("Tolv_Task.cpp:55 No response from module\nlater\n").exitCode(2).install();
        tolvern_process second(nullptr, nullptr, false);
        QSignalSpy end(&second, &tolvern_process::SendProcessEnd);
        second.start();
        QVERIFY(end.wait(10000));
        QCOMPARE(second.lastErrorLine(), QString("No response from module"));
    }

    void exitCodeZeroGivesNoEnd()
    {
        TestHome home;
        FakeTolvern(home.home()).out("done\n").install();
        tolvern_process runner(nullptr, nullptr, false);
        QSignalSpy end(&runner, &tolvern_process::SendProcessEnd);
        QSignalSpy output(&runner, &tolvern_process::SendProcessOutput);
        runner.start();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isFinished(), 10000);
        QTRY_COMPARE(runner.state(), 0);
        QVERIFY(output.size() >= 1);
        QVERIFY(end.isEmpty());
    }

    void argumentsWithBlanksAndQuotesArriveWhole()
    {
        TestHome home;
        FakeTolvern fake(home.home());
        fake.install();
        tolvern_process runner(nullptr, nullptr, false);
        const WMBusSettings_t s{"tty S0", "T", "", "dir with \"quotes\""};
        runner.setArgs(&s, {"--id", "my id", "-r", "/tmp/a \"b\" c.xml"}, true);
        runner.start();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isFinished(), 10000);
        QCOMPARE(fake.recordedArgs(), QStringList({"-p", "/dev/tty S0", "-t", "dir with \"quotes\"", "--type", "ZVR868",
                                                   "--mode", "loc", "--id", "my id", "-r", "/tmp/a \"b\" c.xml"}));
    }

    void killStopsARunningChild()
    {
        TestHome home;
        Logger logger;
        FakeTolvern(home.home()).out("<mbus>\n").runUntilKilled().install();
        auto *runner = new tolvern_process(nullptr, &logger, false);
        OutputCollector output{runner, {}};
        output.connect();
        QSignalSpy end(runner, &tolvern_process::SendProcessEnd);
        QSignalSpy failure(runner, &tolvern_process::SendProcessFailure);
        QSignalSpy finished(runner, &QThread::finished);
        runner->start();
        QTRY_COMPARE_WITH_TIMEOUT(output.all(), QString("<mbus>\n"), 10000);
        QCOMPARE(runner->state(), 1);
        runner->Kill();
        QCOMPARE(runner->state(), -1);
        QCOMPARE(runner->readStdout(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(runner->isFinished(), 10000);
        QTRY_COMPARE(runner->state(), 0);
        runner->Kill(); // after the end: nothing
        QVERIFY(end.isEmpty());
        QVERIFY(failure.isEmpty());
        QCOMPARE(TestSupport::readLog(logger).count("Kill process"), 1);
        QVERIFY(StrayProcessRegistry(StrayProcessRegistry::defaultFile()).entries().isEmpty());
        delete runner;
    }

    // A stop gives Tolvern the chance to clean up: SIGTERM first, and what it prints until its end is still
    // delivered; its exit code says nothing, since the run was stopped.
    void stopLetsTolvernEndByItself()
    {
        TestHome home;
        Logger logger;
        FakeTolvern(home.home())
            .out("<mbus>one</mbus>\n")
            .untilTerminated("<mbus>two</mbus>\nTolv_Main.cpp:88 Run stopped\n", 1)
            .install();
        auto *runner = new tolvern_process(nullptr, &logger, false);
        OutputCollector output{runner, {}};
        output.connect();
        QSignalSpy end(runner, &tolvern_process::SendProcessEnd);
        runner->start();
        QTRY_COMPARE_WITH_TIMEOUT(output.all(), QString("<mbus>one</mbus>\n"), 10000);
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner->isFinished(), 10000);
        QTRY_COMPARE(runner->state(), 0);
        QCOMPARE(output.all(), QString("<mbus>one</mbus>\n<mbus>two</mbus>\nTolv_Main.cpp:88 Run stopped\n"));
        QVERIFY(end.isEmpty());
        QCOMPARE(TestSupport::readLog(logger).count("end of exec of command: 1"), 1);
        QCOMPARE(TestSupport::readLog(logger).count("Tolvern did not stop, killed"), 0);
        delete runner;
    }

    // One that does not end on SIGTERM is killed in the end.
    void stopKillsTolvernThatGoesOn()
    {
        TestHome home;
        Logger logger;
        FakeTolvern(home.home()).out("listening\n").ignoringTerminate("going on\n").install();
        auto *runner = new tolvern_process(nullptr, &logger, false);
        OutputCollector output{runner, {}};
        output.connect();
        QSignalSpy end(runner, &tolvern_process::SendProcessEnd);
        QSignalSpy failure(runner, &tolvern_process::SendProcessFailure);
        runner->start();
        QTRY_COMPARE_WITH_TIMEOUT(output.all(), QString("listening\n"), 10000);
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner->isFinished(), 20000);
        QTRY_COMPARE(runner->state(), 0);
        QCOMPARE(output.all(), QString("listening\ngoing on\n")); // it was asked first
        QCOMPARE(TestSupport::readLog(logger).count("Tolvern did not stop, killed"), 1);
        QVERIFY(end.isEmpty());
        QVERIFY(failure.isEmpty());
        QVERIFY(StrayProcessRegistry(StrayProcessRegistry::defaultFile()).entries().isEmpty());
        delete runner;
    }

    // While a stopped run still cleans up it owns the modem: the next run starts once it has ended.
    void nextRunWaitsForAStoppedOne()
    {
        TestHome home;
        const QString pidFile = home.home() + "/running.pid";
        FakeTolvern(home.home())
            .shell("if [ -f '" + pidFile + "' ] && kill -0 \"$(cat '" + pidFile +
                   "')\" 2>/dev/null; then printf 'overlap\\n'; else printf 'alone\\n'; fi")
            .shell("echo $$ > '" + pidFile + "'")
            .out("ready\n")
            .untilTerminated("stopped\n", 1, 500)
            .install();

        tolvern_process first(nullptr, nullptr, false);
        OutputCollector firstOutput{&first, {}};
        firstOutput.connect();
        first.start();
        QTRY_COMPARE_WITH_TIMEOUT(firstOutput.all(), QString("alone\nready\n"), 10000);
        first.Kill();
        tolvern_process second(nullptr, nullptr, false);
        OutputCollector secondOutput{&second, {}};
        secondOutput.connect();
        second.start();
        QTRY_VERIFY_WITH_TIMEOUT(secondOutput.all().contains("ready"), 20000);
        QCOMPARE(secondOutput.all(), QString("alone\nready\n"));
        QTRY_VERIFY_WITH_TIMEOUT(first.isFinished(), 10000);
        QCOMPARE(firstOutput.all(), QString("alone\nready\nstopped\n"));
        second.Kill();
        QTRY_VERIFY_WITH_TIMEOUT(second.isFinished(), 10000);
    }

    void killBeforeStartAndTwiceDoesNothingMore()
    {
        TestHome home;
        Logger logger;
        tolvern_process idle(nullptr, &logger, false);
        idle.Kill();
        QCOMPARE(idle.state(), 0);
        QCOMPARE(TestSupport::readLog(logger).count("Kill process"), 0);
    }

    void missingTolvernIsReported()
    {
        TestHome home;
        Logger logger;
        tolvern_process::setProgramPath(home.home() + "/nowhere/Tolvern");
        auto *runner = new tolvern_process(nullptr, &logger, false);
        QSignalSpy output(runner, &tolvern_process::SendProcessOutput);
        QSignalSpy end(runner, &tolvern_process::SendProcessEnd);
        QSignalSpy failure(runner, &tolvern_process::SendProcessFailure);
        QSignalSpy destroyed(runner, &QObject::destroyed);
        connect(runner, &QThread::finished, runner, &QObject::deleteLater);
        QString reason;
        connect(runner, &tolvern_process::SendProcessEnd, runner, [&] { reason = runner->lastErrorLine(); });
        runner->start();
        QVERIFY(destroyed.wait(10000));
        QCOMPARE(reason, "Tolvern not found " + home.home() + "/nowhere/Tolvern");
        QCOMPARE(failure.size(), 1);
        QCOMPARE(failure.at(0).at(0).toString(), "Tolvern not found " + home.home() + "/nowhere/Tolvern");
        QCOMPARE(end.size(), 1);
        QCOMPARE(end.at(0).at(0).toInt(), int(tolvern_process::ExitNotStarted));
        QVERIFY(output.isEmpty());
        QCOMPARE(TestSupport::readLog(logger).count("Tolvern not found " + home.home() + "/nowhere/Tolvern"), 1);
        QCOMPARE(TestSupport::readLog(logger).count("execute "), 0);
    }

    void crashIsReported()
    {
        TestHome home;
        FakeTolvern(home.home()).out("x\n").crash().install();
        tolvern_process runner(nullptr, nullptr, false);
        QSignalSpy end(&runner, &tolvern_process::SendProcessEnd);
        QSignalSpy failure(&runner, &tolvern_process::SendProcessFailure);
        runner.start();
        QVERIFY(end.wait(10000));
        QCOMPARE(end.at(0).at(0).toInt(), int(tolvern_process::ExitCrashed));
        QCOMPARE(failure.at(0).at(0).toString(), QString("Tolvern crashed"));
        QCOMPARE(runner.lastErrorLine(), QString("Tolvern crashed"));
    }

    void destroyingARunningRunnerIsSafe()
    {
        TestHome home;
        FakeTolvern(home.home()).runUntilKilled().install();
        auto *runner = new tolvern_process(nullptr, nullptr, false);
        runner->start();
        QTRY_VERIFY_WITH_TIMEOUT(!StrayProcessRegistry(StrayProcessRegistry::defaultFile()).entries().isEmpty(), 10000);
        delete runner; // must neither abort nor leave the child behind
        QVERIFY(StrayProcessRegistry(StrayProcessRegistry::defaultFile()).entries().isEmpty());
    }

    void autoKillEndsOnlyOurStrays()
    {
        TestHome home;
        // A stray from an earlier GUI: recorded and still alive.
        QProcess stray;
        stray.start("sleep", {"60"});
        QVERIFY(stray.waitForStarted());
        // A live process whose record no longer matches (pid reused by something else).
        QProcess bystander;
        bystander.start("sleep", {"60"});
        QVERIFY(bystander.waitForStarted());
        StrayProcessRegistry registry(StrayProcessRegistry::defaultFile());
        addOrphan(registry, stray.processId());
        QFile file(StrayProcessRegistry::defaultFile());
        file.open(QIODevice::Append);
        file.write(QByteArray::number(bystander.processId()) + " 1 /bin/sleep\n");
        file.close();

        FakeTolvern(home.home()).out("ran\n").install();
        tolvern_process runner(nullptr, nullptr, true);
        OutputCollector output{&runner, {}};
        output.connect();
        runner.start();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isFinished(), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(stray.state(), QProcess::NotRunning, 5000);
        QCOMPARE(bystander.state(), QProcess::Running);
        QTRY_COMPARE(output.all(), QString("ran\n"));
        QVERIFY(registry.entries().isEmpty());
        bystander.kill();
        bystander.waitForFinished();
    }

    void autoKillSparesTheRunsOfRunningWindows()
    {
        TestHome home;
        StrayProcessRegistry registry(StrayProcessRegistry::defaultFile());
        Sleeper otherWindow, otherWindowsRun, ownRun, orphan, unownedRecord;
        registry.add(otherWindowsRun.pid(), otherWindow.pid());
        registry.add(ownRun.pid());
        addOrphan(registry, orphan.pid());
        // A record written before owners were kept: nothing tells that its window still runs.
        StrayProcessRegistry::Entry old;
        QVERIFY(StrayProcessRegistry::identify(unownedRecord.pid(), old));
        QFile file(StrayProcessRegistry::defaultFile());
        QVERIFY(file.open(QIODevice::Append | QIODevice::Text));
        file.write(QByteArray::number(old.pid) + ' ' + QByteArray::number(old.startTime) + ' ' +
                   old.executable.toUtf8() + '\n');
        file.close();
        QCOMPARE(registry.entries().size(), 4);

        auto recordedPids = [&registry]
        {
            QList<qint64> pids;
            for (const StrayProcessRegistry::Entry &entry : registry.entries())
                pids << entry.pid;
            std::sort(pids.begin(), pids.end());
            return pids;
        };
        QCOMPARE(registry.killStrays([] { return false; }), 2);
        QTRY_VERIFY_WITH_TIMEOUT(!orphan.running() && !unownedRecord.running(), 5000);
        QVERIFY(otherWindowsRun.running());
        QVERIFY(ownRun.running());
        QList<qint64> kept{otherWindowsRun.pid(), ownRun.pid()};
        std::sort(kept.begin(), kept.end());
        QCOMPARE(recordedPids(), kept);

        // Once the other window is gone, its run is a stray.
        otherWindow.process.kill();
        otherWindow.process.waitForFinished();
        QCOMPARE(registry.killStrays([] { return false; }), 1);
        QTRY_VERIFY_WITH_TIMEOUT(!otherWindowsRun.running(), 5000);
        QVERIFY(ownRun.running());
        QCOMPARE(recordedPids(), QList<qint64>{ownRun.pid()});
    }

    void stopWhileCleaningUpStartsNothing()
    {
        TestHome home;
        // The stop comes while the runner is still busy with the stray, before its child would start.
        QProcess stray;
        stray.start("sleep", {"60"});
        QVERIFY(stray.waitForStarted());
        StrayProcessRegistry registry(StrayProcessRegistry::defaultFile());
        addOrphan(registry, stray.processId());
        FakeTolvern fake(home.home());
        fake.out("should not run\n").install();
        QFile::remove(fake.argsFile());
        tolvern_process runner(nullptr, nullptr, true);
        QSignalSpy output(&runner, &tolvern_process::SendProcessOutput);
        QSignalSpy end(&runner, &tolvern_process::SendProcessEnd);
        runner.start();
        runner.Kill(); // at once: the thread is still before the child's start
        QTRY_VERIFY_WITH_TIMEOUT(runner.isFinished(), 10000);
        QCoreApplication::processEvents();
        QVERIFY(!QFile::exists(fake.argsFile()));
        QVERIFY(output.isEmpty());
        QVERIFY(end.isEmpty());
        QCOMPARE(runner.state(), 0);
        stray.kill();
        stray.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(TestRunner)
#include "tst_runner.moc"
