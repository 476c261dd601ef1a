// Parsing and storing frame documents as they come from "Tolvern -l", and loading a large capture file.
// The goal is under 2 s for 100,000 frames each; a file is read by up to four threads, the output of a run on
// one. "store_MB" is the memory a loaded store holds.
#include "MbusSamples.h"
#include "ProcessMemory.h"
#include "tolvern_capture.h"
#include "xml_capture.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

namespace
{
constexpr int Frames = 100000;
constexpr int ChunkBytes = 64 * 1024; // about what one read of the child's pipe delivers

QString listenOutput()
{
    QByteArray text;
    for (int i = 0; i < Frames; ++i)
        text += MbusSamples::meter(QByteArray::number(10000000 + i % 50));
    return QString::fromUtf8(text);
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

void BM_StoreListenOutput(benchmark::State &state)
{
    const QString output = listenOutput();
    const WMBusSettings_t settings{"ttyUSB0", "T", "", "./Template"};
    qInstallMessageHandler(quiet);
    for (auto _ : state)
    {
        xml_capture store(nullptr);
        tolvern_capture job(&settings, &store, nullptr, nullptr, false, false);
        for (int at = 0; at < output.size(); at += ChunkBytes)
            job.handleOutput(output.mid(at, ChunkBytes));
        if (store.count() != Frames)
            state.SkipWithError("frames lost");
    }
    qInstallMessageHandler(nullptr);
}
BENCHMARK(BM_StoreListenOutput)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LoadCaptureFile(benchmark::State &state)
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/capture.xml";
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write("<recorded_frames>\n");
        for (int i = 0; i < Frames; ++i)
        {
            QByteArray frame = MbusSamples::meter(QByteArray::number(10000000 + i % 50));
            frame.replace("<mbus date", "<mbus time=\"" + QByteArray::number(1767348000000LL + i) + "\" date");
            file.write(frame);
        }
        file.write("</recorded_frames>\n");
    }
    const double before = residentMegabytes();
    for (auto _ : state)
    {
        xml_capture store(path, nullptr);
        if (store.count() != Frames)
            state.SkipWithError("frames lost");
        state.counters["store_MB"] = residentMegabytes() - before;
    }
}
BENCHMARK(BM_LoadCaptureFile)->Unit(benchmark::kMillisecond)->Iterations(1);
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
