// The window against the real Tolvern and the modem emulator on a pseudo-terminal.
#include "CommissionedModule.h"
#include "HexBytes.h"
#include "MainWindow.h"
#include "ModemEmulator.h"
#include "WindowFixture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace
{
// Tolvern's own default key, which the emulated module holds.
const QString Key = "7C41D09A2E6B35F8A1C94E07B2D6F358";
// The module's own frame at its address 0x12345678d26a0107: what Tolvern waits for before it addresses it.
const char *const ModuleBeacon = "0E08D26A123456780107 7A01000000";
// send_period 120 and mode 1, as the module holds them before any write.
const char *const HeldValues = "04 FD 3A 78 00 00 00 01 FD 0E 01";

int withdrawals(ModemEmu::ModemEmulator &modem)
{
    int count = 0;
    for (const ModemEmu::RecordNote &event : modem.Record().Events())
        count += event.text.find("withdrawn by the host") != std::string::npos ? 1 : 0;
    return count;
}
} // namespace

class EndToEndWindowTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        qputenv("TOLVERN_SYSTEM_ROOT", systemRoot.path().toUtf8());
        tolvern_process::setProgramPath(TOLVERN_BINARY);
    }

    // The technician cancels a write while the module sleeps: when the module wakes later, nothing is
    // waiting for it in the modem, and it keeps the values it had.
    void cancelledWriteNeverReachesTheModule()
    {
        ModemEmu::ModemEmulator modem;
        ModemEmu::CommissionedConfig config;
        config.configuration = ModemEmu::ParseHex(HeldValues);
        // No frames of its own: the module sleeps until the test lets it wake.
        auto module = std::make_shared<ModemEmu::CommissionedModule>(config);
        modem.AddModule(module);
        modem.Start();

        WindowFixture fixture;
        fixture.writePrefs(
            [](xml_preferences &prefs)
            {
                prefs.wmbus.setTemplate(BACKEND_TEST_TEMPLATES);
                prefs.wmbus.setAes(Key);
                prefs.wmbus.setMode("T");
            });
        MainWindow *window = fixture.makeWindow();
        window->preferences()->wmbus.setPort(QString::fromStdString(modem.DevicePath()), true);
        QCOMPARE(window->form()->comboBox_ModuleType->currentText(), QString("gui_sensor_01"));
        tick(window, "send_period");
        paramRow(window, "send_period")->setText(2, "300");
        tick(window, "mode");
        paramRow(window, "mode")->setText(2, "2");

        bool connected = false;
        bool queued = false;
        QString afterCancel;
        whenModalShown(
            [&](QWidget *dialog)
            {
                auto *status = dialog->findChild<QLabel *>("label_moduleActivation");
                // The module's frame, heard now and then as the one Tolvern waits for; coming from no
                // scripted module, it does not wake the module.
                QTimer beacon;
                connect(&beacon, &QTimer::timeout, [&modem] { modem.ReceiveRadio(ModemEmu::ParseHex(ModuleBeacon)); });
                beacon.start(300);
                connected = QTest::qWaitFor([status] { return status->text().startsWith("Connected with: "); }, 60000);
                beacon.stop();
                queued = QTest::qWaitFor([&modem] { return !modem.MailboxEntries().empty(); }, 20000);
                dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
                afterCancel = status->text();
            },
            30000);
        window->on_pushButton_WriteParam_clicked();
        QVERIFY(connected);
        QVERIFY(queued);
        QCOMPARE(afterCancel, QString("Access cancelled"));
        QVERIFY(!window->isBusy());

        // The access ended once its stopped run had withdrawn the request and ended by itself.
        QTRY_VERIFY_WITH_TIMEOUT(fixture.logText().contains("~tolvern_process()"), 20000);
        QVERIFY(!fixture.logText().contains("Tolvern did not stop, killed"));
        QVERIFY(modem.MailboxEntries().empty());
        QCOMPARE(withdrawals(modem), 1);
        QVERIFY(fixture.messages.isEmpty());

        // The module wakes and takes whatever the modem holds for it.
        modem.DeliverMailbox();
        QVERIFY(module->Requests().empty());
        QCOMPARE(module->Configuration(), ModemEmu::ParseHex(HeldValues));
        modem.Stop();
    }

private:
    QTemporaryDir systemRoot;
};

QTEST_MAIN(EndToEndWindowTest)
#include "tst_e2e.moc"
