#ifndef TOLV_SENDFRAMETASK_H
#define TOLV_SENDFRAMETASK_H

#include "WMBC_Interface.h"

#include <cstdint>

namespace Tolv
{

class Config;

// The records of the test frame: the model text "KARVO_ 1" (stored last character first), two
// volumes of 0 (the second for subunit 1) and the firmware version 0x0114.
constexpr uint8_t TestFrameRecords[] = {0x0D, 0xFD, 0x0C, 0x08, 0x31, 0x20, 0x5F, 0x4F, 0x56, 0x52,
                                        0x41, 0x4B, 0x04, 0x13, 0x00, 0x00, 0x00, 0x00, 0x84, 0x40,
                                        0x13, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFD, 0x0E, 0x14, 0x01};

// Task 11: sends one encrypted test frame (SND-IR, CI 0x7A) at once, then listens like task 6
// and prints the concentrators' answers. Returns only when listening cannot start.
void SendFrameTask(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
