// How long re-listing a capture takes through the filter: one script engine per frame, rows in one batch.
#include "FileChooser.h"
#include "MainWindow.h"
#include "TestHome.h"
#include "UserMessage.h"
#include "WindowFixture.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFile>
#include <benchmark/benchmark.h>

namespace
{
MainWindow *windowWithCapture(WindowFixture &fixture, int frames)
{
    const QString path = fixture.home() + "/bench.xml";
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write("<recorded_frames>");
    for (int i = 0; i < frames; ++i)
    {
        FrameDoc doc;
        doc.id = QByteArray::number(10000000 + i % 50);
        doc.time = 1767348000000 + i * 1000;
        doc.type = i % 3 ? "SND-NR" : "RSP-UD";
        file.write(doc.toXml());
    }
    file.write("</recorded_frames>");
    file.close();
    MainWindow *window = fixture.makeWindow();
    fixture.chosenFiles << path;
    window->on_actionOpen_Trace_triggered();
    return window;
}

void applyFilter(benchmark::State &state, const QString &filter)
{
    WindowFixture fixture;
    MainWindow *window = windowWithCapture(fixture, static_cast<int>(state.range(0)));
    window->form()->comboBox_FilterInput->setCurrentText(filter);
    for (auto _ : state)
        window->on_pushButton_applyfilter_clicked();
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void BM_ApplyTypeFilter(benchmark::State &state)
{
    applyFilter(state, "mbus.header.Type == \"SND-NR\" && mbus.radio.rssi >= -80");
}

void BM_ApplyEmptyFilter(benchmark::State &state)
{
    applyFilter(state, QString());
}
} // namespace

BENCHMARK(BM_ApplyTypeFilter)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyEmptyFilter)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
