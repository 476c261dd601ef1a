// The window against the real Tolvern and the modem emulator on a pseudo-terminal.
#include "CommissionedModule.h"
#include "ConfigDocument.h"
#include "HexBytes.h"
#include "MainWindow.h"
#include "ModemEmulator.h"
#include "WindowFixture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>
#include <memory>

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

// Items under vendor VIFs of one, two, three and four bytes; the last may hold negative values.
QByteArray item(const QByteArray &name, const QByteArray &vib, const QByteArray &dib, const QByteArray &min,
                const QByteArray &max)
{
    return "<config><name>" + name + "</name><pretty_name>" + name + "</pretty_name><description>" + name +
           "</description><vib>" + vib + "</vib><dib>" + dib +
           "</dib><access_right>rw</access_right><validation><min>" + min + "</min><max>" + max +
           "</max></validation><section>Radio</section></config>";
}

const QByteArray VendorTemplate =
    "<template><id>zv_vendor_01</id><configs>" + item("level", "0xFF40", "0x01", "0", "255") +
    item("count", "0xFF41", "0x02", "0", "65535") + item("total", "0xFF42", "0x03", "0", "16777215") +
    item("offset", "0xFF43", "0x04", "-1000", "1000") + "</configs></template>";

// The values written, and the records the module then holds.
const QList<QPair<QString, QString>> Values{
    {"level", "200"}, {"count", "54321"}, {"total", "16777215"}, {"offset", "-5"}};
const char *const HeldRecords = "01 FF 40 C8 02 FF 41 31 D4 03 FF 42 FF FF FF 04 FF 43 FB FF FF FF";

// Types a value as the user does: double click, then the editor's commit (which is validated).
void type(MainWindow *window, const QString &code, const QString &value)
{
    QTreeWidgetItem *row = paramRow(window, code);
    window->on_treeWidget_Param_itemDoubleClicked(row, 2);
    row->setText(2, value);
}

// Runs one access of the page through the operation dialog and returns the dialog's last status: OK once the
// access has succeeded, else Cancel when the dialog stops waiting.
QString access(MainWindow *window, bool write)
{
    QString status;
    whenModalShown(
        [&status](QWidget *dialog)
        {
            auto *ok = dialog->findChild<QPushButton *>("pushButton_Ok");
            const bool done = QTest::qWaitFor([ok] { return ok->isEnabled(); }, 90000);
            status = dialog->findChild<QLabel *>("label_moduleActivation")->text();
            dialog->findChild<QPushButton *>(done ? "pushButton_Ok" : "pushButton_Cancel")->click();
        });
    if (write)
        window->on_pushButton_WriteParam_clicked();
    else
        window->on_pushButton_ReadParam_clicked();
    return status;
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

    // 200 in one byte, 54321 in two and 16777215 in three come back from the decoder as -56, -11215 and -1;
    // the page shows, saves and writes again what was written, and -5 where the template allows negatives.
    void unsignedValuesReadBackAsWritten()
    {
        ModemEmu::ModemEmulator modem;
        ModemEmu::CoreConfig core;
        core.delivery = ModemEmu::MailboxDelivery::Immediate;
        modem.SetConfig(core);
        ModemEmu::CommissionedConfig config;
        config.beaconPeriod = std::chrono::milliseconds(500);
        auto module = std::make_shared<ModemEmu::CommissionedModule>(config);
        modem.AddModule(module);
        modem.Start();

        WindowFixture fixture;
        const QString templates = fixture.home() + "/templates";
        QDir().mkpath(templates);
        QFile file(templates + "/zv_vendor_01.xml");
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(VendorTemplate);
        file.close();
        const QString port = QString::fromStdString(modem.DevicePath());
        fixture.writePrefs(
            [&](xml_preferences &prefs)
            {
                prefs.wmbus.setTemplate(templates);
                prefs.wmbus.setPort(port, true);
                prefs.wmbus.setMode("T");
                prefs.wmbus.setAes(Key);
            });
        MainWindow *window = fixture.makeWindow();
        for (const auto &value : Values)
            type(window, value.first, value.second);
        QCOMPARE(access(window, true), QString("succes"));
        QCOMPARE(module->Configuration(), ModemEmu::ParseHex(HeldRecords));

        for (const auto &value : Values)
            paramRow(window, value.first)->setText(2, QString());
        QCOMPARE(access(window, false), QString("succes"));
        for (const auto &value : Values)
        {
            QCOMPARE(paramRow(window, value.first)->text(2), value.second);
            QCOMPARE(paramRow(window, value.first)->text(3), value.second);
        }

        const QString saved = fixture.home() + "/vendor.xml";
        fixture.chosenFiles << saved;
        window->on_actionSave_config_as_triggered();
        QCOMPARE(ConfigDocument(saved).toXml(),
                 QString("<config id=\"zv_vendor_01\" hlvtb_version=\"1.2\">\n\t<level>200</level>\n"
                         "\t<count>54321</count>\n\t<total>16777215</total>\n\t<offset>-5</offset>\n</config>\n"));
        fixture.chosenFiles << saved;
        window->on_actionOpen_Config_triggered();
        QCOMPARE(access(window, true), QString("succes"));
        QVERIFY(fixture.messages.isEmpty());
        QCOMPARE(module->Configuration(), ModemEmu::ParseHex(HeldRecords));
        modem.Stop();
    }

private:
    QTemporaryDir systemRoot;
};

QTEST_MAIN(EndToEndWindowTest)
#include "tst_e2e.moc"
