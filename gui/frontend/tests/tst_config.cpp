// The module-configuration page: parameter tree, configuration files, parameter access, information read.
#include "ConfigDocument.h"
#include "Dialog_DongleOperation.h"
#include "FakeTolvern.h"
#include "MainWindow.h"
#include "WindowFixture.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QtTest>
#include <memory>

namespace
{
QStringList collectedNames(MainWindow *window, bool validate)
{
    QStringList names;
    for (const ConfigParam &param : window->CollectParams(validate))
        names << param.name;
    return names;
}

QString writeConfig(const QString &path, const QByteArray &id, const QList<QPair<QByteArray, QByteArray>> &params)
{
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("<config id=\"" + id + "\" hlvtb_version=\"1.2\">\n");
    for (const auto &param : params)
        file.write("<" + param.first + ">" + param.second + "</" + param.first + ">\n");
    file.write("</config>\n");
    return path;
}

// One template item; the validation element is left out when empty.
QByteArray templateItem(const QByteArray &name, const QByteArray &vib, const QByteArray &section = "Radio",
                        const QByteArray &validation = QByteArray())
{
    return "<config><name>" + name + "</name><pretty_name>" + name + "</pretty_name><description>" + name +
           "</description><vib>" + vib + "</vib><dib>0x01</dib><access_right>rw</access_right>" +
           (validation.isEmpty() ? QByteArray() : "<validation>" + validation + "</validation>") + "<section>" +
           section + "</section></config>";
}

// A template directory of the test's own in the window's preferences.
QString useTemplates(WindowFixture &fixture, const QList<QPair<QByteArray, QByteArray>> &idsAndItems)
{
    const QString dir = fixture.home() + "/templates";
    QDir().mkpath(dir);
    for (const auto &entry : idsAndItems)
    {
        QFile file(dir + "/" + entry.first + ".xml");
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("<template><id>" + entry.first + "</id><configs>" + entry.second + "</configs></template>");
    }
    fixture.writePrefs([dir](xml_preferences &prefs) { prefs.wmbus.setTemplate(dir); });
    return dir;
}

QStringList moduleTypes(MainWindow *window)
{
    QStringList types;
    for (int i = 0; i < window->form()->comboBox_ModuleType->count(); ++i)
        types << window->form()->comboBox_ModuleType->itemText(i);
    return types;
}

// The answer of a configuration read as Tolvern prints it.
QByteArray readAnswer(const QByteArray &records)
{
    return "Got address a1b2c3d4e5f60107\nReceived: <mbus date=\"2026-01-02T10:00:00\">\n"
           "    <header>\n        <Id>d4c3b2a1</Id>\n        <Type>RSP-UD</Type>\n    </header>\n"
           "    <records>\n" +
           records + "    </records>\n</mbus>\n";
}

// Presses the operation dialog's OK once it offers it, or Cancel when asked to.
void answerOperation(const QString &button, QString *status = nullptr)
{
    whenModalShown(
        [button, status](QWidget *dialog)
        {
            auto *ok = dialog->findChild<QPushButton *>("pushButton_Ok");
            if (button == "pushButton_Ok")
                (void)QTest::qWaitFor([ok] { return ok->isEnabled(); }, 5000);
            else
                (void)QTest::qWaitFor(
                    [dialog] {
                        return dialog->findChild<QLabel *>("label_moduleActivation")->text() !=
                               "Please activate the module";
                    },
                    3000);
            if (status)
                *status = dialog->findChild<QLabel *>("label_moduleActivation")->text();
            dialog->findChild<QPushButton *>(button)->click();
        });
}
} // namespace

class ConfigTest : public QObject
{
    Q_OBJECT
private slots:
    void treeShowsTemplateBySection();
    void doubleClickEditsOnlyWritableValues();
    void validation_data();
    void validation();
    void rejectedEditFallsBackToLastValue();
    void atMostTwelveTicked();
    void collectWithValidationLeavesOutBadRows();
    void typeChangeAsksToSaveChanges();
    void typeChangeSavesTheConfigurationLeft();
    void exitAsksAboutAnEditedConfiguration();
    void itemNamedTwiceInTemplate();
    void templateTextReadWhole();
    void saveAndOpenConfiguration();
    void openRefusesBadFiles();
    void openTicksAtMostTwelve();
    void storedConfigurationLoadedAtStartUp();
    void unwritableConfigurationIsReported();
    void readRefusedForWriteOnlyAndEmptyLists();
    void readFillsTreeFromAnswer();
    void readAgainAsksWithoutTheValuesShown();
    void writeSendsTickedValues();
    void writeIsAllOrNothing();
    void failedAccessShowsExitCodeAndFreesModem();
    void closingDialogEndsAccess();
    void informationReadDecodesAnswer();
    void informationReadCancelAndTimeOut();
    void informationReadLeftByWindowCloseThenTimedOut();
    void informationReadLeftAfterItsEnd_data();
    void informationReadLeftAfterItsEnd();
    void operationDialogNotRunTwiceAtOnce();
    void exitCodeBoxSaysWhy();
};

void ConfigTest::treeShowsTemplateBySection()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QTreeWidget *tree = window->form()->treeWidget_Param;
    QCOMPARE(tree->columnCount(), 10);
    QCOMPARE(tree->topLevelItemCount(), 2);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("Radio"));
    QCOMPARE(tree->topLevelItem(0)->text(2), QString("  "));
    QCOMPARE(tree->topLevelItem(0)->childCount(), 9);
    QCOMPARE(tree->topLevelItem(1)->childCount(), 5);
    for (int column : {1, 3, 4, 5, 6, 8})
        QVERIFY(tree->isColumnHidden(column));
    QTreeWidgetItem *period = paramRow(window, "send_period");
    QCOMPARE(period->text(2), QString("Double click here to edit"));
    QCOMPARE(period->checkState(9), Qt::Unchecked);
    QCOMPARE(period->foreground(0).color(), QColor(Qt::gray));
    QCOMPARE(period->toolTip(9),
             QString("<p style='white-space:pre'>Seconds between two frames<br> Access: Read / Write"));
    QCOMPARE(paramRow(window, "firmware")->text(2), QString());
    QVERIFY(paramRow(window, "firmware")->toolTip(0).endsWith("Access: Read only"));
    QVERIFY(paramRow(window, "secret")->toolTip(0).endsWith("Access: Write only"));
    // An upper-case code is read-only for the page, but its tool tip names no access.
    QCOMPARE(paramRow(window, "uptime")->text(2), QString());
    QVERIFY(paramRow(window, "uptime")->toolTip(0).endsWith("Access: "));
    QVERIFY(!window->isConfigModified());
}

void ConfigTest::doubleClickEditsOnlyWritableValues()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QTreeWidget *tree = window->form()->treeWidget_Param;
    for (QTreeWidgetItem *row : {paramRow(window, "firmware"), paramRow(window, "uptime"), tree->topLevelItem(0)})
    {
        window->on_treeWidget_Param_itemDoubleClicked(row, 2);
        QCOMPARE(row->checkState(9) == Qt::Checked, false);
        QVERIFY(!(row->flags() & Qt::ItemIsEditable));
    }
    window->on_treeWidget_Param_itemDoubleClicked(paramRow(window, "send_period"), 0);
    QCOMPARE(paramRow(window, "send_period")->checkState(9), Qt::Unchecked);
    QVERIFY(!window->isConfigModified());

    QTreeWidgetItem *period = paramRow(window, "send_period");
    window->on_treeWidget_Param_itemDoubleClicked(period, 2);
    QCOMPARE(period->text(2), QString());
    QCOMPARE(period->checkState(9), Qt::Checked);
    QCOMPARE(period->foreground(2).color(), QColor(Qt::black));
    QVERIFY(period->flags() & Qt::ItemIsEditable);
    QVERIFY(window->isConfigModified());
    // A read-only row can still be ticked, for reading.
    tick(window, "firmware");
    QCOMPARE(collectedNames(window, false), (QStringList{"send_period", "firmware"}));
}

void ConfigTest::validation_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("regex");
    QTest::addColumn<QString>("min");
    QTest::addColumn<QString>("max");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("message");
    QTest::newRow("no rule") << "abc"
                             << ""
                             << ""
                             << ""
                             << "" << true << "";
    QTest::newRow("only a minimum") << "abc"
                                    << ""
                                    << "1"
                                    << ""
                                    << "" << true << "";
    QTest::newRow("at the minimum") << "10"
                                    << ""
                                    << "10"
                                    << "20"
                                    << "" << true << "";
    QTest::newRow("at the maximum") << "20"
                                    << ""
                                    << "10"
                                    << "20"
                                    << "" << true << "";
    QTest::newRow("above") << "21"
                           << ""
                           << "10"
                           << "20"
                           << "Period" << false << "Invalide Value (min:10 max:20)\n ( Period )";
    QTest::newRow("letters after digits") << "12ab"
                                          << ""
                                          << "10"
                                          << "20"
                                          << "" << false << "The value must be a number!";
    QTest::newRow("bound no number") << "12"
                                     << ""
                                     << "x"
                                     << "20"
                                     << "" << false << "";
    QTest::newRow("regex beats bounds") << "7"
                                        << "[0-9]"
                                        << "50"
                                        << "60"
                                        << "" << true << "";
    QTest::newRow("regex matches only a part") << "ab7"
                                               << "[0-9]"
                                               << ""
                                               << ""
                                               << "" << false << "Invalide Value ([0-9])";
    QTest::newRow("mode 300") << "300"
                              << "[1-3]"
                              << ""
                              << ""
                              << "Radio mode" << false << "Invalide Value ([1-3])\n ( Radio mode )";
    QTest::newRow("mode 3") << "3"
                            << "[1-3]"
                            << ""
                            << ""
                            << "" << true << "";
    QTest::newRow("key of 33 digits") << "00112233445566778899aabbccddeeff0"
                                      << "[0-9A-Fa-f]{32}"
                                      << ""
                                      << ""
                                      << "AES key" << false << "Invalide Value ([0-9A-Fa-f]{32})\n ( AES key )";
    QTest::newRow("key of 32 digits") << "00112233445566778899aabbccddeeff"
                                      << "[0-9A-Fa-f]{32}"
                                      << ""
                                      << ""
                                      << "" << true << "";
    QTest::newRow("anchored key of 33 digits")
        << "00112233445566778899aabbccddeeff0"
        << "^[0-9a-fA-F]{32}$"
        << ""
        << ""
        << "" << false << "Invalide Value: hexadecimal format needed (32 characters)";
    QTest::newRow("alternatives") << "12"
                                  << "1|12"
                                  << ""
                                  << ""
                                  << "" << true << "";
    QTest::newRow("hex key") << "123"
                             << "^[0-9a-fA-F]{32}$"
                             << ""
                             << ""
                             << "" << false << "Invalide Value: hexadecimal format needed (32 characters)";
    QTest::newRow("other pattern") << "x"
                                   << "^[0-9]+$"
                                   << ""
                                   << ""
                                   << "Mode" << false << "Invalide Value (^[0-9]+$)\n ( Mode )";
}

void ConfigTest::validation()
{
    QFETCH(QString, value);
    QFETCH(QString, regex);
    QFETCH(QString, min);
    QFETCH(QString, max);
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QFETCH(QString, message);
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    fixture.messages.clear();
    QCOMPARE(window->ValidateValue(value, regex, min, max, name), valid);
    if (message.isEmpty())
        QVERIFY(fixture.messages.isEmpty());
    else
    {
        QCOMPARE(fixture.messages.size(), 1);
        QCOMPARE(fixture.messages.first().title, QString("Error"));
        QCOMPARE(fixture.messages.first().text, message);
    }
}

void ConfigTest::rejectedEditFallsBackToLastValue()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QTreeWidgetItem *period = paramRow(window, "send_period");
    window->on_treeWidget_Param_itemDoubleClicked(period, 2);
    period->setText(2, "5"); // the editor's commit
    QCOMPARE(period->text(2), QString());
    QCOMPARE(period->checkState(9), Qt::Checked);
    QCOMPARE(fixture.countMessages("Invalide Value (min:10 max:86400)"), 1);
    window->on_treeWidget_Param_itemDoubleClicked(period, 2);
    period->setText(2, "60");
    QCOMPARE(period->text(3), QString("60"));
    window->on_treeWidget_Param_itemDoubleClicked(period, 2);
    period->setText(2, "7");
    QCOMPARE(period->text(2), QString("60"));
    // Program changes are not validated.
    period->setText(2, "7");
    QCOMPARE(period->text(2), QString("7"));
}

void ConfigTest::atMostTwelveTicked()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    const QStringList codes{"send_period", "aes_key", "firmware", "bus_address", "uptime",  "battery", "vendor",
                            "secret",      "mode",    "index_1",  "index_2",     "index_3", "index_4"};
    for (const QString &code : codes)
        tick(window, code);
    QCOMPARE(window->CollectParams(false).size(), 12);
    QCOMPARE(fixture.countMessages("Too many items"), 1);
    QTreeWidgetItem *last = paramRow(window, "index_4");
    QCOMPARE(last->checkState(9), Qt::Unchecked);
    QCOMPARE(last->foreground(0).color(), QColor(Qt::gray));
    // Ticking clears the placeholder.
    QCOMPARE(paramRow(window, "index_1")->text(2), QString());
}

void ConfigTest::collectWithValidationLeavesOutBadRows()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    tick(window, "index_2");
    tick(window, "send_period");
    tick(window, "aes_key");
    paramRow(window, "send_period")->setText(2, "3");
    paramRow(window, "aes_key")->setText(2, "00112233445566778899aabbccddeeff");
    QCOMPARE(collectedNames(window, false), (QStringList{"send_period", "aes_key", "index_2"}));
    QCOMPARE(collectedNames(window, true), (QStringList{"aes_key", "index_2"}));
    QCOMPARE(fixture.countMessages("Invalide Value (min:10 max:86400)\n ( Send period )"), 1);
    const ConfigParam first = window->CollectParams(false).first();
    QCOMPARE(first.pretty_name, QString("Send period"));
    QCOMPARE(first.value, QString("3"));
    QCOMPARE(first.access_right, QString("rw"));
}

void ConfigTest::typeChangeAsksToSaveChanges()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QComboBox *types = window->form()->comboBox_ModuleType;
    window->on_actionNew_config_triggered();
    tick(window, "index_1");

    fixture.saveAnswer = UserMessage::Answer::Cancel;
    types->setCurrentIndex(1);
    QCOMPARE(types->currentIndex(), 0);
    QVERIFY(paramRow(window, "index_1"));
    QCOMPARE(paramRow(window, "index_1")->checkState(9), Qt::Checked);
    QCOMPARE(fixture.messages.last().kind, UserMessage::Kind::SaveChanges);
    QCOMPARE(fixture.messages.last().text, QString("The configuration has been modified."));
    QCOMPARE(fixture.messages.last().title, QString("Do you want to save your changes?"));

    // Yes without a file runs Save as; cancelling its dialog keeps the configuration and its type.
    fixture.saveAnswer = UserMessage::Answer::Yes;
    types->setCurrentIndex(1);
    QCOMPARE(fixture.fileCaptions.last(), QString("Save configuration file"));
    QCOMPARE(types->currentIndex(), 0);
    QCOMPARE(paramRow(window, "index_1")->checkState(9), Qt::Checked);
    QVERIFY(window->isConfigModified());

    // No drops it.
    fixture.saveAnswer = UserMessage::Answer::No;
    types->setCurrentIndex(1);
    QCOMPARE(window->form()->treeWidget_Param->topLevelItem(0)->childCount(), 2);
    QVERIFY(!window->isConfigModified());
    // Unchanged: no question.
    const int asked = fixture.messages.size();
    types->setCurrentIndex(0);
    QCOMPARE(fixture.messages.size(), asked);
}

// Yes saves what is being left, under its own template's id, before the next type's tree is built.
void ConfigTest::typeChangeSavesTheConfigurationLeft()
{
    WindowFixture fixture;
    const QString meter =
        writeConfig(fixture.home() + "/meter.xml", "gui_meter_01", {{"send_period", "60"}, {"index_1", "5"}});
    fixture.writePrefs([meter](xml_preferences &prefs) { prefs.gui.setConfigFile(meter); });
    MainWindow *window = fixture.makeWindow();
    QComboBox *types = window->form()->comboBox_ModuleType;
    QTabWidget *pages = window->form()->tabWidget_ModuleConf;
    QTreeWidgetItem *period = paramRow(window, "send_period");
    window->on_treeWidget_Param_itemDoubleClicked(period, 2);
    period->setText(2, "900");
    fixture.saveAnswer = UserMessage::Answer::Yes;
    types->setCurrentIndex(1);
    const ConfigDocument saved(meter);
    QCOMPARE(saved.getId(), QString("gui_meter_01"));
    QCOMPARE(saved.toXml(),
             QString("<config id=\"gui_meter_01\" hlvtb_version=\"1.2\">\n\t<send_period>900</send_period>\n"
                     "\t<index_1>5</index_1>\n</config>\n"));
    QCOMPARE(types->currentText(), QString("gui_sensor_01"));
    QVERIFY(!paramRow(window, "index_1"));

    // The file belongs to the type left: no file on show, and Save asks for one.
    QCOMPARE(pages->tabText(1), QString("Parameters"));
    QCOMPARE(window->preferences()->gui.getConfigFile(), QString());
    const int dialogs = fixture.fileCaptions.size();
    window->on_actionSave_config_triggered();
    QCOMPARE(fixture.fileCaptions.size(), dialogs + 1);

    // After New, Yes goes through Save as: the new file is of the type left too.
    window->on_actionNew_config_triggered();
    tick(window, "mode");
    paramRow(window, "mode")->setText(2, "7");
    const QString fresh = fixture.home() + "/fresh.xml";
    fixture.chosenFiles << fresh;
    types->setCurrentIndex(0);
    const ConfigDocument written(fresh);
    QCOMPARE(written.getId(), QString("gui_sensor_01"));
    QCOMPARE(written.getParams().size(), 1);
    QCOMPARE(written.getParams().at(0).name, QString("mode"));
    QCOMPARE(written.getParams().at(0).value, QString("7"));
    QCOMPARE(types->currentText(), QString("gui_meter_01"));
    QCOMPARE(pages->tabText(1), QString("Parameters"));
    QVERIFY(!window->isConfigModified());
}

void ConfigTest::exitAsksAboutAnEditedConfiguration()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    QTreeWidgetItem *index = paramRow(window, "index_1");
    window->on_treeWidget_Param_itemDoubleClicked(index, 2);
    index->setText(2, "5");

    fixture.saveAnswer = UserMessage::Answer::Cancel;
    window->on_actionExit_triggered();
    QVERIFY(window->isVisible());
    QCOMPARE(fixture.messages.last().kind, UserMessage::Kind::SaveChanges);
    QCOMPARE(fixture.messages.last().text, QString("The configuration has been modified."));
    QCOMPARE(fixture.messages.last().title, QString("Do you want to save your changes?"));

    // Yes with a cancelled Save as: nothing saved, the window stays.
    fixture.saveAnswer = UserMessage::Answer::Yes;
    window->on_actionExit_triggered();
    QVERIFY(window->isVisible());

    // The window's own close button asks the same; Yes saves, then the window goes.
    const QString path = fixture.home() + "/left.xml";
    fixture.chosenFiles << path;
    window->close();
    QVERIFY(!window->isVisible());
    QCOMPARE(ConfigDocument(path).getParams().at(0).value, QString("5"));

    // No drops the edits.
    WindowFixture other;
    MainWindow *second = other.makeWindow();
    second->show();
    second->on_actionNew_config_triggered();
    other.saveAnswer = UserMessage::Answer::No;
    second->on_actionExit_triggered();
    QVERIFY(!second->isVisible());
    QCOMPARE(other.countMessages("The configuration has been modified."), 1);
    QVERIFY(other.fileCaptions.isEmpty());
}

// Tolvern finds an item by its name: a template that gives one name twice is reported when it is read, and
// only one row of that name is ticked at a time.
void ConfigTest::itemNamedTwiceInTemplate()
{
    WindowFixture fixture;
    const QString dir =
        useTemplates(fixture, {{"gui_twice_01", templateItem("mode", "0xFF0E") + templateItem("power", "0xFF3B") +
                                                    templateItem("mode", "0xFF0F", "Extra")}});
    FakeTolvern fake(fixture.home());
    fake.outArgument("Tolv_Main.cpp:119 Request failed: Config item mode is named twice in ", "-r")
        .exitCode(1)
        .install();
    MainWindow *window = fixture.makeWindow();
    const QString problem = "Config item mode is named twice in " + dir + "/gui_twice_01.xml";
    QVERIFY(fixture.logText().contains(problem));
    QCOMPARE(window->form()->label_StatuParameters->text(), problem);

    QTreeWidget *tree = window->form()->treeWidget_Param;
    QTreeWidgetItem *first = tree->topLevelItem(0)->child(0);
    QTreeWidgetItem *second = tree->topLevelItem(1)->child(0);
    first->setCheckState(9, Qt::Checked);
    second->setCheckState(9, Qt::Checked);
    QCOMPARE(fixture.countMessages(problem + "\nOnly one of its rows can be ticked"), 1);
    QCOMPARE(second->checkState(9), Qt::Unchecked);
    QCOMPARE(collectedNames(window, false), QStringList{"mode"});

    // A file that names it ticks the first row only.
    fixture.chosenFiles << writeConfig(fixture.home() + "/twice.xml", "gui_twice_01", {{"mode", "2"}});
    window->on_actionOpen_Config_triggered();
    QCOMPARE(first->checkState(9), Qt::Checked);
    QCOMPARE(first->text(2), QString("2"));
    QCOMPARE(second->checkState(9), Qt::Unchecked);
    QCOMPARE(fixture.countMessages(problem + "\nOnly one of its rows can be ticked"), 1);

    // What Tolvern says about the request does not name the page's temporary file.
    whenModalShown([](QWidget *dialog) { (void)QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000); });
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(fixture.countMessages(" Error while executing tolvern command:\n error code = 1\n"
                                   " Request failed: Config item mode is named twice in the request"),
             1);
}

// Template fields are read as Tolvern reads them: text and character data joined. A template that Tolvern
// refuses for what else a sent field holds is left out, with a log line.
void ConfigTest::templateTextReadWhole()
{
    WindowFixture fixture;
    useTemplates(fixture, {{"gui_split_01",
                            templateItem("period", "0xFF<![CDATA[3A]]>") +
                                templateItem("level", "0xFF3B", "Radio", "<min>0</min><max>2<![CDATA[55]]></max>")},
                           {"gui_vib_comment_01", templateItem("period", "0xFF3A<!-- was 0xFF3B -->")}});
    FakeTolvern fake(fixture.home());
    fake.out(readAnswer("        <record unit=\"Vendor specific VIF extension\" vife=\"0x3a\">77</record>\n"))
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(moduleTypes(window), QStringList{"gui_split_01"});
    QVERIFY(fixture.logText().contains("gui_vib_comment_01.xml, item period: vib holds a comment besides its text"));
    QCOMPARE(paramRow(window, "period")->text(8), QString("0xFF3A"));
    QCOMPARE(paramRow(window, "level")->text(6), QString("255"));

    tick(window, "period");
    answerOperation("pushButton_Ok");
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(paramRow(window, "period")->text(2), QString("77"));
}

void ConfigTest::saveAndOpenConfiguration()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    tick(window, "send_period");
    paramRow(window, "send_period")->setText(2, "600");
    tick(window, "index_3");
    paramRow(window, "index_3")->setText(2, "a<b");
    const QString path = fixture.home() + "/module.xml";
    fixture.chosenFiles << path;
    window->on_actionSave_config_triggered(); // no file yet: Save as
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters (module.xml)"));
    QCOMPARE(window->preferences()->gui.getConfigFile(), path);
    const ConfigDocument saved(path);
    QCOMPARE(saved.getId(), QString("gui_meter_01"));
    QCOMPARE(saved.getParams().size(), 2);
    QCOMPARE(saved.getParams().at(1).value, QString("a<b"));

    window->on_actionNew_config_triggered();
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters"));
    QCOMPARE(window->preferences()->gui.getConfigFile(), QString());
    QVERIFY(window->CollectParams(false).isEmpty());
    QVERIFY(window->isConfigModified());

    // Opening a file of the type on show asks nothing and fills values, last values and ticks.
    fixture.chosenFiles << writeConfig(fixture.home() + "/other.xml", "gui_meter_01",
                                       {{"index_3", "17"}, {"unknown", "1"}, {"send_period", "60"}});
    const int asked = fixture.messages.size();
    window->on_actionOpen_Config_triggered();
    QCOMPARE(fixture.messages.size(), asked);
    QCOMPARE(collectedNames(window, false), (QStringList{"send_period", "index_3"}));
    QCOMPARE(paramRow(window, "index_3")->text(3), QString("17"));
    QVERIFY(window->form()->treeWidget_Param->topLevelItem(1)->isExpanded());
    QCOMPARE(window->preferences()->gui.getConfigFile(), fixture.home() + "/other.xml");
    QVERIFY(!window->isConfigModified());

    // Save writes back to the file in use.
    paramRow(window, "index_3")->setText(2, "18");
    window->on_actionSave_config_triggered();
    QCOMPARE(ConfigDocument(fixture.home() + "/other.xml").getParams().at(1).value, QString("18"));
}

void ConfigTest::openRefusesBadFiles()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    tick(window, "index_1");
    // Saving with nothing ticked gives a file without parameters, which cannot be opened again.
    paramRow(window, "index_1")->setCheckState(9, Qt::Unchecked);
    fixture.chosenFiles << fixture.home() + "/empty.xml";
    window->on_actionSave_config_as_triggered();
    tick(window, "index_1");
    const QString previous = window->preferences()->gui.getConfigFile();
    fixture.chosenFiles << fixture.home() + "/empty.xml";
    window->on_actionOpen_Config_triggered();
    QCOMPARE(fixture.countMessages("Invalide file format "), 1);
    fixture.chosenFiles << writeConfig(fixture.home() + "/foreign.xml", "other_type", {{"index_1", "1"}});
    window->on_actionOpen_Config_triggered();
    QCOMPARE(fixture.countMessages("Template Id not found:other_type"), 1);
    QCOMPARE(paramRow(window, "index_1")->checkState(9), Qt::Checked);
    QCOMPARE(window->preferences()->gui.getConfigFile(), previous);
}

void ConfigTest::openTicksAtMostTwelve()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QList<QPair<QByteArray, QByteArray>> params;
    for (const char *code : {"send_period", "aes_key", "firmware", "bus_address", "uptime", "battery", "vendor",
                             "secret", "mode", "index_1", "index_2", "index_3", "index_4", "index_5"})
        params << qMakePair(QByteArray(code), QByteArray("1"));
    fixture.chosenFiles << writeConfig(fixture.home() + "/many.xml", "gui_meter_01", params);
    window->on_actionOpen_Config_triggered();
    QCOMPARE(window->CollectParams(false).size(), 12);
    QCOMPARE(fixture.countMessages("Too many items"), 2);
    QCOMPARE(paramRow(window, "index_5")->text(2), QString("1"));
}

void ConfigTest::storedConfigurationLoadedAtStartUp()
{
    WindowFixture fixture;
    const QString first = writeConfig(fixture.home() + "/first.xml", "gui_meter_01", {{"index_2", "5"}});
    fixture.writePrefs([first](xml_preferences &prefs) { prefs.gui.setConfigFile(first); });
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(paramRow(window, "index_2")->text(2), QString("5"));
    QCOMPARE(window->preferences()->gui.getConfigFile(), first);
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters (first.xml)"));

    // Of another type: loaded, but the type change of the load forgets the file.
    WindowFixture second;
    const QString other = writeConfig(second.home() + "/second.xml", "gui_sensor_01", {{"mode", "3"}});
    second.writePrefs([other](xml_preferences &prefs) { prefs.gui.setConfigFile(other); });
    MainWindow *again = second.makeWindow();
    QCOMPARE(again->form()->comboBox_ModuleType->currentText(), QString("gui_sensor_01"));
    QCOMPARE(paramRow(again, "mode")->text(2), QString("3"));
    // The file on show stays the one Save writes, through the type change of the load.
    QCOMPARE(again->preferences()->gui.getConfigFile(), other);
    QCOMPARE(again->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters (second.xml)"));

    // A file gone since: the box, and the path stays.
    WindowFixture third;
    const QString gone = third.home() + "/gone.xml";
    third.writePrefs([gone](xml_preferences &prefs) { prefs.gui.setConfigFile(gone); });
    MainWindow *last = third.makeWindow();
    QCOMPARE(third.countMessages("Invalide file format "), 1);
    QCOMPARE(last->preferences()->gui.getConfigFile(), gone);
}

void ConfigTest::unwritableConfigurationIsReported()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->on_actionNew_config_triggered();
    tick(window, "index_1");
    const QString bad = fixture.home() + "/missing-dir/module.xml";
    fixture.chosenFiles << bad;
    window->on_actionSave_config_as_triggered();
    QCOMPARE(fixture.countMessages("Unable to write the configuration file: " + bad), 1);
    QVERIFY(window->isConfigModified());
    QCOMPARE(window->preferences()->gui.getConfigFile(), QString());
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters"));
}

void ConfigTest::readRefusedForWriteOnlyAndEmptyLists()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(fixture.countMessages("Config parameters list is empty"), 1);
    QVERIFY(fixture.logText().contains("config parameters list is empty"));
    tick(window, "secret");
    tick(window, "firmware");
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(fixture.countMessages("Access for param Secret is write only"), 1);
    window->on_pushButton_WriteParam_clicked();
    QCOMPARE(fixture.countMessages("Access for param Firmware is read only"), 1);
    QVERIFY(!window->isBusy());
    QVERIFY(!window->currentConfigJob());
    QVERIFY(!QFile::exists(fake.argsFile()));
}

void ConfigTest::readFillsTreeFromAnswer()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.out(readAnswer("        <record unit=\"Firmware version\">258</record>\n"
                        "        <record unit=\"Vendor specific VIF extension\" vife=\"0x2a\">77</record>\n"
                        "        <record unit=\"Bus Address\">255</record>\n"
                        "        <record unit=\"On time (seconds)\">-5</record>\n"
                        "        <record unit=\"Vendor specific VIF extension m V\" vife=\"0x46\">0042</record>\n"))
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "firmware");
    QString status;
    answerOperation("pushButton_Ok", &status);
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(status, QString("succes"));
    const QStringList args = fake.recordedArgs();
    QVERIFY(args.contains("-r"));
    QCOMPARE(args.at(args.indexOf("--id") + 1), QString("gui_meter_01"));
    QCOMPARE(window->form()->label_StatuParameters->text(), QString("Module Id: d4c3b2a1"));
    QCOMPARE(paramRow(window, "firmware")->text(2), QString("1.2"));
    QCOMPARE(paramRow(window, "firmware")->text(3), QString("1.2"));
    QCOMPARE(paramRow(window, "vendor")->text(2), QString("77")); // filled although not ticked
    QCOMPARE(paramRow(window, "bus_address")->text(2), QString("ff"));
    // The module holds FB FF FF FF: four bytes, read unsigned as the template writes them.
    QCOMPARE(paramRow(window, "uptime")->text(2), QString("4294967291"));
    QCOMPARE(paramRow(window, "battery")->text(2), QString("42"));
    QCOMPARE(paramRow(window, "index_1")->text(2), QString("Double click here to edit"));
    QVERIFY(!window->isBusy());
    QVERIFY(!window->isConfigModified());
    QTRY_VERIFY(!window->currentConfigJob());
}

void ConfigTest::readAgainAsksWithoutTheValuesShown()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "firmware");
    tick(window, "bus_address");
    // What a first read showed: no number Tolvern could encode.
    paramRow(window, "firmware")->setText(2, "1.2");
    paramRow(window, "bus_address")->setText(2, "ff");
    QByteArray request;
    whenModalShown(
        [&fake, &request](QWidget *dialog)
        {
            (void)QTest::qWaitFor([&fake] { return fake.recordedArgs().contains("-r"); }, 5000);
            const QStringList args = fake.recordedArgs();
            QFile file(args.value(args.indexOf("-r") + 1));
            if (file.open(QIODevice::ReadOnly))
                request = file.readAll();
            dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
        });
    window->on_pushButton_ReadParam_clicked();
    QVERIFY2(request.contains("firmware") && request.contains("bus_address"), request.constData());
    QVERIFY2(!request.contains(">1.2<") && !request.contains(">ff<"), request.constData());
    QTRY_VERIFY(!window->currentConfigJob());
}

void ConfigTest::writeSendsTickedValues()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.out("Got address a1b2c3d4e5f60107\nResponse ok\n").runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "send_period");
    paramRow(window, "send_period")->setText(2, "900");
    QString status;
    answerOperation("pushButton_Ok", &status);
    window->on_pushButton_WriteParam_clicked();
    QCOMPARE(status, QString("succes"));
    QVERIFY(fixture.messages.isEmpty());
    const QStringList args = fake.recordedArgs();
    const QString request = args.at(args.indexOf("-w") + 1);
    QVERIFY(request.contains("HalvexZuroRur_config_"));
    QCOMPARE(window->form()->label_StatuParameters->text(), QString());
    QVERIFY(!window->isBusy());
    // The request file goes with the access.
    QTRY_VERIFY(!QFile::exists(request));
}

// One invalid value of three: its box, and nothing runs. A read of the same rows is not checked.
void ConfigTest::writeIsAllOrNothing()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    const QList<QPair<QString, QString>> values{{"send_period", "900"}, {"aes_key", "bad"}, {"index_1", "5"}};
    for (const auto &value : values)
    {
        tick(window, value.first);
        paramRow(window, value.first)->setText(2, value.second);
    }
    // The operation dialog, should it run, is cancelled once Tolvern has its arguments; it must not run for
    // the write, only for the read.
    auto seen = std::make_shared<QStringList>();
    whenModalShown(
        [fake, seen](QWidget *dialog)
        {
            (void)QTest::qWaitFor(
                [&fake] { return fake.recordedArgs().contains("-r") || fake.recordedArgs().contains("-w"); }, 5000);
            *seen = fake.recordedArgs();
            dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
        });
    window->on_pushButton_WriteParam_clicked();
    QCOMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.messages.first().text,
             QString("Invalide Value: hexadecimal format needed (32 characters)\n ( AES key )"));
    QVERIFY(!QFile::exists(fake.argsFile()));
    QVERIFY(!window->currentConfigJob());
    QVERIFY(!window->isBusy());
    QVERIFY(!fixture.logText().contains("param access, end of operation"));
    QVERIFY(seen->isEmpty());
    QCOMPARE(window->CollectParams(false).size(), 3);

    window->on_pushButton_ReadParam_clicked();
    QVERIFY(seen->contains("-r"));
}

void ConfigTest::failedAccessShowsExitCodeAndFreesModem()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out("No initial frame received!\n").pause(200).exitCode(1).install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "index_1");
    bool dialogClosed = false;
    whenModalShown([&](QWidget *dialog)
                   { dialogClosed = QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000); });
    window->on_pushButton_ReadParam_clicked();
    QVERIFY(dialogClosed);
    QCOMPARE(fixture.countMessages(" Error while executing tolvern command:\n error code = 1"), 1);
    QVERIFY(!window->isBusy());
    QTRY_VERIFY(!window->currentConfigJob());
    // A new access can start at once.
    FakeTolvern(fixture.home()).runUntilKilled().install();
    answerOperation("pushButton_Cancel");
    window->on_pushButton_ReadParam_clicked();
    QVERIFY(!window->isBusy());
}

void ConfigTest::closingDialogEndsAccess()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "index_1");
    whenModalShown([](QWidget *dialog) { dialog->close(); });
    window->on_pushButton_ReadParam_clicked();
    QVERIFY(!window->isBusy());
    QTRY_VERIFY(!window->currentConfigJob());
    QVERIFY(fixture.messages.isEmpty());
}

void ConfigTest::informationReadDecodesAnswer()
{
    WindowFixture fixture;
    const QByteArray meter = "<mbus><header><Id>d4c3b2a1</Id><Medium>Water</Medium><Type>RSP-UD</Type></header>"
                             "<records>"
                             "<record unit=\"Firmware version\">258</record>"
                             "<record unit=\"Vendor specific VIF extension\" vife=\"0x46\">3600</record>"
                             "<record unit=\"Vendor specific VIF extension\" vife=\"0x47\">1</record>"
                             "<record unit=\"Volume\">1234</record>"
                             "<record unit=\"Volume\" subunit=\"1\">5678</record>"
                             "</records></mbus>\n";
    const QByteArray sensor = "<mbus><header><Id>00000042</Id><Medium>Room Temperature</Medium>"
                              "<Type>RSP-UD</Type></header><records>"
                              "<record unit=\"External temperature\">215</record>"
                              "<record unit=\"Relative humidity\">45</record>"
                              "</records></mbus>\n";
    const QByteArray spontaneous = "<mbus><header><Id>11111111</Id><Type>SND-NR</Type></header></mbus>\n";
    FakeTolvern(fixture.home()).out(spontaneous + sensor + meter).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    whenModalShown([](QWidget *) {}); // the answer closes the dialog itself
    window->on_pushButton_basics_clicked();
    // The first answer of the piece is decoded, the one after it is ignored.
    QCOMPARE(ui->label_ModuleId->text(), QString("00000042"));
    QCOMPARE(ui->label_Index_1->text(), QString::fromUtf8("21.5°C"));
    QCOMPARE(ui->label_ch1->text(), QString("Temperature :"));
    QCOMPARE(ui->label_Index_2->text(), QString("45%"));
    QCOMPARE(ui->label_ch2->text(), QString("Relative humidity :"));
    QCOMPARE(ui->label_lastrecorded->text(), QString("Last recorded values :"));
    QVERIFY(!window->isBusy());

    FakeTolvern(fixture.home()).out(meter).runUntilKilled().install();
    window->on_pushButton_basics_clicked();
    QCOMPARE(ui->label_ModuleId->text(), QString("d4c3b2a1"));
    QCOMPARE(ui->label_SoftawreVersion_2->text(), QString("1.2"));
    QCOMPARE(ui->label_VBatt->text(), QString("3.60 V"));
    QCOMPARE(ui->label_Index_1->text(), QString("1234"));
    QCOMPARE(ui->label_Index_2->text(), QString("5678"));
    QCOMPARE(ui->label_ch1->text(), QString("Channel 1 :"));
    QCOMPARE(ui->label_lastrecorded->text(), QString("Last recorded index :"));
    QVERIFY(fixture.logText().contains("basics read, end of operation"));
}

void ConfigTest::informationReadCancelAndTimeOut()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    answerOperation("pushButton_Cancel");
    QElapsedTimer clock;
    clock.start();
    window->on_pushButton_basics_clicked();
    QVERIFY(!window->isBusy());
    QCOMPARE(window->form()->label_ModuleId->text(), QString("---"));

    // The time-out frees the modem; the dialog stays until Cancel.
    whenModalShown(
        [window](QWidget *dialog)
        {
            window->BasicsTO();
            const bool freed = !window->isBusy();
            const bool open = dialog->isVisible();
            dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
            QVERIFY(freed && open);
        });
    window->on_pushButton_basics_clicked();
    QVERIFY(!window->isBusy());
}

void ConfigTest::informationReadLeftByWindowCloseThenTimedOut()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    // The dialog's own close says nothing: the read goes on until its time-out frees the modem.
    whenModalShown([](QWidget *dialog) { dialog->close(); });
    window->on_pushButton_basics_clicked();
    QVERIFY(window->isBusy());
    window->BasicsTO();
    QVERIFY(!window->isBusy());
    // The next read replaces what is left of that one, its timer included.
    answerOperation("pushButton_Cancel");
    window->on_pushButton_basics_clicked();
    QVERIFY(!window->isBusy());
    QVERIFY(fixture.logText().contains("basics read, end of operation"));
}

void ConfigTest::informationReadLeftAfterItsEnd_data()
{
    QTest::addColumn<bool>("errorExit"); // else the time-out
    QTest::addColumn<bool>("escape");    // else the window's close button
    QTest::addColumn<bool>("update");    // the next operation; else a parameter read
    QTest::newRow("timed out, Escape, read") << false << true << false;
    QTest::newRow("timed out, close button, update") << false << false << true;
    QTest::newRow("error exit, Escape, update") << true << true << true;
    QTest::newRow("error exit, close button, read") << true << false << false;
}

// Neither Escape nor the window's close button says anything to the read: the next operation's OK and
// Cancel must still reach that operation alone.
void ConfigTest::informationReadLeftAfterItsEnd()
{
    QFETCH(bool, errorExit);
    QFETCH(bool, escape);
    QFETCH(bool, update);
    WindowFixture fixture;
    FakeTolvern info(fixture.home());
    if (errorExit)
        info.exitCode(1);
    else
        info.runUntilKilled();
    info.install();
    MainWindow *window = fixture.makeWindow();
    whenModalShown(
        [&](QWidget *dialog)
        {
            if (errorExit)
                (void)QTest::qWaitFor([&] { return !fixture.messages.isEmpty(); }, 5000);
            else
                window->BasicsTO();
            if (escape)
                QTest::keyClick(dialog, Qt::Key_Escape);
            else
                dialog->close();
        });
    window->on_pushButton_basics_clicked();
    QVERIFY(!window->isBusy());
    QVERIFY(fixture.logText().contains("basics read, end of operation"));

    if (update)
    {
        QFile image(fixture.home() + "/image.bin");
        QVERIFY(image.open(QIODevice::WriteOnly));
        image.write(QByteArray(300, 'x'));
        image.close();
        fixture.chosenFiles << image.fileName();
        window->on_toolButton_FirmwareFile_clicked();
        FakeTolvern(fixture.home()).out("Got address a1b2c3d4e5f60107\n").runUntilKilled().install();
        answerOperation("pushButton_Cancel");
        window->on_pushButton_StartUpdate_clicked();
        // The update's Cancel stopped it.
        QVERIFY(!window->isBusy());
        QVERIFY(!window->form()->pushButton_cancel_update->isEnabled());
        return;
    }
    FakeTolvern(fixture.home())
        .out(readAnswer("        <record unit=\"Firmware version\">258</record>\n"))
        .runUntilKilled()
        .install();
    tick(window, "firmware");
    answerOperation("pushButton_Ok");
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(paramRow(window, "firmware")->text(2), QString("1.2")); // the read-back value arrived
    QVERIFY(!window->isBusy());
}

void ConfigTest::operationDialogNotRunTwiceAtOnce()
{
    WindowFixture fixture;
    const QByteArray answer = "<mbus><header><Id>d4c3b2a1</Id><Type>RSP-UD</Type></header></mbus>\n";
    FakeTolvern(fixture.home()).out(answer).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "firmware");
    // A click on Read handled while the information read ends, before its dialog has returned: run then, the
    // parameter read would end the moment it started.
    bool clicked = false;
    const QMetaObject::Connection click = connect(window->operationDlg(), &QDialog::finished,
                                                  [&]
                                                  {
                                                      if (clicked)
                                                          return;
                                                      clicked = true;
                                                      window->on_pushButton_ReadParam_clicked();
                                                  });
    whenModalShown([](QWidget *) {}); // the answer closes the dialog
    window->on_pushButton_basics_clicked();
    disconnect(click);
    QVERIFY(clicked);
    QCOMPARE(fixture.countMessages("Dongle already in use "), 1);
    QVERIFY(!fixture.logText().contains("param access, end of operation"));
    QVERIFY(!window->isBusy());
}

void ConfigTest::exitCodeBoxSaysWhy()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home())
        .out("Tolv_Task.cpp:40 Wrong answer\nTolv_Main.cpp:119 Request failed: modem not responding\n")
        .exitCode(1)
        .install();
    MainWindow *window = fixture.makeWindow();
    tick(window, "firmware");
    whenModalShown([](QWidget *dialog) { (void)QTest::qWaitFor([dialog] { return !dialog->isVisible(); }, 5000); });
    window->on_pushButton_ReadParam_clicked();
    QCOMPARE(fixture.countMessages(" Error while executing tolvern command:\n error code = 1\n"
                                   " Request failed: modem not responding"),
             1);
}

QTEST_MAIN(ConfigTest)
#include "tst_config.moc"
