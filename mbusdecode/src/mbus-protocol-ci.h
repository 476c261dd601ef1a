#ifndef MBUS_PROTOCOL_CI_H
#define MBUS_PROTOCOL_CI_H

// Small facts about frames that the frame, data and compact layers share.

#include "mbus-protocol.h"

#include <cstddef>

struct MbusCiRange
{
    unsigned char first;
    unsigned char last;
};

template <size_t N> constexpr bool MbusCiIn(const MbusCiRange (&ranges)[N], unsigned char ci)
{
    for (const auto &range : ranges)
        if (ci >= range.first && ci <= range.last)
            return true;
    return false;
}

// Format frames carry the DIF/VIF structure of records without their data.
inline bool MbusIsFormatFrameCi(unsigned char ci)
{
    return ci >= 0x69 && ci <= 0x6B;
}

// Compact frames carry the data only, with the signature of their format.
inline bool MbusIsCompactFrameCi(unsigned char ci)
{
    return ci == 0x73 || ci == 0x79 || ci == 0x7B;
}

// The maker's own request and answer CIs.
inline bool MbusIsMakerCi(unsigned char ci)
{
    return ci >= 0xA0 && ci <= 0xAA;
}

inline bool MbusIsMakerFrame(const mbus_frame *frame)
{
    return frame->link_address[0] == (MBUS_MANUFACTURER_ZVR & 0xFF) &&
           frame->link_address[1] == (MBUS_MANUFACTURER_ZVR >> 8);
}

// The frame's data size as far as its buffer holds it: a caller may have set
// data_size by hand, and no read may follow it past the buffer.
inline size_t MbusFrameDataSize(const mbus_frame *frame)
{
    return frame->data_size < MBUS_FRAME_DATA_LENGTH ? frame->data_size : MBUS_FRAME_DATA_LENGTH;
}

#endif
