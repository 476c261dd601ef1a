// Tolvern --listen under a flood: the emulated modem hands over frames as
// fast as the link takes them (one outstanding frame, the next right after
// the host's acknowledgement) for 10 s. Reports the frames printed per
// second, the frames lost (sent by the modem but never printed; the goal is
// none), Tolvern's CPU time per frame and how often its threads went to sleep
// per frame (a figure that the machine's load disturbs less than the CPU time).
#include "ListenModem.h"
#include "ListenProcess.h"
#include "ModemEmulator.h"
#include "OutputText.h"
#include "RadioFrame.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace
{

using Clock = std::chrono::steady_clock;

constexpr auto FloodTime = std::chrono::seconds(10);
// Frames the module may be ahead of the modem's link; enough to keep the queue from running dry
// between two looks at the record.
constexpr size_t Window = 4000;

// Transmits frames whenever it is allowed to, each with the next access number.
class FloodModule : public ModemEmu::ScriptedModule
{
public:
    // numbered: each frame gets the next access number (not for encrypted frames: their IV holds it).
    FloodModule(Bytes frame, bool numbered) : frame_(std::move(frame)), numbered_(numbered) {}

    std::string Name() const override { return "flood"; }
    ModemEmu::RadioAddress Address() const override { return *ModemEmu::RadioFrame::Source(frame_); }
    void Tick(ModemEmu::RadioWorld &world) override
    {
        while (transmitted < allowed.load())
        {
            Bytes frame = frame_;
            if (numbered_)
            {
                frame[11] = static_cast<uint8_t>(transmitted.load());
            }
            world.Transmit(frame, 0xC4);
            ++transmitted;
        }
    }

    std::atomic<size_t> allowed{0};
    std::atomic<size_t> transmitted{0};

private:
    Bytes frame_;
    bool numbered_;
};

size_t SentToHost(ModemEmu::ModemEmulator &modem)
{
    return modem.Record().SentFrames(1).size();
}

template <typename Done> bool WaitUntil(Done done, std::chrono::seconds limit)
{
    const auto end = Clock::now() + limit;
    while (!done())
    {
        if (Clock::now() >= end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}

void ListenFlood(benchmark::State &state, bool modeFive)
{
    for (auto _ : state)
    {
        ModemEmu::ModemEmulator modem;
        modem.Start();
        const std::string key = DefaultKey;
        Bytes frame = MeterFrame(0x44, 0, MeterData());
        if (modeFive)
        {
            frame = ModemEmu::RadioFrame::EncryptMode5(frame, ModemEmu::Aes128Cbc::ParseKey(key));
        }
        ListenProcess program({"-p", modem.DevicePath(), "-l", "-k", key});
        if (!WaitUntil([&] { return modem.HostAttached(); }, std::chrono::seconds(10)))
        {
            state.SkipWithError("Tolvern never spoke to the modem");
            return;
        }
        auto flood = std::make_shared<FloodModule>(frame, !modeFive);
        modem.AddModule(flood);

        const auto start = Clock::now();
        while (Clock::now() - start < FloodTime)
        {
            flood->allowed = SentToHost(modem) + Window;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        const size_t sentInFlood = SentToHost(modem);
        flood->allowed = 0; // no more frames from now on

        // Everything transmitted reaches the host, and everything the host got is printed.
        const size_t transmitted = flood->transmitted;
        WaitUntil([&] { return SentToHost(modem) >= transmitted; }, std::chrono::seconds(60));
        const size_t sent = SentToHost(modem);
        WaitUntil([&] { return CountOf(program.Output(), "</mbus>\n") >= sent; }, std::chrono::seconds(30));
        const size_t printed = CountOf(program.Output(), "</mbus>\n");
        program.Kill();
        modem.Stop();

        const rusage &usage = program.Usage();
        const double cpuSeconds =
            usage.ru_utime.tv_sec + usage.ru_utime.tv_usec / 1e6 + usage.ru_stime.tv_sec + usage.ru_stime.tv_usec / 1e6;
        state.counters["frames_per_s"] = static_cast<double>(sentInFlood) / FloodTime.count();
        state.counters["frames"] = static_cast<double>(sent);
        state.counters["lost"] = static_cast<double>(sent > printed ? sent - printed : 0);
        state.counters["cpu_us_per_frame"] = printed > 0 ? cpuSeconds * 1e6 / printed : 0;
        // Times a thread of Tolvern went to sleep: the pause, the task's wait for a frame, a wait for the line.
        state.counters["sleeps_per_frame"] = printed > 0 ? static_cast<double>(usage.ru_nvcsw) / printed : 0;
        state.SetIterationTime(std::chrono::duration<double>(FloodTime).count());
    }
}

} // namespace

BENCHMARK_CAPTURE(ListenFlood, plain, false)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK_CAPTURE(ListenFlood, mode5, true)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
