// The firmware-update page and the radio-test page with its installation files.
#include "Dialog_DongleOperation.h"
#include "FakeTolvern.h"
#include "MainWindow.h"
#include "WindowFixture.h"
#include "ui_MainWindow.h"
#include "xml_preferences.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QtTest>

namespace
{
QByteArray concentrator(const QByteArray &id, const QByteArray &status, int rssi, const QByteArray &uid)
{
    return "<mbus date=\"2026-01-02T10:00:00\">\n    <radio>\n        <rssi>" + QByteArray::number(rssi) +
           "</rssi>\n    </radio>\n    <header>\n        <Id>" + id +
           "</Id>\n        <Manufacturer>ZVR</Manufacturer>\n        <Medium>Communication controller</Medium>\n"
           "        <Status>" +
           status +
           "</Status>\n        <Type>SND-NKE</Type>\n        <Tpl>\n            <Id>11223344</Id>\n"
           "            <Manufacturer>ZVR</Manufacturer>\n            <Medium>Water</Medium>\n        </Tpl>\n"
           "    </header>\n    <records>\n        <record unit=\"Reserved VIF extension\" vife=\"0x73\">" +
           uid + "</record>\n    </records>\n</mbus>\n";
}

QString firmwareImage(const QString &dir, int size)
{
    const QString path = dir + "/image.bin";
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QByteArray(size, '\x5a'));
    return path;
}

int rowOfId(QTableWidget *table, const QString &id)
{
    for (int row = 0; row < table->rowCount(); ++row)
    {
        if (table->item(row, 0) && table->item(row, 0)->text() == id)
            return row;
    }
    return -1;
}

QString cell(QTableWidget *table, int row, int column)
{
    return table->item(row, column) ? table->item(row, column)->text() : QString("<none>");
}

RadioTestFrame_t answer(const QString &id, int uplink, int downlink, const QString &uid = "12345678")
{
    RadioTestFrame_t frame;
    frame.id = id;
    frame.uid = uid;
    frame.uplinkRssi = uplink;
    frame.downlinkRssi = downlink;
    return frame;
}
} // namespace

class PagesTest : public QObject
{
    Q_OBJECT
private slots:
    void chooseFirmwareFile();
    void updateRunsToSuccess();
    void updateProgressAndCancel();
    void cancelledUpdateSaysNothingMore();
    void updateFailures();
    void reportClosesOnlyTheActiveDialog();
    void rssiText_data();
    void rssiText();
    void radioTestRunsAndCounts();
    void radioTestRefusedWhileBusy();
    void answersAverageAndKeepTheirRows();
    void answersWithoutSignalStrength();
    void locationEditAndClear();
    void installationFileRoundTrip();
    void reopenedFileAndNewRunsAddUp();
    void installationFileFailures_data();
    void installationFileFailures();
};

void PagesTest::chooseFirmwareFile()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    fixture.chosenFiles << fixture.home() + "/missing.bin";
    window->on_toolButton_FirmwareFile_clicked();
    QVERIFY(fixture.logText().contains("File not found"));
    QVERIFY(!ui->pushButton_StartUpdate->isEnabled());
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();
    QCOMPARE(fixture.fileCaptions.last(), QString("Open firmware File"));
    QVERIFY(ui->pushButton_StartUpdate->isEnabled());
    QVERIFY(!ui->pushButton_cancel_update->isEnabled());
    QCOMPARE(ui->progressBar_FileTransfer->maximum(), 300);
    QCOMPARE(window->preferences()->gui.getFirmwareFile(), fixture.home() + "/image.bin");
    window->close();
    // The next start shows the file but waits for it to be chosen again.
    MainWindow *again = fixture.makeWindow();
    QCOMPARE(again->form()->lineEdit_FirmwareFile->text(), fixture.home() + "/image.bin");
    QVERIFY(!again->form()->pushButton_StartUpdate->isEnabled());
}

void PagesTest::updateRunsToSuccess()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.out("Got address a1b2c3d4e5f60107\n")
        .pause(200)
        .out("Sent 100 bytes\n")
        .pause(100)
        .out("Firmware with 300 bytes sent\n")
        .pause(100)
        .out("Update status: 0\n")
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();
    window->on_pushButton_StartUpdate_clicked(); // the first report closes the dialog
    QTRY_COMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.messages.first().kind, UserMessage::Kind::Plain);
    QCOMPARE(fixture.messages.first().text, QString("Firmware update status for module idd4c3b2a1\nsuccess"));
    const QStringList args = fake.recordedArgs();
    QCOMPARE(args.at(args.indexOf("-u") + 1), fixture.home() + "/image.bin");
    QVERIFY(!window->isBusy());
    QVERIFY(window->form()->pushButton_StartUpdate->isEnabled());
    QVERIFY(!window->form()->pushButton_cancel_update->isEnabled());
    QCOMPARE(window->form()->label_updateStatus->text(), QString("Update status: 0"));
}

void PagesTest::updateProgressAndCancel()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out("Got address a1b2c3d4e5f60107\n").runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();
    bool closedByReport = false;
    whenModalShown(
        [&](QWidget *dialog)
        {
            auto *label = dialog->findChild<QLabel *>("label_moduleActivation");
            (void)QTest::qWaitFor([label] { return label->text().startsWith("Connected with: "); }, 5000);
            window->on_UpdatePacketSent(120);
            closedByReport = !dialog->isVisible();
        });
    window->on_pushButton_StartUpdate_clicked();
    QVERIFY(closedByReport);
    QVERIFY(window->isBusy());
    QCOMPARE(ui->progressBar_FileTransfer->value(), 120);
    QCOMPARE(ui->label_updateModuleId->text(), QString("Firmware update for module: d4c3b2a1"));
    window->on_UpdatePacketSent(-1); // the whole image: the bootloader phase
    QCOMPARE(ui->progressBar_FileTransfer->value(), 300);
    window->UpdateTimer();
    window->UpdateTimer();
    QCOMPARE(ui->progressBar_BootLoader->value(), 2);
    window->on_UpdatePacketSent(300); // starts the phase again
    window->UpdateTimer();
    QCOMPARE(ui->progressBar_BootLoader->value(), 1);
    // Another file chosen meanwhile keeps the update's Cancel.
    fixture.chosenFiles << firmwareImage(fixture.home(), 500);
    window->on_toolButton_FirmwareFile_clicked();
    QVERIFY(ui->pushButton_cancel_update->isEnabled());
    QVERIFY(!ui->pushButton_StartUpdate->isEnabled());

    window->on_pushButton_cancel_update_clicked();
    QVERIFY(!window->isBusy());
    QCOMPARE(ui->progressBar_BootLoader->value(), 0);
    QVERIFY(!ui->pushButton_cancel_update->isEnabled());
    QCOMPARE(ui->label_updateModuleId->text(), QString());
    QTest::qWait(300);
    QVERIFY(fixture.messages.isEmpty()); // a stopped run reports no exit code
}

// What a cancelled update's run still prints while it ends reaches neither the page nor the dialog.
void PagesTest::cancelledUpdateSaysNothingMore()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home())
        .out("Got address a1b2c3d4e5f60107\n")
        .untilTerminated("Got address 1122334455667788\nSent 100 bytes\nUpdate status: 0\n", 1)
        .install();
    MainWindow *window = fixture.makeWindow();
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();
    whenModalShown(
        [](QWidget *dialog)
        {
            auto *label = dialog->findChild<QLabel *>("label_moduleActivation");
            (void)QTest::qWaitFor([label] { return label->text().startsWith("Connected with: "); }, 5000);
            dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
        });
    window->on_pushButton_StartUpdate_clicked();
    QVERIFY(!window->isBusy());
    QTRY_VERIFY(fixture.logText().contains("end of exec of command: 1"));
    QCOMPARE(window->operationDlg()->getModuleId(), QString("d4c3b2a1"));
    QCOMPARE(window->form()->progressBar_FileTransfer->value(), 0);
    QVERIFY(fixture.messages.isEmpty());
}

void PagesTest::updateFailures()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();

    // No module: Tolvern ends with 1 while the dialog waits.
    FakeTolvern(fixture.home()).out("No initial frame received!\n").exitCode(1).install();
    whenModalShown(
        [&](QWidget *dialog)
        {
            (void)QTest::qWaitFor([&] { return !fixture.messages.isEmpty(); }, 5000);
            dialog->close();
        });
    window->on_pushButton_StartUpdate_clicked();
    QCOMPARE(fixture.countMessages(" Error while executing tolvern command:\n error code = 1"), 1);
    QVERIFY(!window->isBusy());

    // The module refuses the image. Its first report comes once the dialog is in front, as a module's does
    // (the offscreen platform does not activate a window shown a second time by itself).
    FakeTolvern(fixture.home()).pause(500).out("Sent 300\nUpdate status: 3\n").runUntilKilled().install();
    whenModalShown([](QWidget *dialog) { QApplication::setActiveWindow(dialog); });
    window->on_pushButton_StartUpdate_clicked();
    QTRY_COMPARE(fixture.messages.size(), 2);
    QCOMPARE(fixture.messages.last().title, QString("error"));
    QVERIFY(fixture.messages.last().text.endsWith("\nerror (code: 3 )"));

    // Silence.
    FakeTolvern(fixture.home()).runUntilKilled().install();
    whenModalShown([](QWidget *dialog) { dialog->close(); });
    window->on_pushButton_StartUpdate_clicked();
    window->UpdateCliTimeOut();
    QCOMPARE(fixture.countMessages("Communication time out"), 1);
    QVERIFY(!window->isBusy());
    QTest::qWait(300);
    QCOMPARE(fixture.messages.size(), 3);
}

void PagesTest::reportClosesOnlyTheActiveDialog()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    fixture.chosenFiles << firmwareImage(fixture.home(), 300);
    window->on_toolButton_FirmwareFile_clicked();
    bool openBehind = false;
    bool closedInFront = false;
    whenModalShown(
        [&](QWidget *dialog)
        {
            // The user is in another program: the dialog waits for them.
            QApplication::setActiveWindow(nullptr);
            window->on_UpdatePacketSent(100);
            openBehind = dialog->isVisible();
            QApplication::setActiveWindow(dialog);
            window->on_UpdatePacketSent(120);
            closedInFront = !dialog->isVisible();
            if (dialog->isVisible())
                dialog->close();
        });
    window->on_pushButton_StartUpdate_clicked();
    QVERIFY(openBehind);
    QVERIFY(closedInFront);
    QCOMPARE(window->form()->progressBar_FileTransfer->value(), 120);
    window->on_pushButton_cancel_update_clicked();
}

void PagesTest::rssiText_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("60") << 60 << "52%  |  -60dBm";
    QTest::newRow("0") << 0 << "100%  |  -0dBm";
    QTest::newRow("127") << 127 << "0%  |  -127dBm";
    QTest::newRow("no signal strength") << int(RadioTestFrame_t::NoRssi) << "-";
}

void PagesTest::rssiText()
{
    QFETCH(int, value);
    QFETCH(QString, text);
    QCOMPARE(MainWindow::rssiText(value), text);
}

void PagesTest::radioTestRunsAndCounts()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.setRadioTestDuration(1); });
    // Every run hears concentrator A once and B twice.
    FakeTolvern(fixture.home())
        .out(concentrator("00000A0A", "78", 122, "305419896"))
        .pause(100)
        .out(concentrator("00000B0B", "64", 100, "1") + concentrator("00000B0B", "64", 100, "2"))
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    QCOMPARE(ui->progressBar_Installation->format(), QString("%vs/1s"));
    ui->lineEdit_LocationName->setText("Cellar");
    QVERIFY(ui->pushButton_InstallationStart->isEnabled());
    ui->spinBoxRadioTestCount->setValue(2);
    window->on_pushButton_InstallationStart_clicked();
    QVERIFY(window->isBusy());
    QCOMPARE(ui->progressBar_Installation->format(), QString("%vs/2s"));
    QVERIFY(!ui->pushButton_InstallationClear->isEnabled());
    QTRY_VERIFY_WITH_TIMEOUT(fixture.countMessages("   Test done  ") == 1, 10000);
    QCOMPARE(fixture.messages.last().title, QString("end "));
    QCOMPARE(fixture.messages.last().kind, UserMessage::Kind::Information);
    QVERIFY(!window->isBusy());
    QVERIFY(ui->pushButton_InstallationClear->isEnabled());
    QCOMPARE(window->preferences()->gui.getRadioTestCount(), 2);

    QTableWidget *table = ui->tableWidget_installation;
    QCOMPARE(table->rowCount(), 2);
    const int a = rowOfId(table, "00000A0A");
    QCOMPARE(cell(table, a, 1), QString("12345678"));
    QCOMPARE(cell(table, a, 2), QString("52%  |  -60dBm"));
    QCOMPARE(table->item(a, 2)->data(Qt::UserRole).toInt(), 60);
    QCOMPARE(table->item(a, 3)->data(Qt::UserRole).toInt(), 61);
    QCOMPARE(cell(table, a, 4), QString("2/2"));
    const int b = rowOfId(table, "00000B0B");
    QCOMPARE(cell(table, b, 1), QString("1")); // the first answer's Uid stays, without leading zeros
    QCOMPARE(cell(table, b, 4), QString("4/2"));
}

void PagesTest::radioTestRefusedWhileBusy()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    window->form()->lineEdit_LocationName->setText("Attic");
    window->on_pushButton_InstallationStart_clicked();
    QCOMPARE(fixture.countMessages("Dongle already in use "), 1);
    QVERIFY(!window->form()->progressBar_Installation->isEnabled());
    QCOMPARE(window->startedRuns(), 0);
    window->on_pushButton_SniffStop_clicked();
}

void PagesTest::answersAverageAndKeepTheirRows()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QTableWidget *table = window->form()->tableWidget_installation;
    table->sortItems(0, Qt::AscendingOrder);
    window->GetNewAnswer(answer("00000B0B", 60, 70, "B-uid"));
    window->GetNewAnswer(answer("00000A0A", 40, 50, "A-uid")); // sorts before the first
    window->GetNewAnswer(answer("00000B0B", 61, 80));
    const int a = rowOfId(table, "00000A0A");
    const int b = rowOfId(table, "00000B0B");
    QCOMPARE(cell(table, a, 1), QString("A-uid"));
    QCOMPARE(cell(table, a, 2), MainWindow::rssiText(40));
    QCOMPARE(cell(table, b, 1), QString("B-uid"));
    QCOMPARE(cell(table, b, 2), MainWindow::rssiText(61)); // (60 + 61) / 2 to the nearest dBm
    QCOMPARE(table->item(b, 2)->data(Qt::UserRole).toInt(), 61);
    QCOMPARE(table->item(b, 3)->data(Qt::UserRole).toInt(), 75);
    QCOMPARE(cell(table, b, 4), QString("2/0"));
    QCOMPARE(table->item(b, 0)->textAlignment(), int(Qt::AlignHCenter));
    // The mean of all answers, not a running mean cut at each step (that gave 63).
    for (int downlink : {65, 65, 63, 63})
        window->GetNewAnswer(answer("00000C0C", 10, downlink));
    QCOMPARE(table->item(rowOfId(table, "00000C0C"), 3)->data(Qt::UserRole).toInt(), 64);
    QCOMPARE(cell(table, rowOfId(table, "00000C0C"), 3), MainWindow::rssiText(64));
}

void PagesTest::answersWithoutSignalStrength()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    QTableWidget *table = window->form()->tableWidget_installation;
    constexpr int none = RadioTestFrame_t::NoRssi;
    // Answers without a value show none and stay out of the average of those that had one.
    window->GetNewAnswer(answer("00000A0A", none, 50));
    QCOMPARE(cell(table, 0, 2), QString("-"));
    window->GetNewAnswer(answer("00000A0A", 60, none));
    window->GetNewAnswer(answer("00000A0A", none, none));
    window->GetNewAnswer(answer("00000A0A", 62, 54));
    QCOMPARE(cell(table, 0, 2), MainWindow::rssiText(61));
    QCOMPARE(cell(table, 0, 3), MainWindow::rssiText(52));
    QCOMPARE(cell(table, 0, 4), QString("4/0"));

    // An opened file has only the texts: its "-" holds no value either.
    window->GetNewAnswer(answer("00000B0B", none, 20));
    const QString path = fixture.home() + "/site.xml";
    fixture.chosenFiles << path << path;
    window->on_actionSave_Installation_triggered();
    window->on_pushButton_InstallationClear_clicked();
    window->on_actionOpen_installation_triggered();
    const int b = rowOfId(table, "00000B0B");
    QCOMPARE(cell(table, b, 2), QString("-"));
    window->GetNewAnswer(answer("00000B0B", 40, none));
    QCOMPARE(cell(table, rowOfId(table, "00000B0B"), 2), MainWindow::rssiText(40));
}

void PagesTest::locationEditAndClear()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.setRadioTestCount(7); });
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    QCOMPARE(ui->spinBoxRadioTestCount->value(), 7);
    QVERIFY(!ui->pushButton_InstallationStart->isEnabled());
    window->GetNewAnswer(answer("00000A0A", 40, 50));
    ui->lineEdit_LocationName->setText("Garage");
    QVERIFY(ui->pushButton_InstallationStart->isEnabled());
    window->on_pushButton_InstallationClear_clicked();
    QCOMPARE(ui->tableWidget_installation->rowCount(), 0);
    QCOMPARE(ui->lineEdit_LocationName->text(), QString());
    QVERIFY(!ui->pushButton_InstallationStart->isEnabled());
    QVERIFY(!ui->tableWidget_installation->isEnabled());
}

void PagesTest::installationFileRoundTrip()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    ui->lineEdit_LocationName->setText("Cellar & \"north\"");
    window->GetNewAnswer(answer("00000A0A", 60, 61));
    window->GetNewAnswer(answer("00000B0B", 10, 20));
    const QString path = fixture.home() + "/site.xml";
    fixture.chosenFiles << path;
    window->on_actionSave_Installation_triggered();
    QCOMPARE(fixture.fileCaptions.last(), QString("Save installation file"));
    QCOMPARE(fixture.fileDirectories.last(), QString("Cellar & \"north\".xml"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QCOMPARE(lines.size(), 2 + 2 * 6 + 1); // the last line end leaves an empty piece
    QCOMPARE(lines.at(1), QString("\t<concentrator>"));
    QVERIFY(lines.at(2).startsWith("\t\t<id>"));

    window->on_pushButton_InstallationClear_clicked();
    fixture.chosenFiles << path;
    window->on_actionOpen_installation_triggered();
    QCOMPARE(ui->lineEdit_LocationName->text(), QString("Cellar & \"north\""));
    QTableWidget *table = ui->tableWidget_installation;
    QCOMPARE(table->rowCount(), 2);
    const int a = rowOfId(table, "00000A0A");
    QCOMPARE(cell(table, a, 2), QString("52%  |  -60dBm"));
    QCOMPARE(cell(table, a, 4), QString("1/0"));
    QCOMPARE(cell(table, a, 1), QString("<none>"));
    // An answer for an opened row averages with the file's answers.
    window->GetNewAnswer(answer("00000A0A", 62, 60));
    QCOMPARE(table->item(rowOfId(table, "00000A0A"), 2)->data(Qt::UserRole).toInt(), 61);
    QCOMPARE(cell(table, rowOfId(table, "00000A0A"), 4), QString("2/0"));
    // Opening again adds the rows once more.
    fixture.chosenFiles << path;
    window->on_actionOpen_installation_triggered();
    QCOMPARE(table->rowCount(), 4);
}

void PagesTest::reopenedFileAndNewRunsAddUp()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.setRadioTestDuration(1); });
    // Every run hears 00990001 once, at 69 dBm both ways; 00990002 is heard no more.
    FakeTolvern(fixture.home()).out(concentrator("00990001", "8A", 138, "1")).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    QTableWidget *table = ui->tableWidget_installation;
    auto runTest = [&](int runs)
    {
        const int done = fixture.countMessages("   Test done  ");
        ui->spinBoxRadioTestCount->setValue(runs);
        window->on_pushButton_InstallationStart_clicked();
        QTRY_VERIFY_WITH_TIMEOUT(fixture.countMessages("   Test done  ") == done + 1, 15000);
    };
    auto open = [&](const QString &path)
    {
        window->on_pushButton_InstallationClear_clicked();
        fixture.chosenFiles << path;
        window->on_actionOpen_installation_triggered();
    };

    // A file as older versions wrote it, without the answers behind its averages (a sum no answers could
    // give counts as none).
    const QString older = fixture.home() + "/older.xml";
    QFile file(older);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Text));
    file.write("<installation name=\"Cellar\">\n"
               "\t<concentrator>\n\t\t<id>00990001</id>\n\t\t<uplink_RSSI>52%  |  -60dBm</uplink_RSSI>\n"
               "\t\t<downlink_RSSI answers=\"3\" sum=\"9999\">48%  |  -65dBm</downlink_RSSI>\n"
               "\t\t<ratio>3/3</ratio>\n\t</concentrator>\n"
               "\t<concentrator>\n\t\t<id>00990002</id>\n\t\t<uplink_RSSI>52%  |  -60dBm</uplink_RSSI>\n"
               "\t\t<downlink_RSSI>52%  |  -60dBm</downlink_RSSI>\n\t\t<ratio>3/3</ratio>\n\t</concentrator>\n"
               "</installation>\n");
    file.close();
    open(older);
    runTest(1);
    int heard = rowOfId(table, "00990001");
    QCOMPARE(cell(table, heard, 2), MainWindow::rssiText(62)); // (3 x 60 + 69) / 4 = 62.25
    QCOMPARE(cell(table, heard, 3), MainWindow::rssiText(66)); // (3 x 65 + 69) / 4 = 66
    QCOMPARE(cell(table, heard, 4), QString("4/4"));
    QCOMPARE(cell(table, rowOfId(table, "00990002"), 4), QString("3/4"));

    // Two runs saved, reopened and run once more: the file keeps what the next run adds to.
    window->on_pushButton_InstallationClear_clicked();
    ui->lineEdit_LocationName->setText("Attic");
    runTest(2);
    heard = rowOfId(table, "00990001");
    QCOMPARE(cell(table, heard, 4), QString("2/2"));
    const QString saved = fixture.home() + "/attic.xml";
    fixture.chosenFiles << saved;
    window->on_actionSave_Installation_triggered();
    QFile savedFile(saved);
    QVERIFY(savedFile.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString text = QString::fromUtf8(savedFile.readAll());
    QVERIFY2(text.contains("<uplink_RSSI answers=\"2\" sum=\"138\">"), qPrintable(text));
    open(saved);
    runTest(1);
    heard = rowOfId(table, "00990001");
    QCOMPARE(cell(table, heard, 2), MainWindow::rssiText(69));
    QCOMPARE(cell(table, heard, 3), MainWindow::rssiText(69));
    QCOMPARE(cell(table, heard, 4), QString("3/3"));
}

void PagesTest::installationFileFailures_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QString>("location");
    QTest::newRow("not xml") << QByteArray("<installation") << "Failed parsing file" << 0 << "";
    QTest::newRow("other root") << QByteArray("<Installation name=\"x\"><a/></Installation>") << "wrong file  type" << 0
                                << "";
    QTest::newRow("empty") << QByteArray("<installation name=\"x\">\n</installation>\n") << "Empty installation file"
                           << 0 << "";
    QTest::newRow("no name, foreign child")
        << QByteArray("<installation><note/><concentrator><id>7</id><ratio>1/1</ratio></concentrator></installation>")
        << "" << 2 << "toto";
}

void PagesTest::installationFileFailures()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QFETCH(int, rows);
    QFETCH(QString, location);
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    const QString path = fixture.home() + "/in.xml";
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    file.close();
    fixture.chosenFiles << path;
    window->on_actionOpen_installation_triggered();
    if (message.isEmpty())
        QVERIFY(fixture.messages.isEmpty());
    else
        QCOMPARE(fixture.countMessages(message), 1);
    QTableWidget *table = window->form()->tableWidget_installation;
    QCOMPARE(table->rowCount(), rows);
    QCOMPARE(window->form()->lineEdit_LocationName->text(), location);
    if (rows == 2)
    {
        QCOMPARE(cell(table, rowOfId(table, "7"), 4), QString("1/1"));
        window->GetNewAnswer(answer("7", 10, 10));
        QCOMPARE(cell(table, rowOfId(table, "7"), 4), QString("2/1"));
    }
}

QTEST_MAIN(PagesTest)
#include "tst_pages.moc"
