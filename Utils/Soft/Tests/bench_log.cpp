#include "LogStatement.h"
#include "basic_null_stream.h"

#include <benchmark/benchmark.h>

// A statement below its module's threshold: two reads, no lock, no formatting.
static void BM_FilteredStatement(benchmark::State &state)
{
    Log::Instance().SetAllLevels(LogLevel::Normal);
    int value = 0;
    for (auto _ : state)
    {
        LOG_LINE(LogLevel::Trace, LogModule::WMBC) << "Drop byte: 0x" << ++value;
        benchmark::DoNotOptimize(value);
    }
}
BENCHMARK(BM_FilteredStatement);

// A printed line with the header on, into a stream that discards it.
static void BM_PrintedStatementWithHeader(benchmark::State &state)
{
    basic_null_stream sink;
    Log &log = Log::Instance();
    log.GetStream() = &sink;
    log.SetAllLevels(LogLevel::Trace);
    for (auto _ : state)
        LOG_LINE(LogLevel::Debug, LogModule::Utils) << "Thread::Start " << 42;
    log.SetAllLevels(LogLevel::Normal);
    log.ResetOutput();
}
BENCHMARK(BM_PrintedStatementWithHeader);

BENCHMARK_MAIN();
