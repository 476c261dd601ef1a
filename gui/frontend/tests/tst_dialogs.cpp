// The dialogs: module operation, preferences, modem detection, about and modem flashing.
#include "Dialog_DongleOperation.h"
#include "Dialog_about.h"
#include "Dialog_dongle_detection.h"
#include "FakeTolvern.h"
#include "FlashDongle.h"
#include "MainWindow.h"
#include "PreferencesWindow.h"
#include "WindowFixture.h"
#include "xml_preferences.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

Q_DECLARE_METATYPE(xml_preferences *)

namespace
{
const QByteArray ModemAnswer = "Tolvern version: 1.10\nAddress: 0102030405060708\nFirmware version: 1.4\n"
                               "Hardware version: 2.0\n";

QPushButton *okOf(QWidget *dialog)
{
    return dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok);
}

QString labelText(QWidget *dialog, const char *name)
{
    return dialog->findChild<QLabel *>(name)->text();
}

// A stand-in for the outside flashing tool, in a working directory of its own.
class FlashTool
{
public:
    explicit FlashTool(const QString &home) : dir(home + "/work"), previous(QDir::currentPath())
    {
        QDir().mkpath(dir + "/STFL");
        QDir::setCurrent(dir);
    }
    ~FlashTool() { QDir::setCurrent(previous); }
    void script(const QByteArray &body)
    {
        QFile file(dir + "/STFL/EraseFlashVerify.bat");
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write("#!/bin/sh\necho \"$@\" > " + (dir + "/args.txt").toUtf8() + "\n" + body + "\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    QString hexFile(int lines)
    {
        const QString path = dir + "/image.hex";
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        for (int i = 0; i < lines; ++i)
            file.write(":10000000\n");
        return path;
    }
    QString args() const
    {
        QFile file(dir + "/args.txt");
        file.open(QIODevice::ReadOnly);
        return QString::fromUtf8(file.readAll()).trimmed();
    }

private:
    QString dir;
    QString previous;
};

// Runs the flashing dialog's Start with the given file and waits for the tool's end.
QString flash(FlashDongle &dialog, const QString &file)
{
    dialog.show();
    dialog.findChild<QLineEdit *>("lineEdit")->setText(file);
    dialog.on_pushButtonStart_clicked();
    auto *exit = dialog.findChild<QPushButton *>("pushButtonExit");
    if (!QTest::qWaitFor([exit] { return exit->isEnabled(); }, 5000))
        return "<no end>";
    return labelText(&dialog, "labelStatus");
}
} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT
private slots:
    void operationDialogStates();
    void operationDialogButtonsEmitOnce();
    void preferencesShowAndAccept();
    void preferencesCancelWritesNothing();
    void detectionFindsModem();
    void detectionEndsWithoutModem();
    void aboutShowsVersions();
    void aboutWithoutPortOrRecord();
    void flashTotals();
    void flashRuns();
    void flashToolMissingOrNotStarted();
    void flashHoldsTheModemUntilTheToolEnds();
};

void DialogsTest::operationDialogStates()
{
    WindowFixture fixture;
    Dialog_DongleOperation dialog(nullptr, nullptr);
    QCOMPARE(dialog.getModuleId(), QString());
    dialog.show();
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("Please activate the module"));
    // No picture in the working directory of the tests: its place keeps the word.
    QCOMPARE(labelText(&dialog, "label_Wait"), QString(" waiting"));
    dialog.ModuleConnected("a1b2c3d4e5f60107");
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("Connected with: d4c3b2a1"));
    dialog.ModuleConnected("0102030405060708");
    QCOMPARE(dialog.getModuleId(), QString("04030201"));
    auto *ok = dialog.findChild<QPushButton *>("pushButton_Ok");
    auto *cancel = dialog.findChild<QPushButton *>("pushButton_Cancel");
    QVERIFY(!ok->isEnabled());
    dialog.EndOfConfigAccess(false);
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("failed "));
    QVERIFY(!ok->isEnabled());
    QVERIFY(cancel->isVisible());
    dialog.EndOfConfigAccess(true);
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("succes"));
    QVERIFY(ok->isEnabled());
    QVERIFY(!cancel->isVisible());
    // The next showing gives the way out back, picture or not.
    dialog.hide();
    dialog.show();
    QVERIFY(cancel->isVisible());
    QVERIFY(!ok->isEnabled());
    QCOMPARE(labelText(&dialog, "label_Wait"), QString(" waiting"));
    QCOMPARE(dialog.getModuleId(), QString("04030201"));
}

void DialogsTest::operationDialogButtonsEmitOnce()
{
    WindowFixture fixture;
    Dialog_DongleOperation dialog(nullptr, nullptr);
    QSignalSpy accepted(&dialog, &Dialog_DongleOperation::OperationAccepted);
    QSignalSpy canceled(&dialog, &Dialog_DongleOperation::OperationCanceled);
    dialog.show();
    dialog.EndOfConfigAccess(true);
    dialog.findChild<QPushButton *>("pushButton_Ok")->click();
    QCOMPARE(accepted.count(), 1);
    QVERIFY(!dialog.isVisible());
    dialog.show();
    dialog.findChild<QPushButton *>("pushButton_Cancel")->click();
    QCOMPARE(canceled.count(), 1);
    // A cancelled access stays cancelled, whatever its stopped run still reports.
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("Access cancelled"));
    dialog.EndOfConfigAccess(true);
    QCOMPARE(labelText(&dialog, "label_moduleActivation"), QString("Access cancelled"));
    QVERIFY(!dialog.findChild<QPushButton *>("pushButton_Ok")->isEnabled());
    dialog.show();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(accepted.count() + canceled.count(), 2);
}

void DialogsTest::preferencesShowAndAccept()
{
    WindowFixture fixture;
    const QString longKey = "00112233445566778899AABBCCDDEEFF99";
    fixture.writePrefs(
        [&](xml_preferences &prefs)
        {
            prefs.wmbus.setPort("ttyNONE9", true);
            prefs.wmbus.setMode("Ne");
            prefs.wmbus.setAes(longKey);
        });
    qRegisterMetaType<xml_preferences *>();
    PreferencesWindow dialog(nullptr, nullptr);
    QSignalSpy updated(&dialog, &PreferencesWindow::UpateConf);
    dialog.show();
    auto *ports = dialog.findChild<QComboBox *>("comboBox_ComPortChoice");
    QCOMPARE(ports->currentText(), QString("----")); // the stored port is not present
    QCOMPARE(dialog.findChild<QComboBox *>("comboBox_WMBUSModeChoice")->currentText(), QString("Ne"));
    QCOMPARE(dialog.findChild<QLineEdit *>("lineEdit_AESKeyInput")->text(), longKey.left(32));
    okOf(&dialog)->click();
    QCOMPARE(updated.count(), 1);
    xml_preferences saved;
    QCOMPARE(saved.wmbus.getPort(), QString("ttyNONE9"));
    QCOMPARE(saved.wmbus.getAes(), longKey);

    // Choosing "----" stores no port.
    dialog.show();
    ports->setCurrentIndex(ports->count() - 1);
    ports->setCurrentText("----");
    okOf(&dialog)->click();
    xml_preferences none;
    QCOMPARE(none.wmbus.getPort(), QString("----"));
    QVERIFY(!none.wmbus.isPortSet());
    QCOMPARE(updated.count(), 2);
    QCOMPARE(updated.last().at(0).value<xml_preferences *>()->wmbus.getPort(), QString("----"));
}

void DialogsTest::preferencesCancelWritesNothing()
{
    WindowFixture fixture;
    qRegisterMetaType<xml_preferences *>();
    PreferencesWindow dialog(nullptr, nullptr);
    QSignalSpy updated(&dialog, &PreferencesWindow::UpateConf);
    dialog.show();
    auto *key = dialog.findChild<QLineEdit *>("lineEdit_AESKeyInput");
    const QString stored = key->text();
    QTest::keyClicks(key, "ABC");
    dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Cancel)->click();
    QCOMPARE(updated.count(), 0);
    QCOMPARE(xml_preferences().wmbus.getAes(), stored);
    dialog.show();
    QCOMPARE(key->text(), stored);
}

void DialogsTest::detectionFindsModem()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.out(ModemAnswer).runUntilKilled().install();
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("----", false); });
    Dialog_dongle_detection dialog(nullptr, nullptr);
    dialog.show();
    QVERIFY(!okOf(&dialog)->isEnabled());
    QCOMPARE(labelText(&dialog, "label_status"), QString("Test port:----"));
    QTRY_COMPARE(labelText(&dialog, "label_status"), QString("found dongle on port: ----"));
    QVERIFY(okOf(&dialog)->isEnabled());
    const QStringList args = fake.recordedArgs();
    QVERIFY(args.contains("-m"));
    okOf(&dialog)->click();
    xml_preferences saved;
    QCOMPARE(saved.wmbus.getPort(), QString("----"));
}

void DialogsTest::detectionEndsWithoutModem()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("ttyNONE9", true); });
    Dialog_dongle_detection dialog(nullptr, nullptr);
    dialog.show();
    const QStringList ports = xml_preferences().wmbus.getPortList();
    for (int i = 1; i < ports.size(); ++i)
    {
        dialog.DetectionTimeOut();
        QCOMPARE(labelText(&dialog, "label_status"), "Test port:" + ports.at(i));
        QVERIFY(!okOf(&dialog)->isEnabled());
    }
    dialog.DetectionTimeOut();
    QCOMPARE(labelText(&dialog, "label_status"), QString("Dongle not found!!"));
    QVERIFY(okOf(&dialog)->isEnabled());
    QCOMPARE(xml_preferences().wmbus.getPort(), QString("----"));
    okOf(&dialog)->click();
    QCOMPARE(xml_preferences().wmbus.getPort(), QString("----"));
}

void DialogsTest::aboutShowsVersions()
{
    QCOMPARE(Dialog_about::versionToString(258), QString("1.2"));
    QCOMPARE(Dialog_about::versionToString(266), QString("1.10"));
    QCOMPARE(Dialog_about::versionToString(0), QString("0.0"));
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("ttyUSB7", true); });
    FakeTolvern fake(fixture.home());
    fake.out(ModemAnswer).runUntilKilled().install();
    Dialog_about dialog(nullptr, nullptr);
    dialog.show();
    QCOMPARE(labelText(&dialog, "label_HLVTB_Version"), QString("1.2"));
    QTRY_COMPARE(labelText(&dialog, "label_DongleFirmwareVersion"), QString("1.4"));
    QCOMPARE(labelText(&dialog, "label_DongleHardwareVersion"), QString("2.0"));
    QCOMPARE(labelText(&dialog, "label_TOLVERN_Version"), QString("1.10"));
    QCOMPARE(labelText(&dialog, "label_DongleRadioId"), QString("0102030405060708"));
    QVERIFY(fake.recordedArgs().contains("/dev/ttyUSB7"));
    // Showing again asks again, on the port now stored.
    dialog.hide();
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("ttyUSB8", true); });
    dialog.show();
    QCOMPARE(labelText(&dialog, "label_DongleFirmwareVersion"), QString("..."));
    QTRY_VERIFY(fake.recordedArgs().contains("/dev/ttyUSB8"));
    dialog.findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok)->click();
}

void DialogsTest::aboutWithoutPortOrRecord()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.wmbus.setPort("----", false); });
    FakeTolvern fake(fixture.home());
    fake.out(ModemAnswer).install();
    Dialog_about dialog(nullptr, nullptr);
    dialog.show();
    QTest::qWait(300);
    QCOMPARE(labelText(&dialog, "label_TOLVERN_Version"), QString("..."));
    QVERIFY(!QFile::exists(fake.argsFile()));
    dialog.UpdateAboutInfo(nullptr);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(fixture.countMessages("Tolvern command execution failed"), 1);
}

void DialogsTest::flashTotals()
{
    WindowFixture fixture;
    FlashTool tool(fixture.home());
    QCOMPARE(FlashDongle::totalFor(tool.hexFile(1700)), 100);
    QCOMPARE(FlashDongle::totalFor(tool.hexFile(16)), 235);
    QCOMPARE(FlashDongle::totalFor(fixture.home() + "/missing.hex"), 235);
    QCOMPARE(FlashDongle::toolArguments("COM3", "a b.hex"), QString(" 3 \"a b.hex\""));
    QCOMPARE(FlashDongle::toolArguments("----", "x.hex"), QString(" - \"x.hex\""));
    bool present = false;
    QCOMPARE(FlashDongle::progressCount("verifying  at 51", &present), 51);
    QVERIFY(present);
    QCOMPARE(FlashDongle::progressCount("verifying at x", &present), 0);
    QVERIFY(!present);
}

void DialogsTest::flashRuns()
{
    WindowFixture fixture;
    FlashTool tool(fixture.home());
    xml_preferences prefs;
    prefs.wmbus.setPort("COM12", true);
    FlashDongle dialog(nullptr, &prefs, nullptr);
    const QString hex = tool.hexFile(1700); // total 100
    auto *write = dialog.findChild<QProgressBar *>("progressBarWrite");
    auto *verify = dialog.findChild<QProgressBar *>("progressBarVerify");

    tool.script("echo ERASING\necho 'block downloading at 40'\necho 'block verifying at 51'\necho 'x y'\n"
                "echo 'block downloading at 999'");
    QCOMPARE(flash(dialog, hex), QString("Dongle firmware updated: success"));
    QCOMPARE(tool.args(), "12 " + hex);
    QCOMPARE(write->value(), 40); // 999 % lies outside the bar
    QCOMPARE(verify->value(), 51);

    tool.script("echo 'block verifying at 50'\necho 'oops' >&2");
    QCOMPARE(flash(dialog, hex), QString("Dongle firmware updated: failed (oops)"));
    QCOMPARE(verify->value(), 50);

    // A failure line: its text, blanks reduced and "[KO]" taken out, is the reason; a line with both words
    // counts as progress only.
    tool.script("echo 'block downloading at 10 KO'\necho '[KO]   write   error'\nsleep 5");
    QCOMPARE(flash(dialog, hex), QString("Dongle firmware updated: failed ( write error)"));
    QCOMPARE(write->value(), 10);

    // No error text this time: the last one stays.
    tool.script("echo VERIFYING");
    QCOMPARE(flash(dialog, hex), QString("Dongle firmware updated: failed ( write error)"));

    dialog.hide();
    dialog.show();
    QCOMPARE(labelText(&dialog, "labelStatus"), QString());
    QVERIFY(!verify->isEnabled());
    QVERIFY(write->isEnabled());
}

void DialogsTest::flashToolMissingOrNotStarted()
{
    WindowFixture fixture;
    FlashTool tool(fixture.home());
    xml_preferences prefs;
    FlashDongle dialog(nullptr, &prefs, nullptr);
    dialog.show();
    dialog.on_pushButtonStart_clicked();
    QCOMPARE(fixture.countMessages("flasher tool not found: STFL/EraseFlashVerify.bat"), 1);
    // A tool that exists but cannot be run gives the buttons back.
    tool.script("echo never");
    QFile::setPermissions("STFL/EraseFlashVerify.bat", QFile::ReadOwner | QFile::WriteOwner);
    QVERIFY(flash(dialog, tool.hexFile(20)).startsWith("Dongle firmware updated: failed ("));
}

void DialogsTest::flashHoldsTheModemUntilTheToolEnds()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out(ModemAnswer).install(); // the about dialog asks again after the flash
    FlashTool tool(fixture.home());
    tool.script("echo ERASING\nsleep 1\necho 'block verifying at 200'");
    MainWindow *window = fixture.makeWindow();
    FlashDongle *flash = window->aboutDlg()->flashDialog();
    flash->show();
    flash->findChild<QLineEdit *>("lineEdit")->setText(tool.hexFile(20));
    flash->on_pushButtonStart_clicked();
    QTRY_COMPARE(labelText(flash, "labelStatus"), QString("Erasing ..."));
    // Neither Escape nor the window's close button leaves the dialog while the tool runs.
    QTest::keyClick(flash, Qt::Key_Escape);
    QVERIFY(flash->isVisible());
    QVERIFY(!flash->close());
    QVERIFY(flash->isVisible());
    QVERIFY(window->isBusy());
    window->on_pushButton_SniffStart_clicked();
    QCOMPARE(fixture.countMessages("Dongle already in use "), 1);
    window->on_actionAbout_triggered();
    QCOMPARE(fixture.countMessages("Dongle in use , please stop current action"), 1);

    auto *exit = flash->findChild<QPushButton *>("pushButtonExit");
    QTRY_VERIFY_WITH_TIMEOUT(exit->isEnabled(), 10000);
    QCOMPARE(labelText(flash, "labelStatus"), QString("Dongle firmware updated: success"));
    QVERIFY(!window->isBusy());
    QTest::keyClick(flash, Qt::Key_Escape);
    QVERIFY(!flash->isVisible());
}

QTEST_MAIN(DialogsTest)
#include "tst_dialogs.moc"
