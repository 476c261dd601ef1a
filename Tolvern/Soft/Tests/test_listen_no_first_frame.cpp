// No module frame within the 60 s limit: each case waits out the whole limit,
// so these carry the "slow" label and run in parallel.
#include "ListenModem.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace
{

const char *const NoFrameOutput = "Place a magnet on product\n"
                                  "Tolv_Main.cpp:N No initial frame received!\n";

} // namespace

TEST_F(ListenModem, NothingOnTheAirEndsTheRunWithOne)
{
    const auto start = std::chrono::steady_clock::now();
    ListenProcess &run = Start("");
    EXPECT_EQ(run.WaitExit(std::chrono::seconds(80)), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));
    EXPECT_EQ(NoLineNumbers(run.Output()), NoFrameOutput);
    EXPECT_EQ(modem.Record().RadioFrames().size(), 0u); // nothing was sent to a module
}

TEST_F(ListenModem, OnlyOtherFramesWithinTheLimit)
{
    ModemEmu::MeterConfig meter;
    meter.frames = {MeterFrame(0x44, 0x01, MeterData())};
    meter.period = std::chrono::seconds(7);
    ListenProcess &run = Start("");
    modem.AddMeter(meter);
    EXPECT_EQ(run.WaitExit(std::chrono::seconds(80)), 1);
    const std::string out = NoLineNumbers(run.Output());
    EXPECT_GE(CountOf(out, "Tolv_Receive.cpp:N C-field don't match\n"), 7u) << out;
    EXPECT_EQ(out.substr(out.size() - 43), "Tolv_Main.cpp:N No initial frame received!\n");
}
