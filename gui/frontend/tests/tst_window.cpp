// Start-up, page change, shutdown and the dialog actions of the main window.
#include "Dialog_log.h"
#include "FakeTolvern.h"
#include "MainWindow.h"
#include "PreferencesWindow.h"
#include "TemplateDirectory.h"
#include "WindowFixture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QStyleOptionComboBox>
#include <QtTest>

namespace
{
// A serial port that this machine has, or an empty text.
QString presentPort()
{
    xml_preferences prefs;
    const QStringList ports = prefs.wmbus.getPortList();
    return ports.size() > 1 ? ports.at(1) : QString();
}

QStringList visibleFileActions(MainWindow *window)
{
    QStringList shown;
    for (QAction *action : window->form()->menuFile->actions())
    {
        if (action->isVisible())
            shown << (action->isSeparator() ? QString("|") : action->text());
    }
    return shown;
}

// What the binding of slots by name reports while a window is made.
QStringList bindingReports;
QtMessageHandler previousHandler = nullptr;

void collectBindings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (context.category && QByteArray(context.category) == "qt.core.qmetaobject.connectslotsbyname")
        bindingReports << message;
    else if (previousHandler)
        previousHandler(type, context, message);
}
} // namespace

class WindowTest : public QObject
{
    Q_OBJECT
private slots:
    void formStartsOnCapturePageWithEmptyModuleTabs();
    void missingSavedPortAsksForDetection();
    void savedPortPresentIsKeptWithoutWriting();
    void portDiffersOnlyInCaseCountsAsMissing();
    void geometryRestoredOnlyWhenStored();
    void lastTabRestoredAndFileMenuFollowsPage_data();
    void lastTabRestoredAndFileMenuFollowsPage();
    void pageShortcutsActOnTheCurrentPage();
    void statusBarShowsPortAndMode();
    void slotsBoundByNameReachTheirWidgets();
    void moduleTypesFromTemplates();
    void savedDevicePathIsKeptWhileItExists();
    void firstStartFindsTheTemplatesBesideTheProgram();
    void missingTemplatesAreReported();
    void radioTestColumnsFollowWidth();
    void closeSavesPageGeometryAndGuiSettings();
    void exitDuringCaptureStopsItAndSaves();
    void detectionChosenAtStartUpStoresItsPort();
    void preferencesAndAboutRefusedWhileBusyLogIsNot();
    void preferencesOkUpdatesStatusAndKeepsGuiSettings();
    void logDialogShowsLogFile();
    void textsFitAtDefaultSize();
};

void WindowTest::formStartsOnCapturePageWithEmptyModuleTabs()
{
    Ui_MainWindow form;
    QMainWindow host;
    form.setupUi(&host);
    QCOMPARE(form.tabWidget->currentIndex(), 1);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(form.tabWidget_ModuleConf->tabText(i), QString());
    QCOMPARE(form.spinBoxRadioTestCount->minimum(), 1);
    QCOMPARE(form.spinBoxRadioTestCount->maximum(), 99);
    QCOMPARE(form.tableWidget_installation->columnCount(), 5);
    QCOMPARE(form.tableWidget_installation->horizontalHeaderItem(2)->text(), QString("UP Link RSSI"));
    QCOMPARE(form.progressBar_Installation->format(), QString("%vs/15s"));
    QCOMPARE(host.size(), QSize(890, 728));
    // The Informations page has no layout: its value labels must be wide enough for the longest texts they get.
    const QList<QPair<QLabel *, QString>> texts = {
        {form.label_ModuleId, "12345678"},
        {form.label_VBatt, "3.60 V"},
        {form.label_Index_1, QString::fromUtf8("-21.5°C")},
        {form.label_Index_2, "4294967295"},
        {form.label_lastrecorded, "Last recorded values :"},
    };
    for (const auto &entry : texts)
    {
        entry.first->setText(entry.second);
        QVERIFY2(entry.first->sizeHint().width() <= entry.first->width(), qPrintable(entry.second));
    }
}

void WindowTest::missingSavedPortAsksForDetection()
{
    if (presentPort().isEmpty())
        QSKIP("this machine has no serial port");
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("----", false); });
    fixture.answerYes = false;
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.messages.first().kind, UserMessage::Kind::Question);
    QCOMPARE(fixture.messages.first().title, QString("Port com not found"));
    QCOMPARE(fixture.messages.first().text,
             QString("Port com: ---- not found, do you want to try the autodetection ? "));
    QCOMPARE(window->preferences()->wmbus.getPort(), QString("----"));
    QVERIFY(!window->preferences()->wmbus.isPortSet());
    QVERIFY(fixture.logText().contains("New com Port: ----"));
    QVERIFY(!window->isBusy());
}

void WindowTest::savedDevicePathIsKeptWhileItExists()
{
    // The emulator's link is no port of the system's list: the path given in the preferences counts.
    WindowFixture fixture;
    const QString device = fixture.home() + "/ttyModem";
    QFile link(device);
    QVERIFY(link.open(QIODevice::WriteOnly));
    link.close();
    fixture.writePrefs([device](xml_preferences &prefs) { prefs.wmbus.setPort(device, true); });
    MainWindow *window = fixture.makeWindow();
    QVERIFY(fixture.messages.isEmpty());
    QVERIFY(fixture.logText().contains("Comport ok: " + device));
    QCOMPARE(window->preferences()->wmbus.getPort(), device);

    // Gone at the next start: as any missing port, it is not kept.
    QVERIFY(QFile::remove(device));
    fixture.answerYes = false;
    MainWindow *again = fixture.makeWindow();
    QCOMPARE(again->preferences()->wmbus.getPort(), QString("----"));
}

void WindowTest::savedPortPresentIsKeptWithoutWriting()
{
    const QString port = presentPort();
    if (port.isEmpty())
        QSKIP("this machine has no serial port");
    WindowFixture fixture;
    fixture.writePrefs([port](xml_preferences &prefs) { prefs.wmbus.setPort(port, true); });
    QFile before(fixture.prefsFile());
    QVERIFY(before.open(QIODevice::ReadOnly));
    const QByteArray written = before.readAll();
    const QDateTime stamp = QFileInfo(fixture.prefsFile()).lastModified();
    QTest::qWait(20);
    MainWindow *window = fixture.makeWindow();
    QFile after(fixture.prefsFile());
    QVERIFY(after.open(QIODevice::ReadOnly));
    QCOMPARE(after.readAll(), written);
    QCOMPARE(QFileInfo(fixture.prefsFile()).lastModified(), stamp);
    QVERIFY(fixture.messages.isEmpty());
    QVERIFY(fixture.logText().contains("Comport ok: " + port));
    QCOMPARE(window->preferences()->wmbus.getPort(), port);
}

void WindowTest::portDiffersOnlyInCaseCountsAsMissing()
{
    const QString port = presentPort();
    if (port.isEmpty() || port.toUpper() == port)
        QSKIP("no serial port with lower-case letters here");
    WindowFixture fixture;
    fixture.writePrefs([port](xml_preferences &prefs) { prefs.wmbus.setPort(port.toUpper(), true); });
    fixture.makeWindow();
    QCOMPARE(fixture.messages.size(), 1);
    QVERIFY(fixture.messages.first().text.contains(port.toUpper()));
}

void WindowTest::geometryRestoredOnlyWhenStored()
{
    {
        WindowFixture fixture;
        fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.setGeometry(40, 50, 0, 600); });
        QCOMPARE(fixture.makeWindow()->size(), QSize(890, 728));
    }
    {
        WindowFixture fixture;
        fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.setGeometry(40, 50, 700, 600); });
        QCOMPARE(fixture.makeWindow()->geometry(), QRect(40, 50, 700, 600));
    }
}

void WindowTest::lastTabRestoredAndFileMenuFollowsPage_data()
{
    QTest::addColumn<int>("lastTab");
    QTest::addColumn<int>("shownPage");
    QTest::addColumn<QStringList>("fileMenu");
    QTest::newRow("configuration") << 0 << 0 << QStringList{"New", "Open", "Save", "Save as ..", "Exit"};
    QTest::newRow("capture") << 1 << 1 << QStringList{"New", "Open", "Save as ...", "Exit"};
    QTest::newRow("radio test") << 2 << 2 << QStringList{"New", "Open", "Save as ...", "Exit"};
    // A hand-edited page number: the form's page stays and every entry and separator is offered.
    QTest::newRow("unknown page") << 7 << 1 << QStringList{"New",  "Open",        "Save",        "Save as ..", "|",
                                                           "New",  "Open",        "Save as ...", "|",          "New",
                                                           "Open", "Save as ...", "|",           "Exit"};
}

void WindowTest::lastTabRestoredAndFileMenuFollowsPage()
{
    QFETCH(int, lastTab);
    QFETCH(int, shownPage);
    QFETCH(QStringList, fileMenu);
    WindowFixture fixture;
    fixture.writePrefs([lastTab](xml_preferences &prefs) { prefs.gui.setLastTab(lastTab); });
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(window->form()->tabWidget->currentIndex(), shownPage);
    QCOMPARE(visibleFileActions(window), fileMenu);
}

void WindowTest::pageShortcutsActOnTheCurrentPage()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    ui->tabWidget->setCurrentIndex(0);
    ui->tabWidget->setCurrentIndex(1);
    ui->tabWidget->setCurrentIndex(2);
    ui->tabWidget->setCurrentIndex(1);
    // Every Open has Ctrl+O by now; only the visible one reacts to it.
    const QKeySequence open("Ctrl+O");
    QCOMPARE(ui->actionOpen_Config->shortcut(), open);
    QCOMPARE(ui->actionOpen_installation->shortcut(), open);
    QCOMPARE(ui->actionOpen_Trace->shortcut(), open);
    QVERIFY(ui->actionOpen_Trace->isVisible());
    QVERIFY(!ui->actionOpen_Config->isVisible());
    QCOMPARE(ui->actionSave_config->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(ui->actionNew_capture->shortcut(), QKeySequence("Ctrl+N"));
    QCOMPARE(ui->actionExit->shortcut(), QKeySequence("Ctrl+Q"));
}

void WindowTest::slotsBoundByNameReachTheirWidgets()
{
    // A slot whose name misses its widget's object name, or a widget renamed in a form, is never called and
    // says so nowhere: the binding's own report names every connection it made.
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &) {});
    bindingReports.clear();
    QLoggingCategory::setFilterRules("qt.core.qmetaobject.connectslotsbyname.debug=true");
    previousHandler = qInstallMessageHandler(collectBindings);
    fixture.makeWindow();
    qInstallMessageHandler(previousHandler);
    QLoggingCategory::setFilterRules(QString());
    const QString made = bindingReports.join('\n');
    const char *const bound[] = {
        "MainWindow::on_actionExit_triggered",
        "MainWindow::on_actionPreferences_triggered",
        "MainWindow::on_actionAbout_triggered",
        "MainWindow::on_actionLog_triggered",
        "MainWindow::on_tabWidget_currentChanged",
        "MainWindow::on_pushButton_basics_clicked",
        "MainWindow::on_pushButton_SniffStart_clicked",
        "MainWindow::on_pushButton_SniffStop_clicked",
        "MainWindow::on_treeWidget_FrameList_currentItemChanged",
        "MainWindow::on_treeWidget_FrameList_itemClicked",
        "MainWindow::on_actionNew_capture_triggered",
        "MainWindow::on_actionOpen_Trace_triggered",
        "MainWindow::on_actionSave_Capture_triggered",
        "MainWindow::on_pushButton_applyfilter_clicked",
        "MainWindow::on_pushButton_clearfilter_clicked",
        "MainWindow::on_comboBox_FilterInput_editTextChanged",
        "MainWindow::on_comboBox_ModuleType_currentIndexChanged",
        "MainWindow::on_treeWidget_Param_itemDoubleClicked",
        "MainWindow::on_treeWidget_Param_itemChanged",
        "MainWindow::on_actionNew_config_triggered",
        "MainWindow::on_actionOpen_Config_triggered",
        "MainWindow::on_actionSave_config_triggered",
        "MainWindow::on_actionSave_config_as_triggered",
        "MainWindow::on_toolButton_FirmwareFile_clicked",
        "MainWindow::on_pushButton_StartUpdate_clicked",
        "MainWindow::on_pushButton_cancel_update_clicked",
        "MainWindow::on_pushButton_ReadParam_clicked",
        "MainWindow::on_pushButton_WriteParam_clicked",
        "MainWindow::on_pushButton_InstallationStart_clicked",
        "MainWindow::on_pushButton_InstallationClear_clicked",
        "MainWindow::on_lineEdit_LocationName_editingFinished",
        "MainWindow::on_lineEdit_LocationName_textChanged",
        "MainWindow::on_actionOpen_installation_triggered",
        "MainWindow::on_actionSave_Installation_triggered",
        "PreferencesWindow::on_buttonBox_accepted",
        "PreferencesWindow::on_comboBox_ComPortChoice_currentIndexChanged",
        "PreferencesWindow::on_comboBox_WMBUSModeChoice_currentIndexChanged",
        "PreferencesWindow::on_lineEdit_AESKeyInput_textEdited",
        "Dialog_DongleOperation::on_pushButton_Ok_clicked",
        "Dialog_DongleOperation::on_pushButton_Cancel_clicked",
        "Dialog_about::on_buttonBox_accepted",
        "Dialog_about::on_buttonBox_rejected",
        "Dialog_about::on_pushButton_dongle_Firmwareupdate_clicked",
        "FlashDongle::on_pushButtonOpen_clicked",
        "FlashDongle::on_pushButtonStart_clicked",
        "FlashDongle::on_pushButtonExit_clicked",
        "Dialog_dongle_detection::on_buttonBox_accepted",
        "Dialog_log::on_buttonBox_accepted",
        "Dialog_log::on_buttonBox_rejected",
    };
    for (const char *slot : bound)
        QVERIFY2(made.contains(QString("&") + slot), slot);
}

void WindowTest::statusBarShowsPortAndMode()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setMode("Nd"); });
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(window->statusBarLabel()->text(),
             "Dongle @ port: " + window->preferences()->wmbus.getPort() + "   WM-Bus mode:Nd");
}

void WindowTest::moduleTypesFromTemplates()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(window->form()->comboBox_ModuleType->count(), 2);
    QCOMPARE(window->form()->comboBox_ModuleType->itemText(0), QString("gui_meter_01"));
    QCOMPARE(window->form()->comboBox_ModuleType->itemText(1), QString("gui_sensor_01"));
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(0), QString("Informations"));
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(1), QString("Parameters "));
    QCOMPARE(window->form()->tabWidget_ModuleConf->tabText(2), QString("Firmware Update"));
    QCOMPARE(fixture.countMessages("Template not found in: " + fixture.templatesDir()), 0);
}

void WindowTest::firstStartFindsTheTemplatesBesideTheProgram()
{
    // The default setting, started from a folder without templates: the examples shipped beside
    // the program are found, and the run of Tolvern is given the same folder.
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setTemplate("./Template"); });
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(fixture.home()));
    MainWindow *window = fixture.makeWindow();
    const QString besideProgram = QCoreApplication::applicationDirPath() + "/Template";
    const QString given = templateDirectory("./Template");
    QDir::setCurrent(previous);
    QCOMPARE(fixture.countMessages("Template not found in: ./Template"), 0);
    QCOMPARE(window->form()->comboBox_ModuleType->count(), 2);
    QCOMPARE(window->form()->comboBox_ModuleType->itemText(0), QString("zv_sensor_02"));
    QCOMPARE(window->form()->comboBox_ModuleType->itemText(1), QString("zv_water_01"));
    QCOMPARE(given, QDir::cleanPath(besideProgram));
    // A folder of that name in the working directory comes first, as the setting says.
    QVERIFY(QDir(fixture.home()).mkdir("Template"));
    QVERIFY(QDir::setCurrent(fixture.home()));
    const QString fromWorkingDir = templateDirectory("./Template");
    QDir::setCurrent(previous);
    QCOMPARE(fromWorkingDir, QString("./Template"));
}

void WindowTest::missingTemplatesAreReported()
{
    WindowFixture fixture;
    const QString empty = fixture.home() + "/no-templates";
    fixture.writePrefs([empty](xml_preferences &prefs) { prefs.wmbus.setTemplate(empty); });
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(fixture.countMessages("Template not found in: " + empty), 1);
    QCOMPARE(window->form()->comboBox_ModuleType->count(), 0);
}

void WindowTest::radioTestColumnsFollowWidth()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    const auto expectFitted = [window]()
    {
        const int w = window->form()->tabWidget->width();
        const int expected = w < 500 ? 99 : w / 5 - 1;
        QCOMPARE(window->form()->tableWidget_installation->columnWidth(0), expected);
        QCOMPARE(window->form()->tableWidget_installation->columnWidth(3), expected);
    };
    // At the first showing the tab widget gets its width only after the window's resize.
    window->show();
    QCoreApplication::processEvents();
    QVERIFY(window->form()->tabWidget->width() >= 500);
    expectFitted();
    for (int width : {420, 1200})
    {
        window->resize(width, 600);
        QCoreApplication::processEvents();
        expectFitted();
    }
}

void WindowTest::closeSavesPageGeometryAndGuiSettings()
{
    WindowFixture fixture;
    {
        MainWindow *window = fixture.makeWindow();
        window->setGeometry(30, 40, 800, 650);
        window->form()->tabWidget->setCurrentIndex(2);
        window->preferences()->gui.addFilter("mbus.header.Type == \"SND-NR\"");
        window->close();
    }
    MainWindow *again = fixture.makeWindow();
    QCOMPARE(again->form()->tabWidget->currentIndex(), 2);
    QCOMPARE(again->geometry(), QRect(30, 40, 800, 650));
    QCOMPARE(again->form()->comboBox_FilterInput->itemText(1), QString("mbus.header.Type == \"SND-NR\""));
    QVERIFY(fixture.logText().contains("bye!"));
}

void WindowTest::exitDuringCaptureStopsItAndSaves()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->form()->tabWidget->setCurrentIndex(0);
    window->on_pushButton_SniffStart_clicked();
    QTRY_VERIFY(window->currentCaptureJob()->process()->state() == 1);
    QElapsedTimer clock;
    clock.start();
    window->form()->actionExit->trigger();
    QVERIFY(clock.elapsed() >= 2000);
    QVERIFY(!window->isVisible());
    QCOMPARE(fixture.logText().count("Warning: Tolvern in use!!! "), 2);
    QCOMPARE(fixture.logText().count("bye!"), 2);
    QVERIFY(fixture.logText().contains("Kill process"));
    QTRY_VERIFY(!window->currentCaptureJob() || !window->currentCaptureJob()->process());
    QCOMPARE(xml_preferences().gui.getLastTab(), 0);
}

void WindowTest::detectionChosenAtStartUpStoresItsPort()
{
    const QString port = presentPort();
    if (port.isEmpty())
        QSKIP("this machine has no serial port");
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("ttyGONE", true); });
    // The modem answers on the machine's port only; "----" is tried first and runs into its time limit.
    const QString script = fixture.home() + "/Tolvern";
    QFile file(script);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\ncase \"$*\" in *----*) exec sleep 60;; esac\n"
               "printf 'Tolvern version: 1.2\\nFirmware version: 1.4\\nHardware version: 2.0\\n'\nexec sleep 60\n");
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    tolvern_process::setProgramPath(script);
    fixture.answerYes = true;
    QString title;
    whenModalShown(
        [&](QWidget *dialog)
        {
            title = dialog->windowTitle();
            auto *ok = dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok);
            (void)QTest::qWaitFor([ok] { return ok->isEnabled(); }, 12000);
            ok->click();
        });
    MainWindow *window = fixture.makeWindow();
    QCOMPARE(title, QString("Dongle detection"));
    QCOMPARE(window->preferences()->wmbus.getPort(), port);
    QVERIFY(fixture.logText().contains("New com Port: " + port));
}

void WindowTest::preferencesAndAboutRefusedWhileBusyLogIsNot()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QVERIFY(window->isBusy());
    fixture.messages.clear();
    window->on_actionPreferences_triggered();
    window->on_actionAbout_triggered();
    QCOMPARE(fixture.countMessages("Dongle in use , please stop current action"), 2);
    QCOMPARE(fixture.messages.first().title, QString("Error "));
    bool logShown = false;
    whenModalShown(
        [&](QWidget *dialog)
        {
            logShown = dialog == window->logDlg();
            dialog->close();
        });
    window->on_actionLog_triggered();
    QVERIFY(logShown);
    window->on_pushButton_SniffStop_clicked();
}

void WindowTest::preferencesOkUpdatesStatusAndKeepsGuiSettings()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->preferences()->gui.addFramesHiddenColumn("RSSI");
    whenModalShown(
        [](QWidget *dialog)
        {
            dialog->findChild<QComboBox *>("comboBox_WMBUSModeChoice")->setCurrentText("S");
            dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
        });
    window->on_actionPreferences_triggered();
    QCOMPARE(window->statusBarLabel()->text(),
             "Dongle @ port: " + window->preferences()->wmbus.getPort() + "   WM-Bus mode:S");
    QCOMPARE(window->preferences()->wmbus.getMode(), QString("S"));
    // The dialog's copy of the Gui settings is older than the window's: it must not replace them.
    QCOMPARE(window->preferences()->gui.getFramesHiddenColumns(), QStringList{"RSSI"});
}

void WindowTest::logDialogShowsLogFile()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QString shown;
    whenModalShown(
        [&](QWidget *dialog)
        {
            shown = dialog->findChild<QPlainTextEdit *>("plainTextEdit_log")->toPlainText();
            dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
        });
    window->on_actionLog_triggered();
    QVERIFY(shown.contains("Startup"));
    QVERIFY(!window->logDlg()->isVisible());
}

void WindowTest::textsFitAtDefaultSize()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    window->resize(890, 728);
    window->show();
    ui->tabWidget->setCurrentIndex(MainWindow::PageModuleConfig);
    ui->tabWidget_ModuleConf->setCurrentIndex(1);
    QVERIFY(QTest::qWaitForWindowExposed(window));

    // Every module type's name shows whole in the combo's text field.
    QComboBox *combo = ui->comboBox_ModuleType;
    QVERIFY(combo->count() > 0);
    auto fieldWidth = [combo]
    {
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.frame = combo->hasFrame();
        return combo->style()
            ->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, combo)
            .width();
    };
    int widest = 0;
    for (int i = 0; i < combo->count(); ++i)
        widest = qMax(widest, combo->fontMetrics().horizontalAdvance(combo->itemText(i)));
    QTRY_VERIFY(widest <= fieldWidth()); // once the page's layout has run

    // The status text ends inside the window, with room before its edge.
    QLabel *status = window->statusBarLabel();
    const QRect text = status->contentsRect().translated(status->mapTo(window, QPoint()));
    QVERIFY(status->fontMetrics().horizontalAdvance(status->text()) <= text.width());
    QVERIFY(text.right() < window->width() - 4);

    // A progress dialog has room for its title beside the title bar's buttons.
    QProgressDialog progress("Apply filter...", QString(), 0, 2000, window);
    progress.show();
    QFont bold = progress.font();
    bold.setBold(true);
    QVERIFY(progress.width() >= QFontMetrics(bold).horizontalAdvance(QGuiApplication::applicationDisplayName()) + 150);
}

QTEST_MAIN(WindowTest)
#include "tst_window.moc"
