#include "FakeModem.h"
#include "TestSupport.h"
#include "WMBH_AES.h"
#include "WMBH_Frame.h"

#include <benchmark/benchmark.h>

#include <iostream>

namespace
{

// V8 of the published telegrams: a room sensor frame with five encrypted blocks.
const char *const kV8 =
    "5E44B40958956923101B7A7F085005816AFB5F6F40EC742610B93C109973EDD8C098F505D5DFCFD53DFD72708178E4B81436CB"
    "753C6DFF5094C48C26607C66419628D424CE41F38F9BD927757D82FA43396AA59A77C694ACADAB776460D472";

// Every received mode-5 frame of a listen run goes through DecryptFrame once.
void BM_DecryptFrame(benchmark::State &state)
{
    const Bytes frame = Concat({0x68}, FromHex(kV8));
    uint8_t out[256];
    std::string error;
    // The decryption announces its mode on standard output; keep that out of the figures.
    std::streambuf *saved = std::cout.rdbuf(nullptr);
    for (auto _ : state)
    {
        int outLength = sizeof out;
        benchmark::DoNotOptimize(DecryptFrame("6C649F296476D737CACB75A2D639CE14", frame.data(),
                                              static_cast<int>(frame.size()), out, outLength, error));
    }
    std::cout.rdbuf(saved);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_DecryptFrame);

// A configuration request built, encrypted and handed to the modem, as each request of a task is.
void BM_EncryptAndSendRequest(benchmark::State &state)
{
    FakeModem modem;
    const AddressBytes address = {0x12, 0x34, 0x56, 0x78, 0xD2, 0x6A, 0x01, 0x07};
    const Bytes payload(static_cast<size_t>(state.range(0)), 0x11);
    for (auto _ : state)
    {
        WMBH_Frame frame(0x7B);
        frame.AddTransportHeaderBytes(0xA0, address, true, 0);
        frame.Append(payload.data(), static_cast<int>(payload.size()));
        frame.EncryptAndSend(&modem, "7C41D09A2E6B35F8A1C94E07B2D6F358", true, false);
        modem.mailbox.clear();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EncryptAndSendRequest)->Arg(6)->Arg(200);

} // namespace

BENCHMARK_MAIN();
