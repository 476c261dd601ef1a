// The Parameters page against the real Tolvern and the modem emulator's commissioned module.
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
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

namespace
{
// Tolvern's own default key, which the emulated module holds.
const QString Key = "7C41D09A2E6B35F8A1C94E07B2D6F358";

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

QTreeWidgetItem *paramRow(MainWindow *window, const QString &code)
{
    QTreeWidget *tree = window->form()->treeWidget_Param;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
    {
        for (int j = 0; j < tree->topLevelItem(i)->childCount(); ++j)
        {
            if (tree->topLevelItem(i)->child(j)->text(1) == code)
                return tree->topLevelItem(i)->child(j);
        }
    }
    return nullptr;
}

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

class EndToEndTest : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("TOLVERN_SYSTEM_ROOT", systemRoot.path().toUtf8()); }

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
        tolvern_process::setProgramPath(TOLVERN_BINARY);
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

QTEST_MAIN(EndToEndTest)
#include "tst_e2e.moc"
