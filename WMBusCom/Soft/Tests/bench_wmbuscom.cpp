#include "ModemEmulator.h"
#include "Serial.h"
#include "WMBC_ZV.h"
#include "WMBC_ZV_Frame.h"

#include <benchmark/benchmark.h>
#include <sstream>

using namespace WMBusMod;

// Building and finishing the largest frame we send: CRC over 249 bytes.
static void BM_BuildLargestFrame(benchmark::State &state)
{
    const std::vector<uint8_t> payload(246, 0x5A);
    for (auto _ : state)
    {
        WMBC_ZV_Frame frame;
        frame.Init(KindData);
        frame.Append(payload.data(), int(payload.size()));
        frame.SetChannel(ChannelData);
        frame.Finalize();
        benchmark::DoNotOptimize(frame.buffer[frame.len]);
    }
}
BENCHMARK(BM_BuildLargestFrame);

// The trace text of every frame sent and received when tracing is on.
static void BM_DumpCommand(benchmark::State &state)
{
    WMBC_ZV_Frame frame;
    const uint8_t data[] = {1, 2, 3, 4};
    frame.SetCommand(CmdWrite, ParamMode, data, 4);
    frame.Finalize();
    for (auto _ : state)
    {
        std::ostringstream os;
        WMBC_ZV_Frame::DumpFrame(os, frame);
        benchmark::DoNotOptimize(os.str());
    }
}
BENCHMARK(BM_DumpCommand);

// One parameter read through the pseudo-terminal: command, link acknowledgements and response.
static void BM_ParameterRead(benchmark::State &state)
{
    ModemEmu::ModemEmulator emulator;
    emulator.Start();
    Serial serial;
    serial.Open(emulator.DevicePath(), 115200);
    {
        WMBC_ZV link(serial);
        for (auto _ : state)
        {
            uint32_t value = 0;
            link.GetConfigUInt32(ParamMboxSize, value);
            benchmark::DoNotOptimize(value);
        }
    }
    serial.Close();
    emulator.Stop();
}
BENCHMARK(BM_ParameterRead)->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
