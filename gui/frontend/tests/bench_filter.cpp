// The capture page at field scale: opening a large capture through the window's own Open, applying and
// clearing a filter, sorting by a header click, the memory held after opening, and a live capture whose
// filter lets nothing through. Goals at 100,000 frames: each step within 2 s, the window never frozen for
// more than 0.2 s at a time ("freeze_ms"), the process under 400 MB after opening ("rss_MB").
#include "FakeTolvern.h"
#include "FileChooser.h"
#include "MainWindow.h"
#include "ProcessMemory.h"
#include "TestHome.h"
#include "UserMessage.h"
#include "WindowFixture.h"
#include "tolvern_capture.h"
#include "ui_MainWindow.h"
#include "xml_capture.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QTimer>
#include <QtTest>
#include <benchmark/benchmark.h>

namespace
{
constexpr int Meters = 400; // a busy site
const QByteArray Manufacturers[] = {"ZVR", "ABC", "KAM", "LUG"};

// About 1.6 kB, as the frames of a meter with a dozen records: the size of a field capture's frames.
QByteArray fieldFrame(int i, qint64 time)
{
    FrameDoc doc;
    doc.id = QByteArray::number(10000000 + i % Meters);
    doc.manufacturer = Manufacturers[i % Meters % 4];
    doc.time = time;
    doc.type = i % 3 ? "SND-NR" : "RSP-UD";
    doc.rssi = 100 + i % 80;
    doc.accessNumber = i % 256;
    for (int r = 0; r < 12; ++r)
        doc.records += "        <record type=\"inst\" unit=\"Volume (m m^3)\" storage=\"" + QByteArray::number(r) +
                       "\" tariff=\"0\">" + QByteArray::number(i * 7 + r) + "</record>\n";
    QByteArray text = doc.toXml();
    text.replace("<raw>0C1342000000</raw>", "<raw>" + QByteArray(220, 'A') + "</raw>");
    return text;
}

QString writeFieldCapture(const QString &dir, int frames)
{
    const QString path = dir + "/bench.xml";
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("<recorded_frames>");
    for (int i = 0; i < frames; ++i)
        file.write(fieldFrame(i, 1767348000000 + qint64(i) * 1000));
    file.write("</recorded_frames>");
    return path;
}

// The longest time the event loop went without turning while it ran: how long the window stood frozen.
class FreezeMeter
{
public:
    FreezeMeter()
    {
        tick.setInterval(5);
        QObject::connect(&tick, &QTimer::timeout,
                         [this]
                         {
                             longest = qMax(longest, clock.restart());
                         });
        clock.start();
        tick.start();
    }
    qint64 stop()
    {
        longest = qMax(longest, clock.elapsed());
        tick.stop();
        return longest;
    }

private:
    QTimer tick;
    QElapsedTimer clock;
    qint64 longest = 0;
};

void settle()
{
    QApplication::processEvents();
}

struct OpenWindow
{
    WindowFixture fixture;
    MainWindow *window = nullptr;
    QString path;

    explicit OpenWindow(int frames)
    {
        path = writeFieldCapture(fixture.home(), frames);
        window = fixture.makeWindow();
        window->show();
        window->form()->tabWidget->setCurrentIndex(MainWindow::PageCapture);
        settle();
    }
    void open()
    {
        fixture.chosenFiles << path;
        window->on_actionOpen_Trace_triggered();
    }
};

void BM_OpenCapture(benchmark::State &state)
{
    OpenWindow page(static_cast<int>(state.range(0)));
    qint64 freeze = 0;
    for (auto _ : state)
    {
        FreezeMeter meter;
        page.open();
        freeze = qMax(freeze, meter.stop());
    }
    settle();
    state.counters["rss_MB"] = residentMegabytes();
    state.counters["freeze_ms"] = double(freeze);
    // Opening again must give the memory of the first capture back.
    page.open();
    settle();
    state.counters["rss_reopen_MB"] = residentMegabytes();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void relist(benchmark::State &state, const QString &filter, bool clear)
{
    OpenWindow page(static_cast<int>(state.range(0)));
    page.open();
    qint64 freeze = 0;
    for (auto _ : state)
    {
        page.window->form()->comboBox_FilterInput->setCurrentText(filter);
        FreezeMeter meter;
        if (clear)
            page.window->on_pushButton_clearfilter_clicked();
        else
            page.window->on_pushButton_applyfilter_clicked();
        freeze = qMax(freeze, meter.stop());
    }
    state.counters["freeze_ms"] = double(freeze);
    state.counters["listed"] = page.window->form()->treeWidget_FrameList->topLevelItemCount();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ApplyTypeFilter(benchmark::State &state)
{
    relist(state, "mbus.header.Type == \"SND-NR\" && mbus.radio.rssi >= -80", false);
}

void BM_ApplyEmptyFilter(benchmark::State &state)
{
    relist(state, QString(), false);
}

void BM_ClearFilter(benchmark::State &state)
{
    relist(state, "mbus.header.Type == \"SND-NR\"", true);
}

// A click on the "Manuf" header, as the user sorts: the view's own sorting and the window's slot both run.
void BM_SortByHeaderClick(benchmark::State &state)
{
    OpenWindow page(static_cast<int>(state.range(0)));
    page.open();
    QHeaderView *header = page.window->form()->treeWidget_FrameList->header();
    const QPoint onManuf(header->sectionViewportPosition(5) + 10, header->height() / 2);
    qint64 freeze = 0;
    for (auto _ : state)
    {
        FreezeMeter meter;
        QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, onManuf);
        freeze = qMax(freeze, meter.stop());
    }
    state.counters["freeze_ms"] = double(freeze);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// A capture run whose filter matches no frame: the frames arrive one by one, as Tolvern prints them.
void BM_LiveCaptureNothingMatches(benchmark::State &state)
{
    const int frames = static_cast<int>(state.range(0));
    QList<QString> documents;
    for (int i = 0; i < frames; ++i)
        documents << QString::fromUtf8(fieldFrame(i, -1));
    for (auto _ : state)
    {
        state.PauseTiming();
        WindowFixture fixture;
        FakeTolvern(fixture.home()).runUntilKilled().install();
        MainWindow *window = fixture.makeWindow();
        window->form()->comboBox_FilterInput->setCurrentText("mbus.header.Id == \"none\"");
        window->on_pushButton_SniffStart_clicked();
        tolvern_capture *job = window->currentCaptureJob();
        qint64 longestFrame = 0;
        state.ResumeTiming();
        QElapsedTimer clock;
        for (const QString &document : documents)
        {
            clock.start();
            job->handleOutput(document);
            longestFrame = qMax(longestFrame, clock.elapsed());
        }
        state.PauseTiming();
        if (window->currentCaptureStore()->count() != frames)
            state.SkipWithError("frames lost");
        state.counters["longest_frame_ms"] = double(longestFrame);
        window->on_pushButton_SniffStop_clicked();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
} // namespace

BENCHMARK(BM_OpenCapture)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyTypeFilter)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ApplyEmptyFilter)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_ClearFilter)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SortByHeaderClick)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_LiveCaptureNothingMatches)->Arg(200)->Arg(5000)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
