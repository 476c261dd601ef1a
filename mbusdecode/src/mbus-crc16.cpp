#include "mbus-crc16.h"

#include <array>

namespace
{

constexpr uint16_t kPolynomial = 0x3D65;

constexpr std::array<uint16_t, 256> MakeTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i)
    {
        uint16_t reg = static_cast<uint16_t>(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            reg = static_cast<uint16_t>((reg & 0x8000) ? (reg << 1) ^ kPolynomial : reg << 1);
        table[i] = reg;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kTable = MakeTable();
static_assert(kTable[1] == 0x3D65 && kTable[2] == 0x7ACA && kTable[255] == 0xAC48,
              "CRC table does not match EN 13757-4");

inline uint16_t Step(uint16_t reg, unsigned char byte)
{
    return static_cast<uint16_t>((reg << 8) ^ kTable[((reg >> 8) ^ byte) & 0xFF]);
}

} // namespace

uint16_t mbus_crc16(const unsigned char *bytes, size_t count, int mode)
{
    size_t end = count;
    if (mode == MBUS_CRC16_SKIP_FILL)
    {
        // Locating the fill run once keeps this linear in the frame length.
        while (end > 0 && bytes[end - 1] == 0x2F)
            --end;
    }
    uint16_t reg = 0;
    for (size_t i = 0; i < end; ++i)
    {
        unsigned char byte = bytes[i];
        if (mode == MBUS_CRC16_FIRST_MINUS_2 && i == 0)
            byte = static_cast<unsigned char>(byte - 2);
        reg = Step(reg, byte);
    }
    return static_cast<uint16_t>(reg ^ 0xFFFF);
}

void mbus_crc16_append(unsigned char *bytes, size_t count)
{
    uint16_t crc = mbus_crc16(bytes, count, MBUS_CRC16_PLAIN);
    bytes[count] = static_cast<unsigned char>(crc & 0xFF);
    bytes[count + 1] = static_cast<unsigned char>(crc >> 8);
}

int mbus_crc16_check(const unsigned char *bytes, size_t n)
{
    if (n == 0)
        return 0;
    uint16_t crc = mbus_crc16(bytes, n - 1, MBUS_CRC16_PLAIN);
    return bytes[n - 1] == (crc >> 8) && bytes[n] == (crc & 0xFF) ? 1 : 0;
}
