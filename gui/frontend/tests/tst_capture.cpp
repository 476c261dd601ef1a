// The capture page: a run against a stand-in Tolvern, the two lists, the filter and capture files.
#include "FakeTolvern.h"
#include "MainWindow.h"
#include "WindowFixture.h"
#include "tolvern_process.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"
#include "xml_preferences.h"

#include <QClipboard>
#include <QMenu>
#include <QtTest>

namespace
{
constexpr qint64 T0 = 1767348000000; // a reception time of the capture files below

QTreeWidgetItem *childWithId(QTreeWidgetItem *manufacturer, const QString &id)
{
    for (int i = 0; i < manufacturer->childCount(); ++i)
    {
        if (manufacturer->child(i)->text(0) == id)
            return manufacturer->child(i);
    }
    return nullptr;
}

QString writeCapture(const QString &dir, const QString &name, const QList<FrameDoc> &frames,
                     const QByteArray &between = QByteArray())
{
    const QString path = dir + "/" + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("<recorded_frames>");
    for (int i = 0; i < frames.size(); ++i)
    {
        if (i == 1)
            file.write(between);
        file.write(frames.at(i).toXml());
    }
    file.write("</recorded_frames>");
    return path;
}

FrameDoc frame(const QByteArray &id, qint64 time, const QByteArray &type = "SND-NR", int rssi = 141)
{
    FrameDoc doc;
    doc.id = id;
    doc.time = time;
    doc.type = type;
    doc.rssi = rssi;
    return doc;
}

// Opens a capture file of the given frames through the File menu's Open.
void openCapture(WindowFixture &fixture, const QList<FrameDoc> &frames, const QByteArray &between = QByteArray())
{
    fixture.chosenFiles << writeCapture(fixture.home(), "capture.xml", frames, between);
    fixture.window()->on_actionOpen_Trace_triggered();
}
} // namespace

class CaptureTest : public QObject
{
    Q_OBJECT
private slots:
    void runListsFramesAndStopEndsIt();
    void stopKeepsFramesPrintedUntilTheEnd();
    void startRefusedWhileBusy();
    void errorExitShowsCodeAndKeepsRunOpen();
    void stopAfterErrorLeavesAnotherOperationBusy();
    void missingOrCrashingTolvernIsReported();
    void openRefusedWhileCaptureRuns();
    void filterTypedDuringRunDecidesListing();
    void newCaptureEmptiesViewsNotStore();
    void durationLabel_data();
    void durationLabel();
    void frameRowCells();
    void timeAndDeltaColumns();
    void moduleListCountsPerManufacturerAndId();
    void headerClicksAlternateSortOrder();
    void selectedRowShowsItsFramesXml();
    void saveAndOpenRoundTrip();
    void saveWithoutFramesIsRefused();
    void unwritableCaptureFileIsReported();
    void openStepsOverCommentsAndOtherElements();
    void openMalformedFileKeepsCurrentCapture();
    void filterSelectsFrames_data();
    void filterSelectsFrames();
    void filterHistory();
    void applyWithoutStoreKeepsHistory();
    void cellMenuEntriesPerColumn_data();
    void cellMenuEntriesPerColumn();
    void cellMenuWritesConditions();
    void joinedEntriesReadWholeInTheOpenMenu();
    void cellMenusActOnTheClickedCellDuringARun();
    void frameCountAfterStopIsTheListedCount();
    void selectModuleFiltersById();
    void copyPutsCellOnClipboard();
    void hiddenColumnsSurviveRestart();
};

void CaptureTest::runListsFramesAndStopEndsIt()
{
    WindowFixture fixture;
    FakeTolvern fake(fixture.home());
    fake.out(frame("11111111", -1).toXml() + frame("22222222", -1).toXml())
        .pause(300)
        .out("log line\n" + frame("11111111", -1).toXml())
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    window->on_pushButton_SniffStart_clicked();
    QVERIFY(window->isBusy());
    QVERIFY(!ui->pushButton_SniffStart->isEnabled());
    QVERIFY(ui->pushButton_SniffStop->isEnabled());
    QTRY_COMPARE(ui->treeWidget_FrameList->topLevelItemCount(), 3);
    QVERIFY(fake.recordedArgs().contains("-l"));
    // The newest row is current, so its document is on show.
    QVERIFY(ui->plainTextEdit_XmlFrame->toPlainText().contains("11111111"));
    QCOMPARE(ui->treeWidget_ModuleList->topLevelItemCount(), 1);
    QCOMPARE(ui->treeWidget_ModuleList->topLevelItem(0)->childCount(), 2);
    QTRY_VERIFY(ui->label_statusCapture->text().startsWith("Time count: 1s  frame count: 3 "));

    window->on_pushButton_SniffStop_clicked();
    QVERIFY(!window->isBusy());
    QVERIFY(ui->pushButton_SniffStart->isEnabled());
    QVERIFY(!ui->pushButton_SniffStop->isEnabled());
    QCOMPARE(window->currentCaptureStore()->getFrames().size(), 3);
    QTest::qWait(200);
    QVERIFY(fixture.messages.isEmpty()); // a killed run raises no error box

    // A new run starts from an empty store and numbers from 1 again.
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(ui->treeWidget_FrameList->topLevelItemCount(), 3);
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
    window->on_pushButton_SniffStop_clicked();
}

// Stop asks Tolvern to end: the frames it prints until it has ended are stored and listed, and its exit
// code after the stop raises no box.
void CaptureTest::stopKeepsFramesPrintedUntilTheEnd()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home())
        .out(frame("11111111", -1).toXml())
        .untilTerminated(frame("22222222", -1).toXml() + "Tolv_Main.cpp:88 Run stopped\n", 1)
        .install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(ui->treeWidget_FrameList->topLevelItemCount(), 1);
    window->on_pushButton_SniffStop_clicked();
    QVERIFY(!window->isBusy());
    QTRY_COMPARE(window->currentCaptureStore()->count(), 2);
    QTRY_COMPARE(listedNumbers(window), (QList<int>{1, 2}));
    QTRY_VERIFY(fixture.logText().contains("end of exec of command: 1"));
    QVERIFY(fixture.messages.isEmpty());
}

void CaptureTest::startRefusedWhileBusy()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out(frame("11111111", -1).toXml()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 1);
    xml_capture *store = window->currentCaptureStore();
    window->on_pushButton_SniffStart_clicked();
    window->on_pushButton_basics_clicked();
    QCOMPARE(fixture.countMessages("Dongle already in use "), 2);
    QCOMPARE(fixture.messages.first().title, QString("Error "));
    QCOMPARE(window->currentCaptureStore(), store);
    QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 1);
    window->on_pushButton_SniffStop_clicked();
}

void CaptureTest::errorExitShowsCodeAndKeepsRunOpen()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out(frame("11111111", -1).toXml()).exitCode(1).install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.messages.first().title, QString("Error "));
    QCOMPARE(fixture.messages.first().text, QString(" Error while executing tolvern command:\n error code = 1"));
    QVERIFY(!window->isBusy());
    QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 1);
    QVERIFY(window->form()->pushButton_SniffStop->isEnabled());
    QVERIFY(!window->form()->pushButton_SniffStart->isEnabled());
    window->on_pushButton_SniffStop_clicked();
    QVERIFY(window->form()->pushButton_SniffStart->isEnabled());
}

void CaptureTest::stopAfterErrorLeavesAnotherOperationBusy()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).exitCode(1).install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(fixture.messages.size(), 1);
    // The flag is free again, so another operation takes it before the user presses Stop.
    FakeTolvern(fixture.home()).runUntilKilled().install();
    bool busyAfterStop = false;
    whenModalShown(
        [&](QWidget *dialog)
        {
            window->on_pushButton_SniffStop_clicked();
            busyAfterStop = window->isBusy();
            dialog->findChild<QPushButton *>("pushButton_Cancel")->click();
        });
    window->on_pushButton_basics_clicked();
    QVERIFY(busyAfterStop);
}

void CaptureTest::missingOrCrashingTolvernIsReported()
{
    WindowFixture fixture;
    tolvern_process::setProgramPath(fixture.home() + "/no-such-tolvern");
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(fixture.messages.size(), 1);
    // The box says why, not only the log.
    QCOMPARE(fixture.messages.first().text, " Error while executing tolvern command:\n error code = " +
                                                QString::number(tolvern_process::ExitNotStarted) +
                                                "\n Tolvern not found " + fixture.home() + "/no-such-tolvern");
    QVERIFY(fixture.logText().contains("Tolvern not found"));
    QVERIFY(!window->isBusy());
    window->on_pushButton_SniffStop_clicked();

    FakeTolvern(fixture.home()).out(frame("11111111", -1).toXml()).crash().install();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(fixture.messages.size(), 2);
    QCOMPARE(fixture.messages.last().text, " Error while executing tolvern command:\n error code = " +
                                               QString::number(tolvern_process::ExitCrashed) + "\n Tolvern crashed");
    QCOMPARE(window->currentCaptureStore()->getFrames().size(), 1); // what came before the crash stays
    window->on_pushButton_SniffStop_clicked();
}

void CaptureTest::openRefusedWhileCaptureRuns()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).out(frame("11111111", -1).toXml()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(window->currentCaptureStore()->getFrames().size(), 1);
    xml_capture *store = window->currentCaptureStore();
    fixture.chosenFiles << writeCapture(fixture.home(), "other.xml", {frame("22222222", T0)});
    window->on_actionOpen_Trace_triggered();
    QCOMPARE(fixture.countMessages("Dongle already in use "), 1);
    QCOMPARE(window->currentCaptureStore(), store);
    window->on_pushButton_SniffStop_clicked();
    fixture.chosenFiles << fixture.home() + "/other.xml";
    window->on_actionOpen_Trace_triggered();
    QCOMPARE(window->currentCaptureStore()->getFrames().first().getData().Id, QString("22222222"));
}

void CaptureTest::filterTypedDuringRunDecidesListing()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home())
        .out(frame("11111111", -1).toXml())
        .pause(400)
        .out(frame("22222222", -1, "RSP-UD").toXml() + frame("33333333", -1).toXml())
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 1);
    window->form()->comboBox_FilterInput->setCurrentText("mbus.header.Type == \"RSP-UD\"");
    QTRY_COMPARE(window->currentCaptureStore()->getFrames().size(), 3);
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2}));
    QCOMPARE(window->form()->treeWidget_FrameList->currentItem()->text(6), QString("22222222"));
    window->on_pushButton_SniffStop_clicked();
}

void CaptureTest::newCaptureEmptiesViewsNotStore()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000)});
    window->form()->actionNew_capture->trigger();
    QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 0);
    QCOMPARE(window->form()->treeWidget_ModuleList->topLevelItemCount(), 0);
    QCOMPARE(window->form()->label_statusCapture->text(), QString());
    QCOMPARE(window->currentCaptureStore()->getFrames().size(), 2);
    // The store still serves the filter's re-listing.
    window->on_pushButton_clearfilter_clicked();
    QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 2);
}

void CaptureTest::durationLabel_data()
{
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("frames");
    QTest::addColumn<QString>("label");
    QTest::newRow("empty store") << 1 << 0 << "Time count: 1s  ";
    QTest::newRow("59 s") << 59 << 2 << "Time count: 59s  frame count: 2 ";
    QTest::newRow("60 s") << 60 << 2 << "Time count: 1m 0s  frame count: 2 ";
    QTest::newRow("75 s") << 75 << 12 << "Time count: 1m 15s  frame count: 12 ";
}

void CaptureTest::durationLabel()
{
    QFETCH(int, seconds);
    QFETCH(int, frames);
    QFETCH(QString, label);
    QCOMPARE(MainWindow::captureDuration(seconds, frames), label);
}

void CaptureTest::frameRowCells()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    FrameDoc plain = frame("11111111", T0);
    FrameDoc silent = frame("22222222", T0, "SND-NR", -1); // no signal strength
    silent.accessNumber = -1;
    FrameDoc concentrator = frame("33333333", T0);
    concentrator.medium = "Communication controller";
    concentrator.accessNumber = 256;
    FrameDoc lowerCase = frame("44444444", T0);
    lowerCase.medium = "communication";
    openCapture(fixture, {plain, silent, concentrator, lowerCase});

    QTreeWidgetItem *row = rowOf(window, 1);
    QCOMPARE(row->data(4, Qt::DisplayRole), QVariant(-70));
    QCOMPARE(row->text(5), QString("ZVR"));
    QCOMPARE(row->text(8), QString("12"));
    QCOMPARE(row->text(11), QString("SND-NR"));
    QCOMPARE(row->text(12), QString("0C1342000000"));
    QCOMPARE(row->text(3), QString("2026-01-02T10:00:00"));
    QCOMPARE(rowOf(window, 2)->text(4), QString());
    QCOMPARE(rowOf(window, 2)->text(8), QString());
    QCOMPARE(rowOf(window, 3)->text(8), QString());
    QCOMPARE(rowOf(window, 3)->background(13).color(), QColor(Qt::lightGray));
    QCOMPARE(rowOf(window, 3)->background(0).color(), QColor(Qt::lightGray));
    QCOMPARE(rowOf(window, 4)->background(0).style(), Qt::NoBrush);
    QCOMPARE(rowOf(window, 1)->background(0).style(), Qt::NoBrush);
}

void CaptureTest::timeAndDeltaColumns()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("11111111", T0 + 1250), frame("11111111", T0 + 1500)});
    QCOMPARE(rowOf(window, 1)->data(1, Qt::DisplayRole).toFloat(), 0.0f);
    QCOMPARE(rowOf(window, 1)->data(2, Qt::DisplayRole).toFloat(), 0.0f);
    QCOMPARE(rowOf(window, 3)->data(1, Qt::DisplayRole).toFloat(), 1.5f);
    QCOMPARE(rowOf(window, 3)->data(2, Qt::DisplayRole).toFloat(), 0.25f);
    QCOMPARE(window->form()->label_statusCapture->text(), QString("Capture file: capture.xml"));
}

void CaptureTest::moduleListCountsPerManufacturerAndId()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    FrameDoc other = frame("11111111", T0 + 20000, "RSP-UD", 161);
    other.manufacturer = "ABC";
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 5000),
                          frame("11111111", T0 + 10000, "SND-NR", 121), other});
    QTreeWidget *modules = window->form()->treeWidget_ModuleList;
    QCOMPARE(modules->topLevelItemCount(), 2);
    QTreeWidgetItem *zvr = modules->findItems("ZVR", Qt::MatchExactly).first();
    QCOMPARE(zvr->text(1), QString("  "));
    QVERIFY(zvr->isExpanded());
    QCOMPARE(zvr->childCount(), 2);
    QTreeWidgetItem *first = childWithId(zvr, "11111111");
    QVERIFY(first);
    // Its second frame filled the row from the statistics.
    QCOMPARE(first->data(1, Qt::DisplayRole).toInt(), 2);
    QCOMPARE(first->data(2, Qt::DisplayRole).toInt(), 2);
    QCOMPARE(first->data(3, Qt::DisplayRole).toFloat(), -65.0f);
    QCOMPARE(first->data(4, Qt::DisplayRole).toInt(), -70);
    QCOMPARE(first->data(5, Qt::DisplayRole).toInt(), -60);
    QCOMPARE(first->data(7, Qt::DisplayRole).toInt(), 10);
    // A module seen once shows its Id and "1" only.
    QTreeWidgetItem *second = childWithId(zvr, "22222222");
    QCOMPARE(second->text(1), QString("1"));
    QCOMPARE(second->text(2), QString());
    // The same Id under another manufacturer gets its own row, filled from the shared figures later.
    QTreeWidgetItem *abc = modules->findItems("ABC", Qt::MatchExactly).first();
    QCOMPARE(abc->childCount(), 1);
    QCOMPARE(abc->child(0)->text(1), QString("1"));
    QCOMPARE(window->statistics().find("11111111").frameCount, 3);
}

void CaptureTest::headerClicksAlternateSortOrder()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("33333333", T0 + 1000), frame("22222222", T0 + 2000)});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    window->sectionClickedFrames(6);
    QCOMPARE(tree->topLevelItem(0)->text(6), QString("33333333"));
    window->sectionClickedFrames(0);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("1"));
    window->sectionClickedFrames(0);
    QCOMPARE(tree->topLevelItem(0)->text(0), QString("3"));
    QCOMPARE(tree->header()->sortIndicatorOrder(), Qt::DescendingOrder);
}

void CaptureTest::selectedRowShowsItsFramesXml()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000), frame("33333333", T0 + 2000)});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    for (Qt::SortOrder order : {Qt::AscendingOrder, Qt::DescendingOrder})
    {
        tree->sortItems(6, order);
        tree->setCurrentItem(rowOf(window, 2));
        const QString shown = window->form()->plainTextEdit_XmlFrame->toPlainText();
        QVERIFY(shown.contains("<Id>22222222</Id>"));
        QVERIFY(!shown.contains("33333333"));
    }
    tree->setCurrentItem(nullptr);
    QCOMPARE(window->form()->plainTextEdit_XmlFrame->toPlainText(), QString());
}

void CaptureTest::saveAndOpenRoundTrip()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home())
        .out(frame("11111111", -1).toXml())
        .pause(150)
        .out(frame("22222222", -1, "RSP-UD").toXml())
        .runUntilKilled()
        .install();
    MainWindow *window = fixture.makeWindow();
    window->on_pushButton_SniffStart_clicked();
    QTRY_COMPARE(window->currentCaptureStore()->getFrames().size(), 2);
    window->on_pushButton_SniffStop_clicked();
    const QList<CaptureFrame> captured = window->currentCaptureStore()->getFrames();

    const QString path = fixture.home() + "/saved.xml";
    fixture.chosenFiles << path;
    window->on_actionSave_Capture_triggered();
    QCOMPARE(fixture.fileCaptions.last(), QString("Save capture file"));
    QCOMPARE(window->preferences()->gui.getCaptureFile(), path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    QVERIFY(text.startsWith("<recorded_frames><mbus"));
    QVERIFY(text.endsWith("</mbus>\n</recorded_frames>"));

    fixture.chosenFiles << path;
    window->on_actionOpen_Trace_triggered();
    QCOMPARE(fixture.fileDirectories.last(), fixture.home());
    const QList<CaptureFrame> opened = window->currentCaptureStore()->getFrames();
    QCOMPARE(opened.size(), 2);
    for (int i = 0; i < 2; ++i)
    {
        const CaptureFrame_t a = captured.at(i).getData();
        const CaptureFrame_t b = opened.at(i).getData();
        QCOMPARE(b.number, i + 1);
        QCOMPARE(b.time, a.time);
        QCOMPARE(b.Id, a.Id);
        QCOMPARE(b.Type, a.Type);
        QCOMPARE(b.rssi, a.rssi);
        QCOMPARE(b.xml, a.xml);
    }
    QCOMPARE(rowOf(window, 1)->data(1, Qt::DisplayRole).toFloat(), 0.0f);
    QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 2);
}

void CaptureTest::saveWithoutFramesIsRefused()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->on_actionSave_Capture_triggered();
    QCOMPARE(fixture.countMessages("Capture data is empty "), 1);
    QVERIFY(fixture.fileCaptions.isEmpty());
    // A cancelled dialog writes nothing and remembers nothing.
    openCapture(fixture, {frame("11111111", T0)});
    window->on_actionSave_Capture_triggered();
    QVERIFY(fixture.logText().contains("invalid filename"));
    QCOMPARE(window->preferences()->gui.getCaptureFile(), fixture.home() + "/capture.xml");
}

void CaptureTest::unwritableCaptureFileIsReported()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0)});
    fixture.chosenFiles << fixture.home() + "/no-such-dir/saved.xml";
    window->on_actionSave_Capture_triggered();
    QCOMPARE(fixture.messages.size(), 1);
    QCOMPARE(fixture.messages.first().title, QString("Error"));
    QVERIFY(fixture.messages.first().text.contains("no-such-dir/saved.xml"));
    QCOMPARE(window->preferences()->gui.getCaptureFile(), fixture.home() + "/capture.xml");
}

void CaptureTest::openStepsOverCommentsAndOtherElements()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000), frame("33333333", T0 + 2000)},
                "<note>not a frame</note>");
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
    QCOMPARE(rowOf(window, 2)->text(6), QString("22222222"));
    // The loader steps over a comment rather than dropping the frames after it.
    openCapture(fixture, {frame("44444444", T0), frame("55555555", T0 + 1000)}, "<!-- by hand -->");
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2}));
    QCOMPARE(rowOf(window, 2)->text(6), QString("55555555"));
}

void CaptureTest::openMalformedFileKeepsCurrentCapture()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000)});
    const QString bad = fixture.home() + "/bad.xml";
    for (const QByteArray &content :
         {QByteArray("<recorded_frames><mbus>"), QByteArray("<frames></frames>"), QByteArray("not xml at all"),
          QByteArray("<recorded_frames><note/></recorded_frames>")})
    {
        fixture.messages.clear();
        QFile file(bad);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(content);
        file.close();
        fixture.chosenFiles << bad;
        window->on_actionOpen_Trace_triggered();
        QCOMPARE(fixture.countMessages("Invalide file format "), 1);
        QCOMPARE(fixture.messages.first().title, QString("Error"));
        QCOMPARE(window->form()->treeWidget_FrameList->topLevelItemCount(), 2);
        QCOMPARE(window->currentCaptureStore()->getFrames().size(), 2);
    }
    // What is on show can still be saved.
    fixture.chosenFiles << fixture.home() + "/kept.xml";
    window->on_actionSave_Capture_triggered();
    QVERIFY(QFile::exists(fixture.home() + "/kept.xml"));
    // A cancelled dialog or a missing file changes nothing.
    fixture.chosenFiles << fixture.home() + "/missing.xml";
    window->on_actionOpen_Trace_triggered();
    QVERIFY(fixture.logText().contains("File not found"));
    QCOMPARE(window->currentCaptureStore()->getFrames().size(), 2);
}

void CaptureTest::filterSelectsFrames_data()
{
    QTest::addColumn<QString>("filter");
    QTest::addColumn<QList<int>>("listed");
    // Frames: 1 SND-NR rssi -70, 2 RSP-UD rssi -85, 3 SND-NR without rssi or access number, 4 with error.
    QTest::newRow("empty") << "" << QList<int>{1, 2, 3, 4};
    QTest::newRow("blanks are not empty") << "   " << QList<int>{};
    QTest::newRow("type") << "mbus.header.Type == \"SND-NR\"" << QList<int>{1, 3, 4};
    QTest::newRow("type and rssi") << "mbus.header.Type != \"RSP-UD\" && mbus.radio.rssi >= -80" << QList<int>{1, 3, 4};
    QTest::newRow("no access number") << "mbus.header.AccessNumber == 65535" << QList<int>{3};
    QTest::newRow("undefined name lets all through") << "mbus.header.Version == 1" << QList<int>{1, 2, 3, 4};
    QTest::newRow("fraction broken by dots") << "mbus.radio.rssi >= -80.5" << QList<int>{1, 2, 3, 4};
    QTest::newRow("dot in a quoted value") << "mbus.header.Medium == \"Wat.er\"" << QList<int>{};
    QTest::newRow("decoded without error") << "mbus.error == \"\"" << QList<int>{1, 2, 3};
    QTest::newRow("joiner in front") << " && mbus.header.Type == \"RSP-UD\"" << QList<int>{1, 2, 3, 4};
}

void CaptureTest::filterSelectsFrames()
{
    QFETCH(QString, filter);
    QFETCH(QList<int>, listed);
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    FrameDoc silent = frame("33333333", T0 + 2000, "SND-NR", -1);
    silent.accessNumber = -1;
    FrameDoc broken = frame("44444444", T0 + 3000);
    broken.error = "wrong key";
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000, "RSP-UD", 170), silent, broken});
    window->form()->comboBox_FilterInput->setCurrentText(filter);
    window->on_pushButton_applyfilter_clicked();
    QCOMPARE(listedNumbers(window), listed);
    if (!listed.isEmpty())
    {
        // Time counts from the first listed frame.
        QCOMPARE(rowOf(window, listed.first())->data(1, Qt::DisplayRole).toFloat(), 0.0f);
    }
    int modules = 0;
    for (int i = 0; i < window->form()->treeWidget_ModuleList->topLevelItemCount(); ++i)
        modules += window->form()->treeWidget_ModuleList->topLevelItem(i)->childCount();
    QCOMPARE(modules, listed.size());
}

void CaptureTest::filterHistory()
{
    WindowFixture fixture;
    fixture.writePrefs([](xml_preferences &prefs) { prefs.gui.addFilter("old"); });
    MainWindow *window = fixture.makeWindow();
    QComboBox *box = window->form()->comboBox_FilterInput;
    QCOMPARE(box->count(), 2);
    QCOMPARE(box->currentText(), QString());
    openCapture(fixture, {frame("11111111", T0)});

    box->setCurrentText("mbus.radio.rssi < 0");
    window->on_pushButton_applyfilter_clicked();
    window->on_pushButton_applyfilter_clicked();
    QCOMPARE(box->itemText(0), QString("mbus.radio.rssi < 0"));
    QCOMPARE(box->itemText(1), QString("old"));
    QCOMPARE(window->preferences()->gui.getFilters().count("mbus.radio.rssi < 0"), 1);
    QVERIFY(window->form()->pushButton_applyfilter->isDefault());

    for (int i = 0; i < 11; ++i)
    {
        box->setCurrentText(QString("mbus.radio.rssi < %1").arg(i));
        window->on_pushButton_applyfilter_clicked();
    }
    QCOMPARE(box->count(), 10);
    QCOMPARE(box->itemText(0), QString("mbus.radio.rssi < 10"));
    QCOMPARE(window->preferences()->gui.getFilters().size(), 10);

    // Clear empties the text only; the history stays.
    window->on_pushButton_clearfilter_clicked();
    QCOMPARE(box->currentText(), QString());
    QCOMPARE(box->count(), 10);
    QCOMPARE(listedNumbers(window), (QList<int>{1}));
}

void CaptureTest::applyWithoutStoreKeepsHistory()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->form()->comboBox_FilterInput->setCurrentText("mbus.radio.rssi < 0");
    window->on_pushButton_applyfilter_clicked();
    QCOMPARE(window->form()->comboBox_FilterInput->count(), 1);
    QVERIFY(window->preferences()->gui.getFilters().isEmpty());
}

void CaptureTest::cellMenuEntriesPerColumn_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("entries");
    const QStringList plain{"Clear Filter", "|", "copy"};
    QTest::newRow("Time") << 1 << plain;
    QTest::newRow("Status") << 9 << plain;
    QTest::newRow("Frame") << 12 << plain;
    QTest::newRow("RSSI") << 4 << (QStringList{"Apply a Filter"} + plain);
    QTest::newRow("Type") << 11 << (QStringList{"Apply a Filter", "Prepare as Filter"} + plain);
}

void CaptureTest::cellMenuEntriesPerColumn()
{
    QFETCH(int, column);
    QFETCH(QStringList, entries);
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    openCapture(fixture, {frame("11111111", T0)});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    tree->setCurrentItem(tree->topLevelItem(0), column);
    QStringList shown;
    whenMenuShown(QString(), &shown);
    window->showContextMenuFrames(tree->visualItemRect(tree->topLevelItem(0)).center());
    QCOMPARE(shown, entries);
    // Below the last row there is no menu.
    shown.clear();
    whenMenuShown(QString(), &shown, 300);
    window->showContextMenuFrames(QPoint(5, tree->viewport()->height() - 2));
    QTest::qWait(400);
    QVERIFY(shown.isEmpty());
}

void CaptureTest::cellMenuWritesConditions()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    FrameDoc other = frame("22222222", T0 + 1000, "RSP-UD");
    other.manufacturer = "ABC";
    openCapture(fixture, {frame("11111111", T0), other});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    QComboBox *box = window->form()->comboBox_FilterInput;
    auto menuOn = [&](int number, int column, const QString &entry)
    {
        QTreeWidgetItem *row = rowOf(window, number);
        tree->setCurrentItem(row, column);
        whenMenuShown(entry);
        window->showContextMenuFrames(tree->visualItemRect(row).center());
    };

    menuOn(1, 11, "Type == SND-NR");
    QCOMPARE(box->currentText(), QString("mbus.header.Type == \"SND-NR\""));
    QCOMPARE(box->itemText(0), QString("mbus.header.Type == \"SND-NR\""));
    QCOMPARE(listedNumbers(window), (QList<int>{1}));

    // The third entry of Prepare as Filter joins with && and leaves the filter unapplied.
    QAction *prepared = nullptr;
    menuOn(1, 5, "... &&&& Manuf == ZVR");
    for (QAction *action : window->frameMenuActions())
    {
        if (action->text() == "... &&&& Manuf == ZVR" && !action->property("Apply").toBool())
            prepared = action;
    }
    QVERIFY(prepared);
    QCOMPARE(box->currentText(), QString("mbus.header.Type == \"SND-NR\" && mbus.header.Manufacturer == \"ZVR\""));
    QCOMPARE(listedNumbers(window), (QList<int>{1}));

    menuOn(1, 4, "RSSI >= -70");
    QCOMPARE(box->currentText(), QString("mbus.radio.rssi >= -70"));
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2}));
    menuOn(2, 8, "Acc. Num <= 12");
    QCOMPARE(box->currentText(), QString("mbus.header.AccessNumber <= 12"));
}

namespace
{
// The text a menu shows for an entry: "&&" is one ampersand, a lone "&" marks the shortcut letter.
QString shownText(const QString &text)
{
    QString shown;
    for (int i = 0; i < text.size(); ++i)
    {
        if (text.at(i) == '&' && i + 1 < text.size())
            ++i;
        shown += text.at(i);
    }
    return shown;
}

QImage entryImage(QMenu *menu, QAction *action)
{
    menu->popup(QPoint(0, 0));
    (void)QTest::qWaitForWindowExposed(menu);
    return menu->grab(menu->actionGeometry(action)).toImage();
}
} // namespace

void CaptureTest::joinedEntriesReadWholeInTheOpenMenu()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    FrameDoc doc = frame("11111111", T0);
    doc.manufacturer = "HLX";
    openCapture(fixture, {doc});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    tree->setCurrentItem(tree->topLevelItem(0), 5);
    const QStringList expected{"Manuf == HLX",        "Manuf != HLX",        "... && Manuf == HLX",
                               "... || Manuf == HLX", "... && Manuf != HLX", "... || Manuf != HLX"};
    QStringList shown;
    QList<QImage> drawn, roomy;
    whenMenuShown(QString(), nullptr, 5000,
                  [&](QMenu *menu)
                  {
                      for (QAction *submenu : menu->actions())
                      {
                          if (!submenu->menu())
                              continue;
                          QMenu *entries = submenu->menu();
                          for (QAction *entry : entries->actions())
                          {
                              shown << shownText(entry->text());
                              // The same entry in a menu with room to spare is drawn whole.
                              QMenu reference;
                              QAction *alone = reference.addAction(entry->text());
                              reference.setMinimumWidth(entries->sizeHint().width() * 2);
                              drawn << entryImage(entries, entry);
                              roomy << entryImage(&reference, alone);
                              reference.close();
                          }
                          entries->close();
                      }
                  });
    window->showContextMenuFrames(tree->visualItemRect(tree->topLevelItem(0)).center());
    QCOMPARE(shown, expected + expected); // "Apply a Filter", then "Prepare as Filter"
    QCOMPARE(drawn.size(), roomy.size());
    for (int i = 0; i < drawn.size(); ++i)
    {
        // Inside the entry the menu drew, clear of the menu's frame, both show the same pixels.
        const QRect text(2, 2, drawn.at(i).width() - 10, drawn.at(i).height() - 4);
        QVERIFY2(drawn.at(i).copy(text) == roomy.at(i).copy(text), qPrintable(shown.at(i)));
    }
}

void CaptureTest::cellMenusActOnTheClickedCellDuringARun()
{
    WindowFixture fixture;
    // A frame every 200 ms, of two makers in turn.
    FakeTolvern fake(fixture.home());
    for (int i = 0; i < 100; ++i)
    {
        FrameDoc doc = frame(i % 2 ? "22222222" : "11111111", -1);
        doc.manufacturer = i % 2 ? "ZVR" : "HLX";
        fake.out(doc.toXml()).pause(200);
    }
    fake.runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    window->show();
    Ui_MainWindow *ui = window->form();
    QTreeWidget *tree = ui->treeWidget_FrameList;
    window->on_pushButton_SniffStart_clicked();
    QTRY_VERIFY_WITH_TIMEOUT(tree->topLevelItemCount() >= 2, 10000);
    // Frames keep coming while the menu is open, each becoming the current row.
    auto framesArrive = [window](QMenu *)
    {
        const int stored = window->currentCaptureStore()->count();
        QTRY_VERIFY_WITH_TIMEOUT(window->currentCaptureStore()->count() >= stored + 2, 10000);
    };

    QTreeWidgetItem *row = rowOf(window, 1);
    tree->setCurrentItem(row, 5);
    whenMenuShown("Manuf == HLX", nullptr, 5000, framesArrive);
    window->showContextMenuFrames(tree->visualItemRect(row).center());
    QCOMPARE(ui->comboBox_FilterInput->currentText(), QString("mbus.header.Manufacturer == \"HLX\""));
    const int listed = tree->topLevelItemCount();
    QTRY_VERIFY_WITH_TIMEOUT(tree->topLevelItemCount() > listed, 10000);
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        QCOMPARE(tree->topLevelItem(i)->text(5), QString("HLX"));

    // The module list's entry likewise, whatever the list's current row has become meanwhile.
    ui->tabWidget_Sniffer->setCurrentIndex(1);
    QTreeWidget *modules = ui->treeWidget_ModuleList;
    QTreeWidgetItem *module = childWithId(modules->findItems("HLX", Qt::MatchExactly, 0).value(0), "11111111");
    QVERIFY(module);
    modules->setCurrentItem(module);
    whenMenuShown("Select module 11111111", nullptr, 5000,
                  [&](QMenu *menu)
                  {
                      framesArrive(menu);
                      modules->setCurrentItem(modules->topLevelItem(0));
                  });
    window->showContextMenuModules(modules->visualItemRect(module).center());
    QCOMPARE(ui->comboBox_FilterInput->currentText(), QString("mbus.header.Id == \"11111111\""));
    window->on_pushButton_SniffStop_clicked();
}

void CaptureTest::frameCountAfterStopIsTheListedCount()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    window->on_pushButton_SniffStart_clicked();
    tolvern_capture *job = window->currentCaptureJob();
    QVERIFY(job);
    for (const QByteArray id : {"11111111", "22222222"})
        job->handleOutput(QString::fromUtf8(frame(id, -1).toXml()));
    QTRY_VERIFY_WITH_TIMEOUT(ui->label_statusCapture->text().endsWith(" frame count: 2 "), 5000);
    // Frames after the last tick, then Stop before the next one.
    for (const QByteArray id : {"33333333", "44444444", "55555555"})
        job->handleOutput(QString::fromUtf8(frame(id, -1).toXml()));
    window->on_pushButton_SniffStop_clicked();
    QCOMPARE(ui->treeWidget_FrameList->topLevelItemCount(), 5);
    QVERIFY2(ui->label_statusCapture->text().endsWith(" frame count: 5 "), qPrintable(ui->label_statusCapture->text()));
    QVERIFY(ui->label_statusCapture->text().startsWith("Time count: "));
}

void CaptureTest::selectModuleFiltersById()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000)});
    window->form()->tabWidget_Sniffer->setCurrentIndex(1);
    QTreeWidget *modules = window->form()->treeWidget_ModuleList;
    QTreeWidgetItem *module = childWithId(modules->topLevelItem(0), "22222222");
    modules->setCurrentItem(module);
    whenMenuShown("Select module 22222222");
    window->showContextMenuModules(modules->visualItemRect(module).center());
    QCOMPARE(window->form()->comboBox_FilterInput->currentText(), QString("mbus.header.Id == \"22222222\""));
    QCOMPARE(listedNumbers(window), (QList<int>{2}));
}

void CaptureTest::copyPutsCellOnClipboard()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    openCapture(fixture, {frame("11111111", T0)});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;
    tree->setCurrentItem(tree->topLevelItem(0), 12);
    whenMenuShown("copy");
    window->showContextMenuFrames(tree->visualItemRect(tree->topLevelItem(0)).center());
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("0C1342000000"));
}

void CaptureTest::hiddenColumnsSurviveRestart()
{
    WindowFixture fixture;
    {
        MainWindow *window = fixture.makeWindow();
        window->show();
        QHeaderView *header = window->form()->treeWidget_FrameList->header();
        const QPoint onRssi(header->sectionViewportPosition(4) + 5, 5);
        whenMenuShown("Hide Column RSSI");
        window->showContextMenuFramesHeader(onRssi);
        QVERIFY(window->form()->treeWidget_FrameList->isColumnHidden(4));
        const QPoint onMedium(header->sectionViewportPosition(7) + 5, 5);
        QStringList shown;
        whenMenuShown("Hide Column Medium", &shown);
        window->showContextMenuFramesHeader(onMedium);
        QCOMPARE(shown, (QStringList{"Hide Column Medium", "|", "Show Column"}));
        // No menu on the first section.
        shown.clear();
        whenMenuShown(QString(), &shown, 300);
        window->showContextMenuFramesHeader(QPoint(header->sectionViewportPosition(0) + 5, 5));
        QTest::qWait(400);
        QVERIFY(shown.isEmpty());
        // Showing RSSI again.
        whenMenuShown("RSSI");
        window->showContextMenuFramesHeader(QPoint(header->sectionViewportPosition(5) + 5, 5));
        QVERIFY(!window->form()->treeWidget_FrameList->isColumnHidden(4));
        QCOMPARE(window->hiddenFrameColumns(), QStringList{"Medium"});
        window->close();
    }
    MainWindow *again = fixture.makeWindow();
    QVERIFY(again->form()->treeWidget_FrameList->isColumnHidden(7));
    QVERIFY(!again->form()->treeWidget_FrameList->isColumnHidden(4));
    QCOMPARE(again->hiddenFrameColumns(), QStringList{"Medium"});
}

QTEST_MAIN(CaptureTest)
#include "tst_capture.moc"
