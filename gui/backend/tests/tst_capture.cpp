#include "CaptureFrame.h"
#include "FakeTolvern.h"
#include "Logger.h"
#include "MbusSamples.h"
#include "ModuleStatisticsList.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "reverseAddressBytes.h"
#include "tolvern_capture.h"
#include "xml_capture.h"

#include <QDateTime>
#include <QDomDocument>
#include <QFile>
#include <QSignalSpy>
#include <QtTest>
#include <memory>

namespace
{
QDomElement parse(QDomDocument &document, const QString &text)
{
    document.setContent(text);
    return document.documentElement();
}

CaptureFrame_t frameAt(const QString &id, qint64 seconds, int rssi, const QString &type = "SND-NR")
{
    CaptureFrame_t frame;
    frame.Id = id;
    frame.Manufacturer = "ZVR";
    frame.time = seconds * 1000;
    frame.rssi = rssi;
    frame.Type = type;
    return frame;
}

const WMBusSettings_t Settings{"ttyUSB0", "T", "", "./Template"};
} // namespace

class TestCapture : public QObject
{
    Q_OBJECT
private slots:
    void frameFromFullDocument()
    {
        QDomDocument document;
        CaptureFrame frame(parse(document, MbusSamples::meter("12345678")));
        QVERIFY(frame.isValid());
        const CaptureFrame_t data = frame.getData();
        QCOMPARE(data.date, QString("2026-01-02T10:00:00"));
        QCOMPARE(data.rssi, -70);
        QCOMPARE(data.Id, QString("12345678"));
        QCOMPARE(data.Manufacturer, QString("ZVR"));
        QCOMPARE(data.Medium, QString("Water"));
        QCOMPARE(data.AccessNumber, 12);
        QCOMPARE(data.Status, QString("00"));
        QCOMPARE(data.Signature, QString("0500"));
        QCOMPARE(data.Type, QString("SND-NR"));
        QCOMPARE(data.raw, QString("0C1342000000"));
        QCOMPARE(data.error, QString());
        QCOMPARE(data.number, 0);
    }

    void frameFields_data()
    {
        QTest::addColumn<QString>("xml");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("rssi");
        QTest::addColumn<int>("access");
        QTest::addColumn<QString>("date");
        QTest::newRow("other root") << "<frame/>" << false << 0 << 0 << "";
        QTest::newRow("empty mbus") << "<mbus/>" << true << 65535 << 65535 << "No date";
        QTest::newRow("empty access number")
            << "<mbus date=\"d\"><header><AccessNumber/></header></mbus>" << true << 65535 << 65535 << "d";
        QTest::newRow("access number not a number")
            << "<mbus><header><AccessNumber>x1</AccessNumber></header></mbus>" << true << 65535 << 0 << "No date";
        QTest::newRow("rssi 1") << "<mbus><radio><rssi>1</rssi></radio></mbus>" << true << 0 << 65535 << "No date";
        QTest::newRow("rssi not a number")
            << "<mbus><radio><rssi>high</rssi></radio></mbus>" << true << 0 << 65535 << "No date";
        QTest::newRow("comment ends the walk")
            << "<mbus><radio><rssi>151</rssi></radio><!-- c --><header><AccessNumber>3</AccessNumber></header></mbus>"
            << true << -75 << 65535 << "No date";
        QTest::newRow("comment inside header ends its walk")
            << "<mbus><header><AccessNumber>3</AccessNumber><!-- c --><AccessNumber>4</AccessNumber></header>"
               "<radio><rssi>141</rssi></radio></mbus>"
            << true << -70 << 3 << "No date";
        QTest::newRow("text ends the walk")
            << "<mbus>stray<radio><rssi>151</rssi></radio></mbus>" << true << 65535 << 65535 << "No date";
        QTest::newRow("blank text does not")
            << "<mbus> <radio> <rssi>151</rssi> </radio> </mbus>" << true << -75 << 65535 << "No date";
    }

    void frameFields()
    {
        QFETCH(QString, xml);
        QFETCH(bool, valid);
        QFETCH(int, rssi);
        QFETCH(int, access);
        QFETCH(QString, date);
        QDomDocument document;
        CaptureFrame frame(parse(document, xml));
        QCOMPARE(frame.isValid(), valid);
        if (!valid)
            return;
        QCOMPARE(frame.getData().rssi, rssi);
        QCOMPARE(frame.getData().AccessNumber, access);
        QCOMPARE(frame.getData().date, date);
    }

    void receptionTime()
    {
        QDomDocument kept;
        CaptureFrame stamped(parse(kept, "<mbus time=\"1767348000000\"/>"));
        QCOMPARE(stamped.getData().time, Q_INT64_C(1767348000000));
        QCOMPARE(kept.documentElement().attribute("time"), QString("1767348000000"));

        const qint64 before = QDateTime::currentMSecsSinceEpoch();
        QDomDocument fresh;
        CaptureFrame now(parse(fresh, "<mbus><raw>AA</raw></mbus>"));
        const CaptureFrame_t data = now.getData();
        QVERIFY(data.time >= before && data.time <= QDateTime::currentMSecsSinceEpoch());
        QCOMPARE(fresh.documentElement().attribute("time"), QString::number(data.time));
        QVERIFY(data.xml.contains("time=\"" + QString::number(data.time) + "\""));
        QVERIFY(data.xml.contains("\n    <raw>AA</raw>"));
    }

    void elementTextIsWrittenAgainIndented()
    {
        QString fragment = "<mbus date=\"a&amp;b\" time=\"5\"> <radio> <rssi>1</rssi> </radio> <records/> "
                           "<raw>A&lt;B</raw> <!-- c --> </mbus>";
        xml_capture store(nullptr);
        QVERIFY(store.AddFrame(fragment));
        QCOMPARE(store.getFrames().value(0).getData().xml, QString("<mbus date=\"a&amp;b\" time=\"5\">\n"
                                                                   "    <radio>\n"
                                                                   "        <rssi>1</rssi>\n"
                                                                   "    </radio>\n"
                                                                   "    <records/>\n"
                                                                   "    <raw>A&lt;B</raw>\n"
                                                                   "    <!-- c -->\n"
                                                                   "</mbus>\n"));
        QCOMPARE(store.getFrames().value(0).getData().raw, QString("A<B"));
    }

    void copiesShareTheRecord()
    {
        QDomDocument document;
        CaptureFrame frame(parse(document, "<mbus/>"));
        CaptureFrame copy = frame;
        copy.setNumber(5);
        QCOMPARE(frame.getData().number, 5);
    }

    void statisticsAreTrueMeans()
    {
        ModuleStatisticsList list;
        list.update(frameAt("A", 0, -60));
        list.update(frameAt("A", 90, -80));
        ModuleStatistics a = list.find("A");
        QCOMPARE(a.deltaMin, 90);
        QCOMPARE(a.deltaMax, 90);
        QCOMPARE(a.deltaAverage, 90.0f);
        list.update(frameAt("A", 120, -70));
        a = list.find("A");
        QCOMPARE(a.frameCount, 3);
        QCOMPARE(a.deltaMin, 30);
        QCOMPARE(a.deltaMax, 90);
        QCOMPARE(a.deltaAverage, 60.0f);
        QCOMPARE(a.rssiMin, -80);
        QCOMPARE(a.rssiMax, -60);
        QCOMPARE(a.rssiAverage, -70.0f);
        QCOMPARE(a.lastTime, Q_INT64_C(120000));
    }

    void framesWithoutSignalStrengthTakeNoPartInRssi()
    {
        ModuleStatisticsList list;
        list.update(frameAt("B", 0, CaptureFrame_t::NoValue));
        ModuleStatistics b = list.find("B");
        QCOMPARE(b.rssiCount, 0);
        QCOMPARE(b.rssiMin, int(ModuleStatistics::NoRssi));
        QCOMPARE(b.deltaMin, int(ModuleStatistics::NoDelta));
        list.update(frameAt("B", 10, -70));
        list.update(frameAt("B", 20, CaptureFrame_t::NoValue));
        list.update(frameAt("B", 30, -50));
        b = list.find("B");
        QCOMPARE(b.frameCount, 4);
        QCOMPARE(b.rssiCount, 2);
        QCOMPARE(b.rssiMin, -70);
        QCOMPARE(b.rssiMax, -50);
        QCOMPARE(b.rssiAverage, -60.0f);
    }

    void modulesAreToldApartByIdAlone()
    {
        ModuleStatisticsList list("capture");
        list.update(frameAt("A", 0, -60, "SND-NR"));
        CaptureFrame_t other = frameAt("A", 5, -60, "SND-NKE");
        other.Manufacturer = "XYZ";
        list.update(other);
        list.update(frameAt("C", 6, -60, "RSP-UD"));
        list.update(frameAt("A", 7, -60, "SND-NR"));
        QCOMPARE(list.getList().size(), 2);
        const ModuleStatistics a = list.find("A");
        QCOMPARE(a.Manufacturer, QString("ZVR"));
        QCOMPARE(a.frameCount, 3);
        QCOMPARE(a.sndNrCount, 2);
        QCOMPARE(list.find("C").sndNrCount, 0);
        QCOMPARE(list.find("missing").frameCount, 0);
        QCOMPARE(list.getLabel(), QString("capture"));
        list.clear();
        QVERIFY(list.getList().isEmpty());
    }

    void addressBytes()
    {
        QCOMPARE(reverseAddressBytes("a1b2c3d4e5f60107"), QString("d4c3b2a1"));
        QCOMPARE(reverseAddressBytes("a1b2c3d4\r"), QString("d4c3b2a1"));
        QCOMPARE(reverseAddressBytes("a1b2"), QString());
    }

    void outputChunks_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QList<int>>("signalsPerChunk");
        const QByteArray a = MbusSamples::meter("AAAAAAAA");
        const QByteArray b = MbusSamples::meter("BBBBBBBB");
        QByteArray crlf = a + b;
        crlf.replace("\n", "\r\n");
        QByteArray touching = a + b;
        touching.replace("</mbus>\n<mbus", "</mbus><mbus");
        const int third = a.size() / 3;
        QTest::newRow("status line only")
            << QList<QByteArray>{"Got address 0x0102030405060708\n"} << QStringList() << QList<int>{0};
        QTest::newRow("two documents in one chunk")
            << QList<QByteArray>{a + b} << QStringList{"1:AAAAAAAA", "2:BBBBBBBB"} << QList<int>{2};
        QTest::newRow("documents touching")
            << QList<QByteArray>{touching} << QStringList{"1:AAAAAAAA", "2:BBBBBBBB"} << QList<int>{2};
        QTest::newRow("one document over three chunks")
            << QList<QByteArray>{a.left(third), a.mid(third, third), a.mid(2 * third)} << QStringList{"1:AAAAAAAA"}
            << QList<int>{0, 0, 1};
        QTest::newRow("log lines between documents")
            << QList<QByteArray>{"Start\n" + a + "[12:00:00][5][Tolv    ]no frame\n" + b + "trailer"}
            << QStringList{"1:AAAAAAAA", "2:BBBBBBBB"} << QList<int>{2};
        QTest::newRow("carriage returns, pair split between chunks")
            << QList<QByteArray>{crlf.left(crlf.indexOf("\r\n") + 1), crlf.mid(crlf.indexOf("\r\n") + 1)}
            << QStringList{"1:AAAAAAAA", "2:BBBBBBBB"} << QList<int>{0, 2};
        QTest::newRow("cut at a blank between attributes")
            << QList<QByteArray>{"<mbus ", "date=\"d\"><header><Id>CCCCCCCC</Id></header></mbus>\n"}
            << QStringList{"1:CCCCCCCC"} << QList<int>{0, 1};
        QTest::newRow("second frame ends, first stays whole")
            << QList<QByteArray>{a + b.left(40), b.mid(40)} << QStringList{"1:AAAAAAAA", "2:BBBBBBBB"}
            << QList<int>{1, 1};
        QTest::newRow("blank line inside a document")
            << QList<QByteArray>{QByteArray(a).replace("    <records>\n", "\n    <records>\n")}
            << QStringList{"1:AAAAAAAA"} << QList<int>{1};
        QTest::newRow("other root is not stored")
            << QList<QByteArray>{"<mbusframe>x</mbusframe>\n<other><mbus/></other>\n"} << QStringList()
            << QList<int>{0};
        QTest::newRow("broken document does not spoil the next")
            << QList<QByteArray>{a.left(60) + "\n" + b} << QStringList{"1:BBBBBBBB"} << QList<int>{1};
    }

    void outputChunks()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, frames);
        QFETCH(QList<int>, signalsPerChunk);
        TestHome home;
        Logger logger;
        xml_capture store(&logger);
        tolvern_capture job(&Settings, &store, nullptr, &logger, false, false);
        QSignalSpy received(&job, &tolvern_capture::ReceiveNewFrame);
        QList<int> counts;
        for (const QByteArray &chunk : chunks)
        {
            received.clear();
            job.handleOutput(QString::fromUtf8(chunk));
            counts << received.size();
        }
        QCOMPARE(TestSupport::frameIds(store), frames);
        QCOMPARE(counts, signalsPerChunk);
    }

    void statusLinesAreLoggedOnly()
    {
        TestHome home;
        Logger logger;
        xml_capture store(&logger);
        tolvern_capture job(&Settings, &store, nullptr, &logger, false, false);
        job.handleOutput("Set wM-Bus mode to: T\r\n   \n" + QString::fromUtf8(MbusSamples::meter("AAAAAAAA")));
        const QString log = TestSupport::readLog(logger);
        QCOMPARE(log.count("cli: Set wM-Bus mode to: T\n"), 1);
        QCOMPARE(log.count("cli: "), 1);
        QCOMPARE(store.count(), 1);
    }

    void brokenDocumentIsLoggedAndDropped()
    {
        TestHome home;
        Logger logger;
        xml_capture store(&logger);
        tolvern_capture job(&Settings, &store, nullptr, &logger, false, false);
        const QByteArray a = MbusSamples::meter("AAAAAAAA");
        job.handleOutput(QString::fromUtf8(a.left(60) + "\n" + MbusSamples::meter("BBBBBBBB")));
        job.handleOutput(QString::fromUtf8(MbusSamples::meter("CCCCCCCC")));
        QCOMPARE(TestSupport::frameIds(store), (QStringList{"1:BBBBBBBB", "2:CCCCCCCC"}));
        const QString log = TestSupport::readLog(logger);
        QCOMPARE(log.count("xmlBOM.setContent failed : "), 1);
        QVERIFY(log.contains("xmlBOM.setContent failed : " + QString::fromUtf8(a.left(60)).simplified() + "\n"));
    }

    void whitespaceInTextsIsCollapsed()
    {
        TestHome home;
        xml_capture store(nullptr);
        tolvern_capture job(&Settings, &store, nullptr, nullptr, false, false);
        job.handleOutput("<mbus><error>bad   key\n here</error></mbus>\n");
        QCOMPARE(store.getFrames().value(0).getData().error, QString("bad key here"));
    }

    void addFrameKeepsFragments()
    {
        TestHome home;
        Logger logger;
        xml_capture store(&logger);
        QString first = "<mbus date=\"d\"><header>";
        QVERIFY(!store.AddFrame(first));
        QString second = "<Id>11</Id></header></mbus>";
        QVERIFY(store.AddFrame(second));
        QCOMPARE(TestSupport::frameIds(store), QStringList{"1:11"});
        QString broken = "<mbus><a></mbus>";
        QVERIFY(!store.AddFrame(broken));
        QVERIFY(TestSupport::readLog(logger).contains("xmlBOM.setContent failed : <mbus><a></mbus>"));
        QString other = "<x><mbus/></x><!-- </mbus> -->";
        QVERIFY(!store.AddFrame(other));
        QString third = "<mbus><header><Id>22</Id></header></mbus>";
        QVERIFY(store.AddFrame(third));
        QCOMPARE(TestSupport::frameIds(store), (QStringList{"1:11", "2:22"}));
    }

    void recordsStayValidAfterLaterChunks()
    {
        TestHome home;
        xml_capture store(nullptr);
        tolvern_capture job(&Settings, &store, nullptr, nullptr, false, false);
        job.handleOutput(QString::fromUtf8(MbusSamples::meter("AAAAAAAA")));
        const QList<CaptureFrame> taken = store.getFrames();
        job.handleOutput(QString::fromUtf8(MbusSamples::meter("BBBBBBBB")));
        QCOMPARE(taken.value(0).getData().Id, QString("AAAAAAAA"));
        QCOMPARE(taken.value(0).getData().number, 1);
    }

    void captureFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QStringList>("frames");
        QTest::addColumn<QString>("logLine");
        QTest::newRow("good, with a comment and another element")
            << "capture_good.xml" << QStringList{"1:12345678", "2:12345678", "3:87654321"} << QString();
        QTest::newRow("empty") << "capture_empty.xml" << QStringList() << "eror while reading xml capture file";
        QTest::newRow("malformed") << "capture_malformed.xml" << QStringList() << "eror while reading xml capture file";
        QTest::newRow("other root") << "capture_other_root.xml" << QStringList()
                                    << "recorded_frames element not found in xml";
        QTest::newRow("missing") << "nothing_here.xml" << QStringList() << "xml capture file not found";
    }

    void captureFiles()
    {
        QFETCH(QString, file);
        QFETCH(QStringList, frames);
        QFETCH(QString, logLine);
        TestHome home;
        Logger logger;
        xml_capture store(QString(GUI_TEST_DATA) + "/" + file, &logger);
        QCOMPARE(TestSupport::frameIds(store), frames);
        if (!logLine.isEmpty())
            QVERIFY(TestSupport::readLog(logger).contains(logLine));
    }

    // Large plain files are read in pieces on several threads; a document type sends the same content
    // through the reading in one pass, which must give the same frames.
    void piecesReadAsOnePass_data()
    {
        QTest::addColumn<QByteArray>("prolog");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<int>("frames");
        auto doc = [](int i, const QByteArray &inside = QByteArray(), const QByteArray &date = "2026-01-02")
        {
            return "<mbus date=\"" + date + "\" time=\"" + QByteArray::number(1767348000000LL + i) +
                   "\">\n<header><Id>" + QByteArray::number(10000000 + i) + "</Id><Type>SND-NR</Type></header>" +
                   inside + "<raw>0C</raw></mbus>\n";
        };
        QByteArray many;
        for (int i = 0; i < 2300; ++i)
            many += doc(i);
        const QByteArray declaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
        QTest::newRow("plain, comment and other element between")
            << QByteArray() << doc(1) + "<!-- a comment -->\n<other a=\"1\"><x/></other>" + doc(2) + "<other/>" + doc(3)
            << 3;
        QTest::newRow("more frames than one round of pieces") << declaration << many << 2300;
        QTest::newRow("markup inside texts and comments")
            << declaration
            << doc(1, "<note><![CDATA[</mbus><mbus>]]></note><!-- </mbus> -->") + doc(2, "", "a>b &amp; c") << 2;
        QTest::newRow("frame not well-formed") << QByteArray() << doc(1) + "<mbus><header></mbus>" + doc(2) << 0;
        QTest::newRow("comment the parser refuses") << QByteArray() << doc(1) + "<!-- a -- b -->" + doc(2) << 0;
        QTest::newRow("last frame cut off") << QByteArray() << doc(1) + "<mbus><header>" << 0;
        QTest::newRow("text between frames") << QByteArray() << doc(1) + "stray text" + doc(2) << 2;
        QTest::newRow("Latin-1 file") << QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>\n")
                                      << doc(1, "<Manufacturer>\xE9</Manufacturer>") << 1;
    }

    void piecesReadAsOnePass()
    {
        QFETCH(QByteArray, prolog);
        QFETCH(QByteArray, body);
        QFETCH(int, frames);
        TestHome home;
        auto load = [&home](const QByteArray &content)
        {
            QFile file(home.home() + "/capture.xml");
            file.open(QIODevice::WriteOnly | QIODevice::Truncate);
            file.write(content);
            file.close();
            QStringList read;
            for (const CaptureFrame &frame : xml_capture(file.fileName(), nullptr).getFrames())
                read << QString::number(frame.getData().number) + " " + QString::number(frame.getData().time) +
                            frame.getData().xml;
            return read;
        };
        const QByteArray root = "<recorded_frames>" + body + "</recorded_frames>\n";
        const QStringList inPieces = load(prolog + root);
        QCOMPARE(inPieces.size(), frames);
        QCOMPARE(inPieces, load(prolog + "<!DOCTYPE recorded_frames>\n" + root));
        if (frames > 0)
            QVERIFY(inPieces.last().startsWith(QString::number(frames) + " "));
    }

    void loadedFramesKeepTheirTime()
    {
        xml_capture store(QString(GUI_TEST_DATA) + "/capture_good.xml", nullptr);
        const QList<CaptureFrame> frames = store.getFrames();
        QCOMPARE(frames.size(), 3);
        QCOMPARE(frames[0].getData().time, Q_INT64_C(1767348000000));
        QCOMPARE(frames[0].getData().rssi, -70);
        QCOMPARE(frames[1].getData().error, QString("wrong key"));
        QCOMPARE(frames[1].getData().rssi, 65535);
        QVERIFY(frames[2].getData().time > Q_INT64_C(1767348000000));
    }

    void captureRunAgainstFakeTolvern()
    {
        TestHome home;
        Logger logger;
        const QByteArray a = MbusSamples::meter("AAAAAAAA");
        const QByteArray b = MbusSamples::meter("BBBBBBBB");
        FakeTolvern fake(home.home());
        fake.out("Tolvern version: 1.8\n" + a.left(100)).pause(200).out(a.mid(100) + b).runUntilKilled().install();
        xml_capture store(&logger);
        auto *job = new tolvern_capture(&Settings, &store, nullptr, &logger, false, false);
        QSignalSpy received(job, &tolvern_capture::ReceiveNewFrame);
        QSignalSpy end(job->process(), &tolvern_process::SendProcessEnd);
        job->process()->start();
        QTRY_COMPARE_WITH_TIMEOUT(received.size(), 2, 10000);
        QCOMPARE(TestSupport::frameIds(store), (QStringList{"1:AAAAAAAA", "2:BBBBBBBB"}));
        QCOMPARE(fake.recordedArgs().last(), QString("-l"));
        QPointer<tolvern_process> runner = job->process();
        runner->Kill();
        QTRY_VERIFY_WITH_TIMEOUT(runner.isNull(), 10000); // deletes itself once its thread has finished
        QVERIFY(end.isEmpty());
        QVERIFY(job->process() == nullptr);
        delete job;
        QCOMPARE(store.count(), 2);
    }

    void deletingAListeningJobIsSafe()
    {
        TestHome home;
        FakeTolvern(home.home()).runUntilKilled().install();
        xml_capture store(nullptr);
        auto *job = new tolvern_capture(&Settings, &store, nullptr, nullptr, false, false);
        job->process()->start();
        QTest::qWait(100);
        delete job;
    }
};

QTEST_GUILESS_MAIN(TestCapture)
#include "tst_capture.moc"
