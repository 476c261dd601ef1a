#ifndef MBUS_CRC16_H
#define MBUS_CRC16_H

#include <cstddef>
#include <cstdint>

// CRC-16 of EN 13757-4 (polynomial 0x3D65, initial 0, complemented result).
// Modes: 1 plain, 2 the first byte counts reduced by 2, 4 a trailing run of
// 0x2F fill bytes is left out. Any other mode behaves as 1.
enum
{
    MBUS_CRC16_PLAIN = 1,
    MBUS_CRC16_FIRST_MINUS_2 = 2,
    MBUS_CRC16_SKIP_FILL = 4
};

uint16_t mbus_crc16(const unsigned char *bytes, size_t count, int mode);

// Writes the plain CRC over `count` bytes low byte first at bytes[count],
// bytes[count + 1]: the buffer must hold count + 2 bytes.
void mbus_crc16_append(unsigned char *bytes, size_t count);

// 1 when the plain CRC over the first n - 1 bytes equals bytes[n - 1] (high)
// and bytes[n] (low), else 0. The buffer must hold n + 1 bytes; n = 0 gives 0.
int mbus_crc16_check(const unsigned char *bytes, size_t n);

#endif
