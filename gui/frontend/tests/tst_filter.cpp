// The frame filter at work: conditions from cell texts, filters that loop or keep state, the live listing
// during a run, and the names the log gives the capture page's lines.
#include "FakeTolvern.h"
#include "MainWindow.h"
#include "WindowFixture.h"
#include "tolvern_capture.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"

#include <QElapsedTimer>
#include <QtTest>

namespace
{
constexpr qint64 T0 = 1767348000000;

FrameDoc frame(const QByteArray &id, qint64 time)
{
    FrameDoc doc;
    doc.id = id;
    doc.time = time;
    return doc;
}

void openCapture(WindowFixture &fixture, const QList<FrameDoc> &frames)
{
    const QString path = fixture.home() + "/capture.xml";
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("<recorded_frames>");
    for (const FrameDoc &doc : frames)
        file.write(doc.toXml());
    file.write("</recorded_frames>");
    file.close();
    fixture.chosenFiles << path;
    fixture.window()->on_actionOpen_Trace_triggered();
}

void applyFilter(MainWindow *window, const QString &text)
{
    window->form()->comboBox_FilterInput->setCurrentText(text);
    window->on_pushButton_applyfilter_clicked();
}
} // namespace

class FilterTest : public QObject
{
    Q_OBJECT
private slots:
    void cellConditionsQuoteTheCellAsScriptString();
    void loopingFilterIsStoppedAndLetsEveryFrameThrough();
    void nothingLeaksFromOneFrameToTheNext_data();
    void nothingLeaksFromOneFrameToTheNext();
    void liveListingTestsEachArrivingFrameOnce();
    void logLinesCarryTheirOperationsNames();
};

void FilterTest::cellConditionsQuoteTheCellAsScriptString()
{
    QCOMPARE(MainWindow::scriptString("A\\B"), QString("\"A\\\\B\""));
    QCOMPARE(MainWindow::scriptString("say \"hi\"\nnow"), QString("\"say \\\"hi\\\"\\nnow\""));

    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    FrameDoc backslash = frame("11111111", T0);
    backslash.manufacturer = "A\\B";
    FrameDoc injecting = frame("22222222", T0 + 1000);
    injecting.error = "bad \"key\" || true || \"";
    FrameDoc plain = frame("33333333", T0 + 2000);
    plain.error = "bad";
    openCapture(fixture, {backslash, injecting, plain});
    QTreeWidget *tree = window->form()->treeWidget_FrameList;

    struct Case
    {
        int number;
        int column;
        QString entry;
        QList<int> listed;
    };
    const Case cases[] = {
        {1, 5, "Manuf == A\\B", {1}},
        {2, 13, "Error == bad \"key\" || true || \"", {2}},
        {2, 13, "Error != bad \"key\" || true || \"", {1, 3}},
    };
    for (const Case &c : cases)
    {
        window->on_pushButton_clearfilter_clicked();
        QTreeWidgetItem *row = rowOf(window, c.number);
        QVERIFY(row);
        tree->setCurrentItem(row, c.column);
        whenMenuShown(c.entry);
        window->showContextMenuFrames(tree->visualItemRect(row).center());
        QCOMPARE(listedNumbers(window), c.listed);
    }

    // Select module quotes the Id the same way.
    window->on_pushButton_clearfilter_clicked();
    QTreeWidget *modules = window->form()->treeWidget_ModuleList;
    window->form()->tabWidget_Sniffer->setCurrentIndex(1);
    QTreeWidgetItem *manufacturer = modules->findItems("A\\B", Qt::MatchExactly, 0).value(0);
    QVERIFY(manufacturer);
    modules->setCurrentItem(manufacturer);
    whenMenuShown("Select module A\\B");
    window->showContextMenuModules(modules->visualItemRect(manufacturer).center());
    QCOMPARE(window->form()->comboBox_FilterInput->currentText(), QString("mbus.header.Id == \"A\\\\B\""));
}

void FilterTest::loopingFilterIsStoppedAndLetsEveryFrameThrough()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000), frame("33333333", T0 + 2000)});
    // The window goes on processing its events while the loop runs.
    bool ticked = false;
    QTimer::singleShot(FrameFilter::EventsIntervalMs * 4, [&ticked] { ticked = true; });
    QElapsedTimer clock;
    clock.start();
    applyFilter(window, "while (1) {}");
    QVERIFY(ticked);
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
    // Stopped once, the text is not run again for the other frames.
    QVERIFY(clock.elapsed() < 2 * FrameFilter::TimeLimitMs + 5000);
    QVERIFY(fixture.logText().contains("filter stopped"));

    applyFilter(window, "mbus.header.Id == \"22222222\"");
    QCOMPARE(listedNumbers(window), QList<int>{2});
}

void FilterTest::nothingLeaksFromOneFrameToTheNext_data()
{
    QTest::addColumn<QString>("filter");
    QTest::newRow("global assignment") << "typeof seen == \"undefined\" ? (seen = 1, true) : false";
    QTest::newRow("var declaration") << "var n = (typeof n == \"undefined\") ? 1 : n + 1; n == 1";
    QTest::newRow("this property") << "this.count = (this.count || 0) + 1; this.count == 1";
}

void FilterTest::nothingLeaksFromOneFrameToTheNext()
{
    QFETCH(QString, filter);
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    openCapture(fixture, {frame("11111111", T0), frame("22222222", T0 + 1000), frame("33333333", T0 + 2000)});
    applyFilter(window, filter);
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
    // Nor from one listing to the next.
    applyFilter(window, filter);
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
}

void FilterTest::liveListingTestsEachArrivingFrameOnce()
{
    WindowFixture fixture;
    FakeTolvern(fixture.home()).runUntilKilled().install();
    MainWindow *window = fixture.makeWindow();
    Ui_MainWindow *ui = window->form();
    ui->comboBox_FilterInput->setCurrentText("mbus.header.Id == \"none\"");
    window->on_pushButton_SniffStart_clicked();
    tolvern_capture *job = window->currentCaptureJob();
    QVERIFY(job);
    for (const QByteArray id : {"11111111", "22222222"})
        job->handleOutput(QString::fromUtf8(frame(id, -1).toXml()));
    QCOMPARE(ui->treeWidget_FrameList->topLevelItemCount(), 0);

    // The frames that failed are not tested again when the next one comes with another text.
    ui->comboBox_FilterInput->setCurrentText(QString());
    job->handleOutput(QString::fromUtf8(frame("33333333", -1).toXml()));
    QCOMPARE(listedNumbers(window), QList<int>{3});
    QCOMPARE(window->currentCaptureStore()->count(), 3);

    // Apply during the run lists the stored frames once; the frames after it are listed as they come.
    window->on_pushButton_applyfilter_clicked();
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3}));
    job->handleOutput(QString::fromUtf8(frame("44444444", -1).toXml()));
    QCOMPARE(listedNumbers(window), (QList<int>{1, 2, 3, 4}));
    window->on_pushButton_SniffStop_clicked();
}

void FilterTest::logLinesCarryTheirOperationsNames()
{
    WindowFixture fixture;
    MainWindow *window = fixture.makeWindow();
    window->show();
    QList<FrameDoc> frames;
    for (int i = 0; i <= MainWindow::ProgressThreshold; ++i)
        frames << frame(QByteArray::number(10000000 + i % 3), T0 + i * 1000);
    openCapture(fixture, frames);
    window->on_pushButton_clearfilter_clicked();
    // On the first section the header menus log their line and show no menu.
    QHeaderView *header = window->form()->treeWidget_FrameList->header();
    window->showContextMenuFramesHeader(QPoint(header->sectionViewportPosition(0) + 5, 5));
    window->showContextMenuModulesHeader(QPoint(5, 5));

    const QString meter = "<mbus><header><Id>d4c3b2a1</Id><Type>RSP-UD</Type></header></mbus>\n";
    FakeTolvern(fixture.home()).out(meter.toUtf8()).runUntilKilled().install();
    whenModalShown([](QWidget *) {});
    window->on_pushButton_basics_clicked();
    QTRY_COMPARE(window->form()->label_ModuleId->text(), QString("d4c3b2a1"));

    const QString log = fixture.logText();
    for (const char *line : {"MainWindow::InsertFrame():", "New Manuf: ZVR", "New Id: 10000000",
                             "MainWindow::on_pushButton_clearfilter_clicked():", "count > 1000",
                             "MainWindow::showContextMenuFramesHeader():", "context Menu triggered column: 0 index: 0",
                             "MainWindow::showContextMenuModulesHeader():", "MainWindow::on_BasicsNewFrame():",
                             "id: d4c3b2a1"})
        QVERIFY2(log.contains(line), line);
    for (const QString &logged : log.split('\n'))
    {
        const bool named = (logged.contains("New Manuf") || logged.contains("New Id"))
                               ? logged.contains("::InsertFrame()")
                           : logged.contains("count > 1000") ? logged.contains("::on_pushButton_clearfilter_clicked()")
                           : logged.contains("context Menu triggered") ? logged.contains("::showContextMenu")
                           : logged.contains("] id: ")               ? logged.contains("::on_BasicsNewFrame()")
                                                                       : true;
        QVERIFY2(named, qPrintable(logged));
    }
}

QTEST_MAIN(FilterTest)
#include "tst_filter.moc"
