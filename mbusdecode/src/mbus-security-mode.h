#ifndef MBUS_SECURITY_MODE_H
#define MBUS_SECURITY_MODE_H

// The security mode of a transport header's configuration word: bits 8-12,
// that is the low five bits of its second byte on the air. The decryption and
// the frame parser must read the same field, or a mode outside the four low
// bits (21, say) passes for one of them.

constexpr unsigned char MbusSecurityModeMask = 0x1F;

inline int MbusSecurityMode(unsigned char configurationSecondByte)
{
    return configurationSecondByte & MbusSecurityModeMask;
}

#endif
