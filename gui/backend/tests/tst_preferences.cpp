#include "GuiMessage.h"
#include "TestHome.h"
#include "TestSupport.h"
#include "xml_preferences.h"

#include <QFile>
#include <QtTest>

namespace
{
void writePrefs(const TestHome &home, const QByteArray &text)
{
    TestSupport::writeFile(home.prefsDir() + "/Prefs.xml", text);
}

QStringList numbered(const QString &prefix, int count)
{
    QStringList list;
    for (int i = 1; i <= count; ++i)
        list << prefix + QString::number(i);
    return list;
}

const char *const DefaultFile = "<preferences hlvtb_version=\"1.2\">\n"
                                " <WMBus>\n"
                                "  <port>----</port>\n"
                                "  <mode>Nc</mode>\n"
                                "  <aes>5E0B93C7A4D21F86E37A0C5B9D4F2816</aes>\n"
                                "  <template>./Template</template>\n"
                                " </WMBus>\n"
                                " <Gui>\n"
                                "  <LastTab>1</LastTab>\n"
                                "  <AutoKill>1</AutoKill>\n"
                                "  <geometry>\n"
                                "   <X>0</X>\n"
                                "   <Y>0</Y>\n"
                                "   <W>0</W>\n"
                                "   <H>0</H>\n"
                                "  </geometry>\n"
                                "  <files>\n"
                                "   <config/>\n"
                                "   <firmware/>\n"
                                "   <capture/>\n"
                                "  </files>\n"
                                "  <capture>\n"
                                "   <FramesHiddenColumns/>\n"
                                "   <ModulesHiddenColumns/>\n"
                                "   <Filters/>\n"
                                "  </capture>\n"
                                "  <RadioTest>\n"
                                "   <Count>1</Count>\n"
                                "   <Duration>15</Duration>\n"
                                "  </RadioTest>\n"
                                " </Gui>\n"
                                "</preferences>\n";
} // namespace

class TestPreferences : public QObject
{
    Q_OBJECT
private slots:
    void firstStartWritesDefaults()
    {
        TestHome home;
        TestSupport::DebugCapture debug;
        xml_preferences prefs;
        debug.stop();
        QVERIFY(debug.lines().contains("Preferences path do not exist"));
        QVERIFY(debug.lines().contains("Preferences file do not exist"));
        QCOMPARE(QString::fromUtf8(TestSupport::readFile(home.prefsDir() + "/Prefs.xml")), QString(DefaultFile));
        QCOMPARE(prefs.wmbus.getPort(), QString("----"));
        QVERIFY(!prefs.wmbus.isPortSet());
        QCOMPARE(prefs.gui.getRadioTestDuration(), 15);
        QVERIFY(prefs.gui.getAutoKill());
        QCOMPARE(prefs.wmbus.getPortList().value(0), QString("----"));
        QCOMPARE(PrefsWMBus::getModeList(), QStringList({"T", "S", "Na", "Nb", "Nc", "Nd", "Ne", "Nf"}));
    }

    void writeAndReadBack()
    {
        TestHome home;
        {
            xml_preferences prefs;
            prefs.wmbus.setPort("ttyUSB0", true);
            prefs.wmbus.setMode("T");
            prefs.wmbus.setAes("");
            prefs.wmbus.setTemplate("/opt/my templates");
            prefs.gui.setLastTab(-2);
            prefs.gui.setGeometry(10, -20, 800, 600);
            prefs.gui.setConfigFile("/tmp/a & b <c>.xml");
            prefs.gui.setFirmwareFile("fw.bin");
            prefs.gui.setCaptureFile("cap.xml");
            prefs.gui.setRadioTestCount(3);
            prefs.gui.setRadioTestDuration(20);
            prefs.gui.addFramesHiddenColumn("Time");
            prefs.gui.addFramesHiddenColumn("Rssi");
            prefs.gui.addModulesHiddenColumn("Id");
            prefs.gui.addFilter("old");
            prefs.gui.addFilter("new");
            QVERIFY(prefs.save());
        }
        xml_preferences again;
        QCOMPARE(again.wmbus.getPort(), QString("ttyUSB0"));
        QVERIFY(again.wmbus.isPortSet());
        QCOMPARE(again.wmbus.getMode(), QString("T"));
        QCOMPARE(again.wmbus.getAes(), QString());
        QCOMPARE(again.wmbus.getTemplate(), QString("/opt/my templates"));
        QCOMPARE(again.gui.getLastTab(), -2);
        QCOMPARE(again.gui.getX(), 10);
        QCOMPARE(again.gui.getY(), -20);
        QCOMPARE(again.gui.getW(), 800);
        QCOMPARE(again.gui.getH(), 600);
        QCOMPARE(again.gui.getConfigFile(), QString("/tmp/a & b <c>.xml"));
        QCOMPARE(again.gui.getFirmwareFile(), QString("fw.bin"));
        QCOMPARE(again.gui.getCaptureFile(), QString("cap.xml"));
        QCOMPARE(again.gui.getRadioTestCount(), 3);
        QCOMPARE(again.gui.getRadioTestDuration(), 20);
        QCOMPARE(again.gui.getFramesHiddenColumns(), QStringList({"Time", "Rssi"}));
        QCOMPARE(again.gui.getModulesHiddenColumns(), QStringList({"Id"}));
        QCOMPARE(again.gui.getFilters(), QStringList({"new", "old"}));
    }

    void savingTwiceGivesTheSameFile()
    {
        TestHome home;
        xml_preferences prefs;
        prefs.gui.addFilter("a == 1");
        prefs.save();
        const QByteArray first = TestSupport::readFile(prefs.filePath());
        prefs.save();
        QCOMPARE(TestSupport::readFile(prefs.filePath()), first);
    }

    void readerIsLenient()
    {
        TestHome home;
        writePrefs(home, "<preferences>"
                         " <Other><port>ignored</port></Other>"
                         " <Gui>"
                         "  <RadioTest><Duration>30</Duration><Count>x</Count></RadioTest>"
                         "  <AutoKill>yes</AutoKill>"
                         "  <LastTab>-2</LastTab>"
                         "  <geometry><H>5</H><X>   </X><W>4O</W></geometry>"
                         "  <FramesHiddenColumns><name>Outside</name></FramesHiddenColumns>"
                         "  <capture><ModulesHiddenColumns><name>Id</name><name>Id</name></ModulesHiddenColumns>"
                         "  </capture>"
                         " </Gui>"
                         " <WMBus><template>T</template><port/></WMBus>"
                         "</preferences>");
        xml_preferences prefs;
        QCOMPARE(prefs.wmbus.getTemplate(), QString("T"));
        QCOMPARE(prefs.wmbus.getMode(), QString("Nc")); // missing: default stays
        QCOMPARE(prefs.wmbus.getPort(), QString());
        QVERIFY(prefs.wmbus.isPortSet()); // an empty port counts as chosen
        QCOMPARE(prefs.gui.getRadioTestDuration(), 30);
        QCOMPARE(prefs.gui.getRadioTestCount(), 0); // not a number
        QVERIFY(!prefs.gui.getAutoKill());
        QCOMPARE(prefs.gui.getLastTab(), -2);
        QCOMPARE(prefs.gui.getH(), 5);
        QCOMPARE(prefs.gui.getX(), 0);                         // blanks only
        QCOMPARE(prefs.gui.getW(), 0);                         // a letter O among the digits
        QVERIFY(prefs.gui.getFramesHiddenColumns().isEmpty()); // only inside capture
        QCOMPARE(prefs.gui.getModulesHiddenColumns(), QStringList({"Id", "Id"}));
        prefs.save();
        QCOMPARE(prefs.gui.getModulesHiddenColumns(), QStringList({"Id"}));
        xml_preferences again;
        QCOMPARE(again.gui.getModulesHiddenColumns(), QStringList({"Id"}));
    }

    void commentsDoNotHideLaterSettings()
    {
        TestHome home;
        writePrefs(home, "<preferences hlvtb_version=\"1.2\">\n"
                         " <WMBus><!-- chosen by hand --><mode>Nd</mode></WMBus>\n"
                         " <!-- the GUI part -->\n"
                         " <Gui><LastTab>2</LastTab></Gui>\n"
                         "</preferences>\n");
        xml_preferences prefs;
        QCOMPARE(prefs.wmbus.getMode(), QString("Nd"));
        QCOMPARE(prefs.gui.getLastTab(), 2);
    }

    void portElementSetsTheChosenFlag_data()
    {
        QTest::addColumn<QByteArray>("wmbus");
        QTest::addColumn<bool>("set");
        QTest::newRow("no port chosen") << QByteArray("<port>----</port>") << false;
        QTest::newRow("a port") << QByteArray("<port>ttyS1</port>") << true;
        QTest::newRow("no port element") << QByteArray("<mode>S</mode>") << false;
    }

    void portElementSetsTheChosenFlag()
    {
        QFETCH(QByteArray, wmbus);
        QFETCH(bool, set);
        TestHome home;
        writePrefs(home, "<preferences><WMBus>" + wmbus + "</WMBus></preferences>");
        xml_preferences prefs;
        QCOMPARE(prefs.wmbus.isPortSet(), set);
    }

    void missingPartsKeepTheirValues()
    {
        TestHome home;
        xml_preferences prefs;
        prefs.gui.addFilter("kept?");
        prefs.gui.setRadioTestCount(4);
        // No Gui at all: every Gui value stays, the lists included.
        writePrefs(home, "<preferences><WMBus><mode>S</mode></WMBus></preferences>");
        prefs.read();
        QCOMPARE(prefs.wmbus.getMode(), QString("S"));
        QCOMPARE(prefs.gui.getFilters(), QStringList({"kept?"}));
        QCOMPARE(prefs.gui.getRadioTestCount(), 4);
        // Gui without capture: the lists are emptied, RadioTest missing keeps its values.
        writePrefs(home, "<preferences><Gui><LastTab>0</LastTab></Gui></preferences>");
        prefs.read();
        QVERIFY(prefs.gui.getFilters().isEmpty());
        QCOMPARE(prefs.gui.getRadioTestCount(), 4);
    }

    void badFilesResetToDefaults_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("not xml") << QByteArray("<preferences><Gui>") << "Xml prefereneces read failed: ";
        QTest::newRow("empty") << QByteArray() << "Xml prefereneces read failed: ";
        QTest::newRow("other root") << QByteArray("<settings/>") << "not a preferences file";
    }

    void badFilesResetToDefaults()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        TestHome home;
        xml_preferences prefs;
        prefs.wmbus.setPort("ttyS0", true);
        prefs.wmbus.setMode("S");
        prefs.gui.setLastTab(2);
        prefs.gui.setCaptureFile("kept.xml");
        writePrefs(home, text);
        TestSupport::DebugCapture debug;
        prefs.read();
        debug.stop();
        QVERIFY(!debug.lines().isEmpty());
        QVERIFY(debug.lines()[0].startsWith(message));
        QCOMPARE(prefs.wmbus.getPort(), QString("----"));
        QCOMPARE(prefs.wmbus.getMode(), QString("Nc"));
        QCOMPARE(prefs.gui.getLastTab(), 1);
        QVERIFY(prefs.wmbus.isPortSet());                          // the flag is not a default
        QCOMPARE(prefs.gui.getCaptureFile(), QString("kept.xml")); // nor are the files
        QCOMPARE(TestSupport::readFile(prefs.filePath()), text);   // and the reader writes nothing
    }

    void filterHistory()
    {
        PrefsGui gui;
        for (const QString &f : numbered("f", 10))
            gui.addFilter(f);
        QCOMPARE(gui.getFilters().size(), 10);
        gui.addFilter("f11");
        QCOMPARE(gui.getFilters().size(), 10);
        QCOMPARE(gui.getFilters().first(), QString("f11"));
        QVERIFY(!gui.getFilters().contains("f1"));
        // An entry added again stands twice until the next save merges it.
        const QString third = gui.getFilters().at(2);
        gui.addFilter(third);
        QCOMPARE(gui.getFilters().count(third), 2);
        QCOMPARE(gui.getFilters().size(), 10);
        QDomDocument document;
        QDomElement root = document.createElement("preferences");
        gui.writeXml(document, root);
        QCOMPARE(gui.getFilters().count(third), 1);
        QCOMPARE(gui.getFilters().first(), third);
        QCOMPARE(gui.getFilters().size(), 9);
    }

    void longHistoryFromFileShrinksByOne()
    {
        TestHome home;
        QByteArray filters;
        for (const QString &f : numbered("f", 12))
            filters += "<filter>" + f.toUtf8() + "</filter>";
        writePrefs(home, "<preferences><Gui><capture><Filters>" + filters + "</Filters></capture></Gui></preferences>");
        xml_preferences prefs;
        QCOMPARE(prefs.gui.getFilters().size(), 12);
        prefs.gui.addFilter("new");
        QCOMPARE(prefs.gui.getFilters().size(), 12);
        QCOMPARE(prefs.gui.getFilters().first(), QString("new"));
        QCOMPARE(prefs.gui.getFilters().last(), QString("f11"));
    }

    void hiddenColumns()
    {
        PrefsGui gui;
        gui.addFramesHiddenColumn("Time");
        gui.addFramesHiddenColumn("Id");
        gui.addFramesHiddenColumn("Time");
        QCOMPARE(gui.getFramesHiddenColumns(), QStringList({"Time", "Id"}));
        gui.removeFramesHiddenColumn("time"); // case matters
        gui.removeFramesHiddenColumn("Missing");
        QCOMPARE(gui.getFramesHiddenColumns(), QStringList({"Time", "Id"}));
        gui.removeFramesHiddenColumn("Time");
        QCOMPARE(gui.getFramesHiddenColumns(), QStringList({"Id"}));
        gui.addModulesHiddenColumn("Rssi");
        gui.removeModulesHiddenColumn("Rssi");
        QVERIFY(gui.getModulesHiddenColumns().isEmpty());
    }

    void assignmentCopiesValues()
    {
        TestHome home;
        xml_preferences a;
        xml_preferences b;
        WMBusSettings_t *live = b.wmbus.data();
        a.wmbus.setMode("Nf");
        a.gui.addFilter("x");
        b = a;
        QCOMPARE(live->mode, QString("Nf"));
        a.wmbus.setMode("S");
        a.gui.addFilter("y");
        QCOMPARE(b.wmbus.getMode(), QString("Nf"));
        QCOMPARE(b.gui.getFilters(), QStringList({"x"}));
        b.setWMBus(a.wmbus);
        QCOMPARE(live->mode, QString("S"));
    }

    void failedSaveKeepsTheValues()
    {
        TestHome home;
        xml_preferences prefs;
        QFile::remove(prefs.filePath());
        QDir().mkpath(prefs.filePath()); // Prefs.xml is a folder now: it cannot be replaced
        prefs.gui.setLastTab(2);
        QStringList shown;
        const GuiMessage::Handler previous = GuiMessage::setHandler([&shown](const QString &title, const QString &text)
                                                                    { shown << title + "|" + text; });
        QVERIFY(!prefs.save());
        GuiMessage::setHandler(previous);
        QCOMPARE(shown, QStringList{"Erreur|Impossible d'ouvrir le ficher XML"});
        QCOMPARE(prefs.gui.getLastTab(), 2);
        QVERIFY(QFileInfo(prefs.filePath()).isDir());
    }

    void unwritableFileKeepsOldContent()
    {
        TestHome home;
        xml_preferences prefs;
        const QByteArray before = TestSupport::readFile(prefs.filePath());
        QFile::setPermissions(home.prefsDir(), QFile::ReadOwner | QFile::ExeOwner);
        prefs.gui.setLastTab(0);
        const bool saved = prefs.save();
        QFile::setPermissions(home.prefsDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (saved)
            QSKIP("running with rights that ignore directory permissions");
        QCOMPARE(TestSupport::readFile(prefs.filePath()), before);
        QCOMPARE(prefs.gui.getLastTab(), 0);
    }
};

QTEST_GUILESS_MAIN(TestPreferences)
#include "tst_preferences.moc"
