// Value codecs: the byte layouts of record data (integers least significant
// byte first, BCD, the 32-bit real, types F and G of date and time).

#include "mbus-protocol.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

namespace
{

// Two's complement of `count` bytes, least significant first, sign from bit 7
// of the last byte. Bytes beyond the eighth cannot fit and fall off the top.
uint64_t TwosComplement(const unsigned char *bytes, size_t count)
{
    uint64_t value = (bytes[count - 1] & 0x80) ? ~UINT64_C(0) : 0;
    for (size_t i = count; i-- > 0;)
        value = (value << 8) | bytes[i];
    return value;
}

int64_t AsSigned64(uint64_t value)
{
    int64_t out;
    std::memcpy(&out, &value, sizeof out);
    return out;
}

int32_t AsSigned32(uint64_t value)
{
    uint32_t low = static_cast<uint32_t>(value);
    int32_t out;
    std::memcpy(&out, &low, sizeof out);
    return out;
}

} // namespace

namespace
{

// BCD digits read from the last byte (most significant) to the first. With
// `signNibble`, a most significant nibble 0xF marks a negative value and the
// other digits are its magnitude; any other non-decimal nibble, or a value too
// long for 64 bits, makes the whole value invalid.
bool DecodeBcd(const unsigned char *bcd, size_t count, bool signNibble, long long &value)
{
    if (bcd == nullptr)
        return false;
    constexpr long long kMax = std::numeric_limits<long long>::max();
    bool negative = false;
    value = 0;
    for (size_t i = count; i-- > 0;)
    {
        const unsigned nibbles[2] = {static_cast<unsigned>(bcd[i] >> 4), static_cast<unsigned>(bcd[i] & 0x0F)};
        for (size_t n = 0; n < 2; ++n)
        {
            const unsigned digit = nibbles[n];
            if (signNibble && digit == 0xF && i == count - 1 && n == 0)
            {
                negative = true;
                continue;
            }
            if (digit > 9 || value > (kMax - digit) / 10)
                return false;
            value = value * 10 + digit;
        }
    }
    if (negative)
        value = -value;
    return true;
}

} // namespace

int mbus_data_bcd_decode_signed(const unsigned char *bcd, size_t count, long long *value)
{
    long long decoded = 0;
    if (value == nullptr || !DecodeBcd(bcd, count, true, decoded))
        return -1;
    *value = decoded;
    return 0;
}

long long mbus_data_bcd_decode(const unsigned char *bcd, size_t count)
{
    long long value = 0;
    return mbus_data_bcd_decode_signed(bcd, count, &value) == 0 ? value : -1;
}

long long mbus_data_bcd_decode_unsigned(const unsigned char *bcd, size_t count)
{
    long long value = 0;
    return DecodeBcd(bcd, count, false, value) ? value : -1;
}

int mbus_data_int_decode(const unsigned char *bytes, size_t count, int *value)
{
    if (bytes == nullptr || value == nullptr || count == 0)
        return -1;
    *value = AsSigned32(TwosComplement(bytes, count));
    return 0;
}

int mbus_data_long_decode(const unsigned char *bytes, size_t count, long *value)
{
    if (bytes == nullptr || value == nullptr || count == 0)
        return -1;
    *value = AsSigned32(TwosComplement(bytes, count));
    return 0;
}

int mbus_data_long_long_decode(const unsigned char *bytes, size_t count, long long *value)
{
    if (bytes == nullptr || value == nullptr || count == 0)
        return -1;
    *value = AsSigned64(TwosComplement(bytes, count));
    return 0;
}

int mbus_data_int_encode(unsigned char *buffer, size_t count, int value)
{
    if (buffer == nullptr)
        return -1;
    uint64_t bits = static_cast<uint64_t>(static_cast<int64_t>(value));
    for (size_t i = 0; i < count; ++i)
    {
        buffer[i] = static_cast<unsigned char>(bits & 0xFF);
        // Past the eighth byte only the sign remains.
        bits = (bits >> 8) | (value < 0 ? UINT64_C(0xFF) << 56 : 0);
    }
    return 0;
}

float mbus_data_float_decode(const unsigned char *bytes)
{
    if (bytes == nullptr)
        return -1.0f;
    uint32_t bits = static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
                    static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
    int exponent = static_cast<int>((bits >> 23) & 0xFF);
    uint32_t mantissa = bits & 0x7FFFFF;
    // The all-ones exponent is read like any other, so a meter's garbage
    // never turns into infinity or NaN in the output.
    if (exponent >= 1 && exponent <= 254)
        mantissa += UINT32_C(1) << 23;
    double value = std::ldexp(static_cast<double>(mantissa), exponent - 150);
    if (bits & 0x80000000u)
        value = -value;
    return static_cast<float>(value);
}

void mbus_data_str_decode(unsigned char *destination, const unsigned char *source, size_t count)
{
    if (destination == nullptr)
        return;
    if (source == nullptr)
        count = 0;
    for (size_t i = 0; i < count; ++i)
        destination[i] = source[count - 1 - i];
    destination[count] = '\0';
}

void mbus_data_tm_decode(struct tm *time, const unsigned char *bytes, size_t size)
{
    if (time == nullptr)
        return;
    std::memset(time, 0, sizeof *time);
    time->tm_year = 100; // 2000, for every layout the century is implied
    if (bytes == nullptr)
        return;
    if (size == 4)
    {
        if (bytes[0] & 0x80)
            return; // marked invalid
        time->tm_min = bytes[0] & 0x3F;
        time->tm_hour = bytes[1] & 0x1F;
        time->tm_mday = bytes[2] & 0x1F;
        time->tm_mon = (bytes[3] & 0x0F) - 1;
        time->tm_year = 100 + ((((bytes[2] >> 4) | (bytes[3] & 0xF0))) >> 1);
        time->tm_isdst = (bytes[1] & 0x80) ? 1 : 0;
    }
    else if (size == 2)
    {
        time->tm_mday = bytes[0] & 0x1F;
        time->tm_mon = (bytes[1] & 0x0F) - 1;
        time->tm_year = 100 + ((((bytes[0] >> 4) | (bytes[1] & 0xF0))) >> 1);
    }
}
