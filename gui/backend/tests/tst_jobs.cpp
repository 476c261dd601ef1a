#include "FakeTolvern.h"
#include "Logger.h"
#include "MbusSamples.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "tolvern_info.h"
#include "tolvern_installation.h"
#include "tolvern_update.h"
#include "xml_radio_test.h"

#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace
{
// A concentrator's answer to an installation request, as Tolvern prints it.
QByteArray concentrator(const QByteArray &id, const QByteArray &status, int rssi, const QByteArray &uid = "305419896",
                        bool withTpl = true)
{
    QByteArray text = "<mbus date=\"2026-01-02T10:00:00\">\n";
    if (rssi != 0)
        text +=
            "    <radio>\n        <rssi>" + QByteArray::number(rssi) + "</rssi>\n        <hop>0</hop>\n    </radio>\n";
    text += "    <header>\n"
            "        <Id>" +
            id +
            "</Id>\n"
            "        <Manufacturer>ZVR</Manufacturer>\n"
            "        <Version>1</Version>\n"
            "        <Medium>Communication controller</Medium>\n"
            "        <AccessNumber>3</AccessNumber>\n"
            "        <Status>" +
            status +
            "</Status>\n"
            "        <Signature>0000</Signature>\n"
            "        <Type>SND-NKE</Type>\n";
    if (withTpl)
        text += "        <Tpl>\n"
                "            <Id>11223344</Id>\n"
                "            <Manufacturer>ZVR</Manufacturer>\n"
                "            <Version>2</Version>\n"
                "            <Medium>Water</Medium>\n"
                "        </Tpl>\n";
    text += "    </header>\n"
            "    <records>\n"
            "        <record type=\"inst\" unit=\"Reserved VIF extension\" vife=\"0x73\" storage=\"0\">" +
            uid +
            "</record>\n"
            "    </records>\n"
            "    <raw>00</raw>\n"
            "</mbus>\n";
    return text;
}

const WMBusSettings_t Settings{"ttyUSB0", "T", "", "./Template"};
} // namespace

class TestJobs : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        home = std::make_unique<TestHome>();
        // Jobs that start at once get a stand-in that does nothing.
        FakeTolvern(home->home()).install();
    }
    void cleanup() { home.reset(); }

    void updateOutput_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("packets");
        QTest::addColumn<QList<int>>("statuses");
        QTest::addColumn<QStringList>("debug");
        QTest::addColumn<QStringList>("addresses");
        QTest::newRow("sent line") << QList<QByteArray>{"Sent 1024 bytes\n"} << QList<int>{1024} << QList<int>{}
                                   << QStringList{"Sent 1024 bytes"} << QStringList();
        QTest::newRow("a whole update with carriage returns")
            << QList<QByteArray>{"Got address 0102030405060708\r\nSent 512 bytes\r\nSent 1024 bytes\r\n"
                                 "Firmware with 1024 sent\r\nUpdate status: 3\r\n"}
            << QList<int>{512, 1024, -1} << QList<int>{3}
            << QStringList{"Got address 0102030405060708\r", "Sent 512 bytes\r", "Sent 1024 bytes\r",
                           "Firmware with 1024 sent\r", "Update status: 3\r"}
            << QStringList{"0102030405060708\r"};
        QTest::newRow("status cut between chunks")
            << QList<QByteArray>{"Update sta", "tus: 1", "2\n"} << QList<int>{} << QList<int>{12}
            << QStringList{"Update status: 12"} << QStringList();
        QTest::newRow("status that is no number")
            << QList<QByteArray>{"Update status: x\n", "Update status: \n"} << QList<int>{} << QList<int>{}
            << QStringList{"Update status: x", "Update status: "} << QStringList();
        QTest::newRow("sent and firmware with on one line")
            << QList<QByteArray>{"Sent 64 bytes, Firmware with 64 sent\n"} << QList<int>{64, -1} << QList<int>{}
            << QStringList{"Sent 64 bytes, Firmware with 64 sent"} << QStringList();
        QTest::newRow("sent without a count") << QList<QByteArray>{"Sent request\n"} << QList<int>{0} << QList<int>{}
                                              << QStringList{"Sent request"} << QStringList();
        QTest::newRow("percent signs are no format")
            << QList<QByteArray>{"Update status: 0 %s %n %d\n"} << QList<int>{} << QList<int>{}
            << QStringList{"Update status: 0 %s %n %d"} << QStringList();
    }

    void updateOutput()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<int>, packets);
        QFETCH(QList<int>, statuses);
        QFETCH(QStringList, debug);
        QFETCH(QStringList, addresses);
        Logger logger;
        tolvern_update job(&Settings, "/tmp/fw.bin", nullptr, &logger, false);
        QSignalSpy packetSpy(&job, &tolvern_update::PacketSent);
        QSignalSpy statusSpy(&job, &tolvern_update::UpdateDone);
        QSignalSpy debugSpy(&job, &tolvern_update::Debug);
        QSignalSpy connectedSpy(&job, &tolvern_update::Connected);
        for (const QByteArray &chunk : chunks)
            job.handleOutput(QString::fromUtf8(chunk));
        QCOMPARE(TestSupport::values<int>(packetSpy), packets);
        QCOMPARE(TestSupport::values<int>(statusSpy), statuses);
        QCOMPARE(TestSupport::texts(debugSpy), debug);
        QCOMPARE(TestSupport::texts(connectedSpy), addresses);
        if (!statuses.isEmpty())
            QVERIFY(TestSupport::readLog(logger).contains("] Update status: "));
    }

    void updateArguments_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("modeArgs");
        QTest::newRow("T runs local") << "T" << QStringList{"--type", "ZVR868", "--mode", "loc"};
        QTest::newRow("S runs local") << "S" << QStringList{"--type", "ZVR868", "--mode", "loc"};
        QTest::newRow("t does not") << "t" << QStringList{"--type", "ZVR868", "--mode", "t"};
        QTest::newRow("Nc") << "Nc" << QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "3"};
    }

    void updateArguments()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, modeArgs);
        FakeTolvern fake(home->home());
        fake.out("Update status: 0").install(); // the last line has no line feed
        const WMBusSettings_t s{"ttyUSB0", mode, "", "./Template"};
        tolvern_update job(&s, "/tmp/a \"quoted\" fw.bin", nullptr, nullptr, false);
        QSignalSpy statusSpy(&job, &tolvern_update::UpdateDone);
        QTRY_VERIFY_WITH_TIMEOUT(job.process() == nullptr, 10000);
        QCOMPARE(TestSupport::values<int>(statusSpy), QList<int>{0});
        QCOMPARE(fake.recordedArgs().mid(4), (modeArgs + QStringList{"-u", "/tmp/a \"quoted\" fw.bin"}));
    }

    void deletingARunningUpdateIsSafe()
    {
        FakeTolvern(home->home()).out("Sent 1 bytes\n").runUntilKilled().install();
        auto *job = new tolvern_update(&Settings, "/tmp/fw.bin", nullptr, nullptr, false);
        QSignalSpy packetSpy(job, &tolvern_update::PacketSent);
        QTRY_COMPARE_WITH_TIMEOUT(packetSpy.size(), 1, 10000);
        delete job;
    }

    void versions_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("1.8") << "1.8" << 264;
        QTest::newRow("with carriage return") << "2.3\r" << 515;
        QTest::newRow("three parts") << "1.2.3" << 258;
        QTest::newRow("no point") << "7" << 7 * 256;
        QTest::newRow("letters") << "a.b" << 0;
        QTest::newRow("empty") << "" << 0;
    }

    void versions()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        QCOMPARE(tolvern_info::versionOf(text), value);
    }

    void infoOutput_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("announcedAfter");
        QTest::addColumn<int>("firmware");
        QTest::addColumn<QString>("address");
        const QByteArray usual = "Tolvern version: 1.8\r\nInfo: ZVR 868 modem\r\nAddress: 1a2b3c\r\n"
                                 "Firmware version: 2.3\r\nHardware version: 1.0\r\n";
        QTest::newRow("usual output in one chunk") << QList<QByteArray>{usual} << QList<int>{1} << 515 << "1a2b3c\r";
        QTest::newRow("hardware line later")
            << QList<QByteArray>{"Firmware version: 2.3\n", "Hardware version: 1.0\n"} << QList<int>{0, 1} << 515 << "";
        QTest::newRow("version line cut inside its prefix")
            << QList<QByteArray>{"Firmware ver", "sion: 2.3\nHardware version: 1.", "1\n"} << QList<int>{0, 0, 1} << 515
            << "";
        QTest::newRow("hardware 0.0 is never announced")
            << QList<QByteArray>{"Firmware version: 2.3\nHardware version: 0.0\n"} << QList<int>{0} << 515 << "";
    }

    void infoOutput()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<int>, announcedAfter);
        QFETCH(int, firmware);
        QFETCH(QString, address);
        tolvern_info job(&Settings, nullptr, nullptr, false);
        QSignalSpy done(&job, &tolvern_info::GetInfoDone);
        QList<int> counts;
        for (const QByteArray &chunk : chunks)
        {
            job.handleOutput(QString::fromUtf8(chunk));
            counts << done.size();
        }
        QCOMPARE(counts, announcedAfter);
        QCOMPARE(job.info().firmwareVersion, firmware);
        QCOMPARE(job.info().address, address);
        if (!done.isEmpty())
            QCOMPARE(done.at(0).at(0).value<DongleInfo_t *>(), &job.info());
    }

    void infoLastLineWithoutLineFeed()
    {
        tolvern_info job(&Settings, nullptr, nullptr, false);
        QSignalSpy done(&job, &tolvern_info::GetInfoDone);
        job.handleOutput("Firmware version: 2.3\nHardware version: 1.0");
        QCOMPARE(done.size(), 0);
        job.handleEnd();
        QCOMPARE(done.size(), 1);
    }

    void killedUpdateDoesNotReadItsCutLine()
    {
        FakeTolvern(home->home()).out("Update status: 1").runUntilKilled().install();
        tolvern_update job(&Settings, "/tmp/fw.bin", nullptr, nullptr, false);
        QSignalSpy debug(&job, &tolvern_update::Debug);
        QSignalSpy status(&job, &tolvern_update::UpdateDone);
        QTest::qWait(300);
        QPointer<tolvern_process> runner = job.process();
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isNull(), 10000);
        QVERIFY(status.isEmpty());
        QVERIFY(debug.isEmpty());
    }

    void infoRunAgainstFakeTolvern()
    {
        Logger logger;
        FakeTolvern fake(home->home());
        fake.out("Tolvern version: 1.8\nAddress: 1a2b3c\nFirmware version: 2.3\n")
            .pause(100)
            .out("Hardware version: 1.0\n")
            .runUntilKilled()
            .install();
        QObject owner;
        auto *job = new tolvern_info(&Settings, &owner, &logger, false);
        QCOMPARE(job->process()->parent(), &owner);
        QSignalSpy done(job, &tolvern_info::GetInfoDone);
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 1, 10000);
        const DongleInfo_t *info = done.at(0).at(0).value<DongleInfo_t *>();
        QCOMPARE(info->cliVersion, 264);
        QCOMPARE(info->hardwareVersion, 256);
        QTRY_VERIFY_WITH_TIMEOUT(job->process() == nullptr, 10000); // killed, then gone
        QCOMPARE(fake.recordedArgs().mid(4), QStringList({"--type", "ZVR868", "--mode", "T", "-m"}));
        delete job;
        QVERIFY(TestSupport::readLog(logger).contains("[tolvern_info::~tolvern_info():"));
        QVERIFY(TestSupport::readLog(logger).contains("Kill process"));
    }

    // A query given up before its answer (the detection's time limit for one port) ends its run.
    void infoGivenUpStopsItsRun()
    {
        FakeTolvern(home->home()).out("Tolvern version: 1.8\n").runUntilKilled().install();
        QObject owner;
        auto *job = new tolvern_info(&Settings, &owner, nullptr, false);
        QPointer<tolvern_process> runner = job->process();
        QTRY_COMPARE_WITH_TIMEOUT(runner->state(), 1, 10000);
        delete job;
        QTRY_VERIFY_WITH_TIMEOUT(runner.isNull(), 10000);
    }

    void installationFrames_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<int>("frames");
        const QByteArray a = concentrator("00000001", "8A", 131);
        const QByteArray b = concentrator("00000002", "80", 120);
        QByteArray crlf = a + b;
        crlf.replace("\n", "\r\n");
        QTest::newRow("two documents in one chunk") << QList<QByteArray>{a + b} << 2;
        QTest::newRow("a document over two chunks") << QList<QByteArray>{a.left(90), a.mid(90)} << 1;
        QTest::newRow("carriage returns") << QList<QByteArray>{crlf} << 2;
        QTest::newRow("status line holding a <") << QList<QByteArray>{"Sent <SND-IR>\n" + a} << 1;
        QTest::newRow("no documents") << QList<QByteArray>{"Start\nSet wM-Bus mode to: Tm\n"} << 0;
    }

    void installationFrames()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(int, frames);
        tolvern_installation job(&Settings, nullptr, nullptr, false);
        xml_radio_test test(nullptr, nullptr);
        connect(&job, &tolvern_installation::ReceiveNewFrame, &test, &xml_radio_test::GetNewFrame);
        QSignalSpy received(&job, &tolvern_installation::ReceiveNewFrame);
        QSignalSpy answers(&test, &xml_radio_test::ReceiveAnswer);
        for (const QByteArray &chunk : chunks)
            job.handleOutput(QString::fromUtf8(chunk));
        QCOMPARE(received.size(), frames);
        QCOMPARE(answers.size(), frames);
        for (const QString &frame : TestSupport::texts(received))
            QVERIFY(frame.startsWith("<mbus date=") && frame.endsWith("</mbus>") && !frame.contains('\n'));
    }

    void installationModes_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QStringList>("modeArgs");
        QTest::newRow("T") << "T" << QStringList{"--type", "ZVR868", "--mode", "Tm"};
        QTest::newRow("t2") << "t2" << QStringList{"--type", "ZVR868", "--mode", "Tm"};
        QTest::newRow("S") << "S" << QStringList{"--type", "ZVR868", "--mode", "S"};
        QTest::newRow("Nc") << "Nc" << QStringList{"--type", "ZVR169", "--mode", "n", "--channel", "3"};
        QTest::newRow("empty") << "" << QStringList{"--type", "ZVR868"};
    }

    void installationModes()
    {
        QFETCH(QString, mode);
        QFETCH(QStringList, modeArgs);
        FakeTolvern fake(home->home());
        fake.out(concentrator("00000001", "8A", 131)).runUntilKilled().install();
        WMBusSettings_t s{"ttyUSB0", mode, "", "./Template"};
        auto job = std::make_unique<tolvern_installation>(&s, nullptr, nullptr, false);
        QSignalSpy received(job.get(), &tolvern_installation::ReceiveNewFrame);
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 1, 10000);
        job.reset(); // kills the run and waits for it
        QCOMPARE(s.mode, mode);
        QCOMPARE(fake.recordedArgs().mid(4), modeArgs + QStringList{"--send-frame"});
    }

    void radioTestAnswers_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<int>("uplink");
        QTest::addColumn<int>("downlink");
        QTest::addColumn<QString>("uid");
        QTest::newRow("answer") << concentrator("00000001", "8A", 131) << true << 69 << 65 << "12345678";
        QTest::newRow("without signal strength")
            << concentrator("00000001", "8A", 0) << true << 69 << int(RadioTestFrame_t::NoRssi) << "12345678";
        QTest::newRow("negative uid") << concentrator("00000001", "8A", 131, "-2") << true << 69 << 65 << "FFFFFFFE";
        QTest::newRow("small uid") << concentrator("00000001", "8A", 131, "255") << true << 69 << 65 << "FF";
        QTest::newRow("uid 0") << concentrator("00000001", "8A", 131, "0") << true << 69 << 65 << "0";
        QTest::newRow("uid no number") << concentrator("00000001", "8A", 131, "x") << true << 69 << 65 << "";
        QTest::newRow("without Tpl") << concentrator("00000001", "8A", 131, "1", false) << false << 0 << 0 << "";
        QTest::newRow("a meter") << MbusSamples::meter("12345678") << false << 0 << 0 << "";
        QTest::newRow("not xml") << QByteArray("<mbus><header>") << false << 0 << 0 << "";
    }

    void radioTestAnswers()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, answer);
        QFETCH(int, uplink);
        QFETCH(int, downlink);
        QFETCH(QString, uid);
        Logger logger;
        xml_radio_test test(nullptr, &logger);
        QSignalSpy answers(&test, &xml_radio_test::ReceiveAnswer);
        test.GetNewFrame(QString::fromUtf8(frame));
        QCOMPARE(answers.size(), answer ? 1 : 0);
        const QString log = TestSupport::readLog(logger);
        if (!answer)
        {
            QVERIFY(log.contains("Missing data!!: Manuf:") || log.contains("xmlBOM.setContent failed : "));
            return;
        }
        QVERIFY(log.contains("Receive concentrator answer"));
        const RadioTestFrame_t got = answers.at(0).at(0).value<RadioTestFrame_t>();
        QCOMPARE(got.uplinkRssi, uplink);
        QCOMPARE(got.downlinkRssi, downlink);
        QCOMPARE(got.uid, uid);
        QCOMPARE(got.id, QString("00000001"));
        QCOMPARE(got.tpl.id, QString("11223344"));
        QCOMPARE(got.tpl.medium, QString("Water"));
        QCOMPARE(got.type, QString("SND-NKE"));
    }

    void uidOnlyFromTheFirstRecord()
    {
        QByteArray frame = concentrator("00000001", "8A", 131);
        frame.replace("    <records>\n", "    <records>\n        <record type=\"inst\" unit=\"x\">1</record>\n");
        xml_radio_test test(nullptr, nullptr);
        QSignalSpy answers(&test, &xml_radio_test::ReceiveAnswer);
        test.GetNewFrame(QString::fromUtf8(frame));
        QCOMPARE(answers.size(), 1);
        QCOMPARE(answers.at(0).at(0).value<RadioTestFrame_t>().uid, QString());
    }

private:
    std::unique_ptr<TestHome> home;
};

QTEST_GUILESS_MAIN(TestJobs)
#include "tst_jobs.moc"
