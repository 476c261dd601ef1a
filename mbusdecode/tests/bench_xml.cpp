// Frames per second through the frame parse, the data parse and the XML
// document, as the listen task runs them for every received frame. The goal
// is 500,000 short frames per second on one core.

#include "mbus-protocol.h"
#include "wmbus_frames.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <vector>

using namespace wmbus_test;

namespace
{

void DecodeAndRender(benchmark::State &state, const std::vector<unsigned char> &input)
{
    for (auto _ : state)
    {
        mbus_frame frame;
        if (mbus_parse_wmbus(&frame, input.data(), input.size()) != 0)
        {
            state.SkipWithError("frame does not parse");
            break;
        }
        mbus_frame_data *data = mbus_frame_data_new();
        char *document = nullptr;
        if (mbus_frame_data_parse(&frame, data, nullptr) == 0)
            document = mbus_frame_data_xml(data);
        benchmark::DoNotOptimize(document);
        std::free(document);
        mbus_frame_data_free(data);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

// A published gas meter frame: volume, date and time, error flags.
void BM_ShortMeterFrame(benchmark::State &state)
{
    DecodeAndRender(state, FromAir("2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F"
                                   "2F2F2F2F2F2F2F"));
}
BENCHMARK(BM_ShortMeterFrame);

// A frame of about 250 bytes: 39 six-byte records of mixed kinds.
void BM_LongFrame(benchmark::State &state)
{
    std::string body = "44 D26A 78563412 01 07 7A 01 00 0000 ";
    const char *records[] = {"0C1327048502", "046D32371F15", "03FD17000000",
                             "4413E8030000", "055B0000C841", "0C6E56341200"};
    for (int i = 0; i < 39; ++i)
        body += records[i % 6];
    DecodeAndRender(state, WFrame(body));
}
BENCHMARK(BM_LongFrame);

} // namespace

BENCHMARK_MAIN();
