#include "Log.h"
#include "WMBH_AES.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>

// Anything a radio can send goes through the decryption and the block CRC removal; neither may
// read or write outside the buffers, and the output length must stay within the capacity.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = []
    {
        Log::Instance().SetEnabled(false);
        std::cout.rdbuf(nullptr);
        return true;
    }();
    (void)quiet;

    // A copy of exactly the input's size, so that the sanitizer sees any read past it.
    std::unique_ptr<uint8_t[]> frame(new uint8_t[size]);
    std::copy(data, data + size, frame.get());
    constexpr int kCapacity = 256;
    std::unique_ptr<uint8_t[]> out(new uint8_t[kCapacity]);

    for (const char *key : {"0102030405060708090A0B0C0D0E0F11", "000102030405060708090A0B0C0D0E0F"})
    {
        int outLength = kCapacity;
        std::string error;
        DecryptFrame(key, frame.get(), static_cast<int>(size), out.get(), outLength, error);
        if (outLength < 0 || outLength > kCapacity)
            std::abort();
    }
    int outLength = kCapacity;
    if (StripFrameCrcs(frame.get(), static_cast<int>(size), out.get(), outLength) &&
        (outLength < 12 || outLength > kCapacity))
        std::abort();
    return 0;
}
