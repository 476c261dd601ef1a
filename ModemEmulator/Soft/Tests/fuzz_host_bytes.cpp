// Any bytes a host may write: the modem must answer or refuse them, never crash.
#include "MeterModule.h"
#include "ModemCore.h"

#include <cstddef>
#include <cstdint>

using namespace ModemEmu;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    HostRecord record;
    size_t written = 0;
    ModemCore core(record, [&](const std::vector<uint8_t> &bytes) { written += bytes.size(); });
    Clock::time_point now = Clock::time_point{} + std::chrono::hours(1);

    // A module at the address host requests name, so that frames reach a module too.
    MeterConfig meter;
    meter.frames = {
        {0x10, 0x44, 0xD2, 0x6A, 0x12, 0x34, 0x56, 0x78, 0x01, 0x07, 0x7A, 0x01, 0x00, 0x00, 0x00, 0x2F, 0x2F}};
    meter.period = std::chrono::milliseconds(7);
    core.AddModule(std::make_shared<MeterModule>(meter), now);
    core.SetMailboxCapacity(3);

    // The first byte sets how the rest is split, so that frames arrive in every kind of piece.
    const size_t chunk = size > 0 ? (data[0] % 16) + 1 : 1;
    for (size_t i = 1; i < size; i += chunk)
    {
        core.OnBytes(data + i, std::min(chunk, size - i), now);
        now += std::chrono::milliseconds(data[i] % 8);
        core.Tick(now);
    }
    now += std::chrono::seconds(3);
    core.Tick(now);
    (void)written;
    return 0;
}
