#include "ConfigDocument.h"
#include "FakeTolvern.h"
#include "ItemValue.h"
#include "Logger.h"
#include "TemplateList.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "tolvern_config.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace
{
ConfigParam param(const QString &name, const QString &value)
{
    ConfigParam p;
    p.name = name;
    p.value = value;
    return p;
}

// Tolvern's answer to a configuration read: "Received: " and the document on the same first line.
const QByteArray ReadAnswer = "Received: <mbus date=\"2026-01-02T10:00:00\">\n"
                              "    <header>\n"
                              "        <Id>12345678</Id>\n"
                              "        <Type>RSP-UD</Type>\n"
                              "    </header>\n"
                              "    <records>\n"
                              "        <record type=\"inst\" unit=\"Firmware version\" storage=\"0\">515</record>\n"
                              "        <record type=\"inst\" unit=\"Vendor specific VIF extension\" vife=\"0x46\" "
                              "storage=\"0\">3600</record>\n"
                              "    </records>\n"
                              "    <raw>0D0E03</raw>\n"
                              "</mbus>\n";

const WMBusSettings_t Settings{"ttyUSB0", "Nc", "", "./Template"};

} // namespace

class TestConfig : public QObject
{
    Q_OBJECT
private slots:
    void exactFileText()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/config.xml";
        ConfigDocument document("zvr_water_01", {param("period", "900"), param("key", "")}, path);
        QVERIFY(document.written());
        QVERIFY(document.exists());
        QCOMPARE(document.fileName(), path);
        QCOMPARE(TestSupport::readFile(path), QByteArray("<config id=\"zvr_water_01\" hlvtb_version=\"1.2\">\n"
                                                         "\t<period>900</period>\n"
                                                         "\t<key></key>\n"
                                                         "</config>\n"));
        ConfigDocument none("my_type_01_01", {}, dir.path() + "/none.xml");
        QCOMPARE(TestSupport::readFile(dir.path() + "/none.xml"),
                 QByteArray("<config id=\"my_type_01_01\" hlvtb_version=\"1.2\">\n</config>\n"));
    }

    void specialCharactersReadBack()
    {
        QTemporaryDir dir;
        const QString path = dir.path() + "/special.xml";
        const QList<ConfigParam> params{param("a", "x < y & \"z\" 'w' >"), param("empty", ""),
                                        param("b", QString::fromUtf8("\xc3\xa9t\xc3\xa9"))};
        ConfigDocument written("id \"quoted\" & <more>", params, path);
        QVERIFY(written.written());
        ConfigDocument read(path);
        QCOMPARE(read.getId(), QString("id \"quoted\" & <more>"));
        QCOMPARE(read.getParams().size(), 3);
        for (int i = 0; i < 3; ++i)
        {
            QCOMPARE(read.getParams()[i].name, params[i].name);
            QCOMPARE(read.getParams()[i].value, params[i].value);
        }
    }

    void failedWritesAreReported()
    {
        QTemporaryDir dir;
        ConfigDocument missingDir("t", {param("a", "1")}, dir.path() + "/no/such/dir.xml");
        QVERIFY(!missingDir.written());
        QVERIFY(!missingDir.exists());
        // A name that is no element name would break the whole file: nothing is written, the old file stays.
        const QString path = dir.path() + "/kept.xml";
        TestSupport::writeFile(path, "old");
        ConfigDocument badName("t", {param("a", "1"), param("two words", "2")}, path);
        QVERIFY(!badName.written());
        QVERIFY(badName.exists()); // a file of that name is there, but it is not ours
        QCOMPARE(TestSupport::readFile(path), QByteArray("old"));
    }

    void temporaryFileGoesWithTheDocument()
    {
        QString name;
        {
            ConfigDocument document("t", {param("a", "1")}, QString());
            QVERIFY(document.written());
            name = document.fileName();
            QVERIFY(name.startsWith(QDir::tempPath() + "/"));
            QVERIFY(QFile::exists(name));
            QVERIFY(TestSupport::readFile(name).contains("\t<a>1</a>\n"));
        }
        QVERIFY(!QFile::exists(name));
    }

    void readingFiles_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("no id attribute") << QByteArray("<config><a>1</a><b/></config>") << "my_type_01_01"
                                         << QStringList{"a", "b"};
        QTest::newRow("other case of root") << QByteArray("<Config id=\"x\"><a>1</a></Config>") << "" << QStringList();
        QTest::newRow("not xml") << QByteArray("<config id=\"x\"><a>1</config>") << "" << QStringList();
        QTest::newRow("comment first") << QByteArray("<config id=\"x\"><!-- note --><a>1</a></config>") << "x"
                                       << QStringList{"a"};
        QTest::newRow("unescaped ampersand")
            << QByteArray("<config id=\"x\"><a>1 & 2</a></config>") << "" << QStringList();
    }

    void readingFiles()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, id);
        QFETCH(QStringList, names);
        QTemporaryDir dir;
        TestSupport::writeFile(dir.path() + "/c.xml", text);
        ConfigDocument document(dir.path() + "/c.xml");
        QCOMPARE(document.getId(), id);
        QStringList read;
        for (const ConfigParam &p : document.getParams())
            read << p.name;
        QCOMPARE(read, names);
        ConfigDocument missing(dir.path() + "/missing.xml");
        QVERIFY(missing.getParams().isEmpty());
        QVERIFY(!missing.exists());
    }

    void answerParameters()
    {
        QString pending;
        ConfigDocument whole(QString::fromUtf8(ReadAnswer).mid(10), &pending);
        QCOMPARE(pending, QString());
        const QList<ConfigParam> params = whole.getParams();
        QCOMPARE(params.size(), 2);
        QCOMPARE(params[0].vib, QString("0x00"));
        QCOMPARE(params[0].unit, QString("Firmware version"));
        QCOMPARE(params[0].value, QString("515"));
        QCOMPARE(params[1].vib, QString("0x46"));
        QCOMPARE(params[1].value, QString("3600"));
        QVERIFY(!whole.exists());
        QCOMPARE(whole.fileName(), QString());

        const QString text = QString::fromUtf8(ReadAnswer).mid(10);
        const int cut = text.indexOf("<record ") + 4;
        ConfigDocument first(text.left(cut), &pending);
        QVERIFY(first.getParams().isEmpty());
        QCOMPARE(pending, text.left(cut).simplified());
        ConfigDocument second(text.mid(cut), &pending);
        QCOMPARE(second.getParams().size(), 2);
        QCOMPARE(pending, QString());

        ConfigDocument two(text + " \n " + text, nullptr);
        QCOMPARE(two.getParams().size(), 4);
        ConfigDocument touching(text.trimmed() + text.trimmed(), nullptr);
        QVERIFY(touching.getParams().isEmpty());
        ConfigDocument firstRecordsOnly("<mbus><records><record>1</record><!-- x --></records>"
                                        "<records><record>2</record></records></mbus>",
                                        nullptr);
        QCOMPARE(firstRecordsOnly.getParams().size(), 1);
        QCOMPARE(firstRecordsOnly.getParams()[0].value, QString("1"));
    }

    void writeJobOutput_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QStringList>("addresses");
        QTest::addColumn<QList<bool>>("results");
        // The write job cuts at line feeds only: the address keeps the carriage return before one.
        QTest::newRow("response ok with carriage returns")
            << QList<QByteArray>{"Got address 0102030405060708\r\nResponse ok\r\n"} << QStringList{"0102030405060708\r"}
            << QList<bool>{true};
        QTest::newRow("no initial frame")
            << QList<QByteArray>{"No initial frame received!\n"} << QStringList() << QList<bool>{false};
        QTest::newRow("response error") << QList<QByteArray>{"Got address 0102030405060708\n",
                                                             "x.cpp:12 Response error! resp: 01 02 , req: 01 03 \n"}
                                        << QStringList{"0102030405060708"} << QList<bool>{false};
        QTest::newRow("line cut between chunks")
            << QList<QByteArray>{"Got addr", "ess 0102030405060708\r", "\nResp", "onse ok\n"}
            << QStringList{"0102030405060708\r"} << QList<bool>{true};
    }

    void writeJobOutput()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QStringList, addresses);
        QFETCH(QList<bool>, results);
        TestHome home;
        tolvern_config job(&Settings, "t", nullptr, nullptr, false);
        QSignalSpy connected(&job, &tolvern_config::Connected);
        QSignalSpy done(&job, &tolvern_config::ConfigDone);
        for (const QByteArray &chunk : chunks)
            job.handleWriteOutput(QString::fromUtf8(chunk));
        QStringList seen;
        for (const QList<QVariant> &call : connected)
            seen << call.at(0).toString();
        QCOMPARE(seen, addresses);
        QCOMPARE(TestSupport::values<bool>(done), results);
    }

    void readJobOutput_data()
    {
        QTest::addColumn<QList<QByteArray>>("chunks");
        QTest::addColumn<QList<int>>("donePerChunk");
        QTest::addColumn<QList<bool>>("results");
        QTest::addColumn<int>("params");
        const int cut = ReadAnswer.indexOf("<record ") + 4;
        QByteArray crlf = "Got address 0102030405060708\n" + ReadAnswer;
        crlf.replace("\n", "\r\n");
        QTest::newRow("answer in one piece") << QList<QByteArray>{"Got address 0102030405060708\n" + ReadAnswer}
                                             << QList<int>{1} << QList<bool>{true} << 2;
        QTest::newRow("answer cut inside a tag") << QList<QByteArray>{ReadAnswer.left(cut), ReadAnswer.mid(cut)}
                                                 << QList<int>{0, 1} << QList<bool>{true} << 2;
        QTest::newRow("carriage returns") << QList<QByteArray>{crlf} << QList<int>{1} << QList<bool>{true} << 2;
        QTest::newRow("no initial frame")
            << QList<QByteArray>{"Start\nNo initial frame received!\n"} << QList<int>{1} << QList<bool>{false} << -1;
        QTest::newRow("answer without records") << QList<QByteArray>{"Received: <mbus><records></records></mbus>\n"}
                                                << QList<int>{1} << QList<bool>{false} << 0;
        QTest::newRow("log lines only") << QList<QByteArray>{"Got address 0102030405060708\n", "Sent request\n"}
                                        << QList<int>{0, 0} << QList<bool>{} << -1;
    }

    void readJobOutput()
    {
        QFETCH(QList<QByteArray>, chunks);
        QFETCH(QList<int>, donePerChunk);
        QFETCH(QList<bool>, results);
        QFETCH(int, params);
        TestHome home;
        tolvern_config job(&Settings, "t", nullptr, nullptr, false);
        QSignalSpy connected(&job, &tolvern_config::Connected);
        QSignalSpy done(&job, &tolvern_config::ConfigDone);
        QList<int> counts;
        for (const QByteArray &chunk : chunks)
        {
            const int before = done.size();
            job.handleReadOutput(QString::fromUtf8(chunk));
            counts << done.size() - before;
        }
        QCOMPARE(counts, donePerChunk);
        QCOMPARE(TestSupport::values<bool>(done), results);
        if (params < 0)
            QVERIFY(job.document() == nullptr);
        else
            QCOMPARE(job.document()->getParams().size(), params);
        for (const QList<QVariant> &call : connected)
            QCOMPARE(call.at(0).toString(), QString("0102030405060708"));
    }

    void runWithoutAnswerFails()
    {
        TestHome home;
        tolvern_config reader(&Settings, "t", nullptr, nullptr, false);
        QSignalSpy readDone(&reader, &tolvern_config::ConfigDone);
        reader.handleReadOutput("Got address 0102030405060708\n");
        reader.handleEnd();
        QCOMPARE(TestSupport::values<bool>(readDone), QList<bool>{false});

        tolvern_config answered(&Settings, "t", nullptr, nullptr, false);
        QSignalSpy answeredDone(&answered, &tolvern_config::ConfigDone);
        answered.handleReadOutput(QString::fromUtf8(ReadAnswer));
        answered.handleEnd();
        QCOMPARE(TestSupport::values<bool>(answeredDone), QList<bool>{true});

        tolvern_config writer(&Settings, "t", nullptr, nullptr, false);
        QSignalSpy writeDone(&writer, &tolvern_config::ConfigDone);
        writer.handleWriteOutput("Got address 0102030405060708\nResponse ok"); // last line without its end
        writer.handleEnd();
        QCOMPARE(TestSupport::values<bool>(writeDone), QList<bool>{true});
    }

    void readRunAgainstFakeTolvern()
    {
        TestHome home;
        Logger logger;
        FakeTolvern fake(home.home());
        fake.out("Got address 0102030405060708\n" + ReadAnswer.left(200)).pause(150).out(ReadAnswer.mid(200)).install();
        auto *job = new tolvern_config(&Settings, "my id", nullptr, &logger, false);
        QSignalSpy connected(job, &tolvern_config::Connected);
        QSignalSpy done(job, &tolvern_config::ConfigDone);
        job->ReadConfig("/tmp/with blank.xml");
        QVERIFY(job->isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(!job->isRunning(), 10000);
        QCOMPARE(TestSupport::values<bool>(done), QList<bool>{true});
        QCOMPARE(connected.size(), 1);
        QCOMPARE(job->document()->getParams().size(), 2);
        QCOMPARE(fake.recordedArgs().mid(4), QStringList({"--type", "ZVR169", "--mode", "n", "--channel", "3", "--id",
                                                          "my id", "-r", "/tmp/with blank.xml"}));
        delete job;
        QVERIFY(TestSupport::readLog(logger).contains("end with( TolvernRunning =0 )"));
    }

    void writeRunWithFailingTolvern()
    {
        TestHome home;
        FakeTolvern fake(home.home());
        fake.out("Request failed: Cannot load xml file\n").exitCode(1).install();
        WMBusSettings_t t{"ttyUSB0", "T", "", "./Template"};
        tolvern_config job(&t, "id", nullptr, nullptr, false);
        QSignalSpy done(&job, &tolvern_config::ConfigDone);
        QSignalSpy end(job.process(), &tolvern_process::SendProcessEnd);
        job.WriteConfig("/tmp/c.xml");
        QTRY_VERIFY_WITH_TIMEOUT(!job.isRunning(), 10000);
        QCOMPARE(TestSupport::values<bool>(done), QList<bool>{false});
        QCOMPARE(end.size(), 1);
        QCOMPARE(end.at(0).at(0).toInt(), 1);
        QCOMPARE(fake.recordedArgs().mid(4),
                 QStringList({"--type", "ZVR868", "--mode", "loc", "--id", "id", "-w", "/tmp/c.xml"}));
    }

    void destroyingJobs()
    {
        TestHome home;
        Logger logger;
        delete new tolvern_config(&Settings, "t", nullptr, &logger, false);
        QVERIFY(TestSupport::readLog(logger).contains("end with( TolvernRunning =0 )"));

        FakeTolvern(home.home()).out("Got address 0102030405060708\n").runUntilKilled().install();
        auto *job = new tolvern_config(&Settings, "t", nullptr, &logger, false);
        QSignalSpy connected(job, &tolvern_config::Connected);
        QSignalSpy done(job, &tolvern_config::ConfigDone);
        job->ReadConfig("/tmp/c.xml");
        QTRY_COMPARE_WITH_TIMEOUT(connected.size(), 1, 10000);
        delete job;
        QVERIFY(TestSupport::readLog(logger).contains("end with( TolvernRunning =1 )"));
        QVERIFY(TestSupport::readLog(logger).contains("Kill process"));
        QVERIFY(done.isEmpty());
    }

    void templateList()
    {
        QTemporaryDir dir;
        auto item = [](const QByteArray &name, const QByteArray &extra = QByteArray())
        {
            return "<config><name>" + name + "</name><pretty_name>P " + name +
                   "</pretty_name><description>D</description><vib>0xFD0E</vib><dib>0x0D</dib>"
                   "<access_right>rw</access_right><validation><min>1</min><max>9</max><regex>[0-9]+</regex>"
                   "</validation><section>S</section>" +
                   extra + "</config>";
        };
        auto file = [&](const QString &name, const QByteArray &id, const QByteArray &items)
        {
            TestSupport::writeFile(dir.path() + "/" + name, "<template>\n  <id>" + id + "</id>\n  <configs>\n" + items +
                                                                "\n  </configs>\n</template>\n");
        };
        file("b.xml", "type_b", item("one") + "\n" + item("two"));
        file("A.XML", "type_a",
             "<config><section>R</section><validation><regex>x</regex><max>2</max><min>1</min></validation>"
             "<access_right>ro</access_right><dib>d</dib><vib>v</vib><description>d</description>"
             "<pretty_name>p</pretty_name><name>rev</name></config><config><name>plain</name></config>");
        file("c.Xml", "type_b", item("a") + item("b") + "<!-- cut -->" + item("c") + item("d") + item("e"));
        file("d.txt", "type_d", item("x"));
        file("e.xml", "type_e", "");
        TestSupport::writeFile(dir.path() + "/f.xml",
                               "<template><configs>" + item("x") + "</configs><id>type_f</id></template>");
        TestSupport::writeFile(dir.path() + "/g.xml",
                               "<template><!-- c --><id>g</id><configs>" + item("x") + "</configs></template>");
        TestSupport::writeFile(dir.path() + "/h.xml", "<template><id>h</id>");
        TestSupport::writeFile(dir.path() + "/i.xml", "<other/>");
        QDir(dir.path()).mkdir("sub.xml");

        TemplateList list(dir.path());
        QVERIFY(list.isOk());
        const QList<ConfigTemplate> templates = list.getTemplates();
        QStringList ids;
        for (const ConfigTemplate &t : templates)
            ids << t.id;
        QCOMPARE(ids, QStringList({"type_a", "type_b", "type_b"}));
        const ConfigParam rev = templates[0].params[0];
        QCOMPARE(rev.name, QString("rev"));
        QCOMPARE(rev.pretty_name, QString("p"));
        QCOMPARE(rev.description, QString("d"));
        QCOMPARE(rev.vib, QString("v"));
        QCOMPARE(rev.dib, QString("d"));
        QCOMPARE(rev.access_right, QString("ro"));
        QCOMPARE(rev.min, QString("1"));
        QCOMPARE(rev.max, QString("2"));
        QCOMPARE(rev.regex, QString("x"));
        QCOMPARE(rev.section, QString("R"));
        QCOMPARE(rev.unit, QString());
        QCOMPARE(rev.value, QString());
        const ConfigParam plain = templates[0].params[1];
        QCOMPARE(plain.min + plain.max + plain.regex, QString());
        QCOMPARE(templates[1].params.size(), 2);
        QCOMPARE(templates[1].params[0].vib, QString("0xFD0E"));
        QCOMPARE(templates[2].params.size(), 2); // the comment ends the items, as in Tolvern's reader
        QVERIFY(list.getProblems().isEmpty());
    }

    // A field is read whole, text and character data joined, as Tolvern reads it. Where Tolvern takes what it
    // sends, anything else inside leaves the template out, with why; what only the page shows is its text.
    void templateFieldsReadWhole()
    {
        QTemporaryDir dir;
        auto file = [&](const QString &name, const QByteArray &id, const QByteArray &items)
        {
            TestSupport::writeFile(dir.path() + "/" + name,
                                   "<template><id>" + id + "</id><configs>" + items + "</configs></template>");
        };
        auto item = [](const QByteArray &name, const QByteArray &vib, const QByteArray &rest = QByteArray())
        { return "<config><name>" + name + "</name><vib>" + vib + "</vib><dib>0x02</dib>" + rest + "</config>"; };
        file("a_split.xml", "split",
             item("period", "0xFF<![CDATA[3A]]>",
                  "<description>Seconds <!-- why --> between<![CDATA[ frames]]></description>"
                  "<validation><max>6<![CDATA[5535]]></max></validation>"));
        file("b_vib_comment.xml", "vib_comment", item("period", "0xFF3A<!-- old: 0xFF3B -->"));
        file("c_name_element.xml", "name_element", item("mode<b/>", "0xFF0E"));
        file("d_id_comment.xml", "zv_<!-- c -->sensor", item("mode", "0xFF0E"));
        file("e_twice.xml", "twice", item("mode", "0xFF0E") + item("power", "0xFF3B") + item("mode", "0xFF0F"));
        TemplateList list(dir.path());
        const QList<ConfigTemplate> templates = list.getTemplates();
        QCOMPARE(templates.size(), 2);
        QCOMPARE(templates[0].id, QString("split"));
        QCOMPARE(templates[0].file, dir.path() + "/a_split.xml");
        QCOMPARE(templates[0].params[0].vib, QString("0xFF3A"));
        QCOMPARE(templates[0].params[0].description, QString("Seconds  between frames"));
        QCOMPARE(templates[0].params[0].max, QString("65535"));
        QCOMPARE(templates[1].id, QString("twice"));
        QCOMPARE(list.getProblems(),
                 QStringList({"Template file " + dir.path() +
                                  "/b_vib_comment.xml, item period: vib holds a comment "
                                  "besides its text",
                              "Template file " + dir.path() +
                                  "/c_name_element.xml, item mode: name holds an element "
                                  "<b> besides its text",
                              "Template file " + dir.path() + "/d_id_comment.xml, id holds a comment besides its text",
                              "Config item mode is named twice in " + dir.path() + "/e_twice.xml"}));
    }

    // Tolvern writes an item's value as plain binary of its length; the decoder prints what comes back as a
    // meter's value, mostly signed. Each length reads back as written, and as signed where min is negative.
    void itemValuesReadAsWritten_data()
    {
        QTest::addColumn<QString>("dib");
        QTest::addColumn<QString>("decoded");
        QTest::addColumn<bool>("signedItem");
        QTest::addColumn<QString>("shown");
        QTest::newRow("1 byte 200") << "0x01"
                                    << "-56" << false << "200";
        QTest::newRow("1 byte 255") << "0x01"
                                    << "-1" << false << "255";
        QTest::newRow("1 byte 127") << "0x01"
                                    << "127" << false << "127";
        QTest::newRow("1 byte signed -56") << "0x01"
                                           << "-56" << true << "-56";
        QTest::newRow("1 byte signed, decoder unsigned") << "0x01"
                                                         << "200" << true << "-56";
        QTest::newRow("2 bytes 54321") << "0x02"
                                       << "-11215" << false << "54321";
        QTest::newRow("2 bytes signed -300") << "0x02"
                                             << "-300" << true << "-300";
        QTest::newRow("3 bytes max") << "0x03"
                                     << "-1" << false << "16777215";
        QTest::newRow("3 bytes sign-extended %u") << "0x03"
                                                  << "4294967295" << false << "16777215";
        QTest::newRow("3 bytes signed, sign-extended %u") << "0x03"
                                                          << "4294967295" << true << "-1";
        QTest::newRow("4 bytes max") << "0x04"
                                     << "-1" << false << "4294967295";
        QTest::newRow("4 bytes 86400") << "0x04"
                                       << "86400" << false << "86400";
        QTest::newRow("6 bytes") << "0x06"
                                 << "-2" << false << "281474976710654";
        QTest::newRow("8 bytes") << "0x07"
                                 << "-1" << false << "18446744073709551615";
        QTest::newRow("8 bytes signed") << "0x07"
                                        << "-1" << true << "-1";
        QTest::newRow("DIFE and storage bits") << "0x4180"
                                               << "-56" << false << "200";
        QTest::newRow("decimal dib") << "1"
                                     << "-56" << false << "200";
        QTest::newRow("leading zeros") << "0x02"
                                       << "0042" << false << "42";
        QTest::newRow("BCD untouched") << "0x0A"
                                       << "-1" << false << "-1";
        QTest::newRow("real untouched") << "0x05"
                                        << "-1.500000" << false << "-1.500000";
        QTest::newRow("variable length untouched") << "0x0D"
                                                   << "00FF" << false << "00FF";
        QTest::newRow("no number untouched") << "0x01"
                                             << "abc" << false << "abc";
        QTest::newRow("dib no number") << "0X01"
                                       << "-56" << false << "-56";
        QTest::newRow("no dib") << ""
                                << "-56" << false << "-56";
    }

    void itemValuesReadAsWritten()
    {
        QFETCH(QString, dib);
        QFETCH(QString, decoded);
        QFETCH(bool, signedItem);
        QFETCH(QString, shown);
        QCOMPARE(ItemValue::asWritten(decoded, ItemValue::integerLength(dib), signedItem), shown);
    }

    void negativeMinimum()
    {
        QVERIFY(ItemValue::allowsNegative("-100"));
        QVERIFY(ItemValue::allowsNegative(" -1 "));
        QVERIFY(!ItemValue::allowsNegative("0"));
        QVERIFY(!ItemValue::allowsNegative(""));
        QVERIFY(!ItemValue::allowsNegative("-x"));
    }

    void templateListWithoutTemplates()
    {
        TemplateList missing("/no/such/template/dir");
        QVERIFY(!missing.isOk());
        QVERIFY(missing.getTemplates().isEmpty());
        QTemporaryDir dir;
        TestSupport::writeFile(dir.path() + "/empty.xml", "<template><id>e</id><configs></configs></template>");
        QVERIFY(!TemplateList(dir.path()).isOk());
    }
};

QTEST_GUILESS_MAIN(TestConfig)
#include "tst_config.moc"
