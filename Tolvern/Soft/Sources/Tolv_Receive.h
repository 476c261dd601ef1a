#ifndef TOLV_RECEIVE_H
#define TOLV_RECEIVE_H

#include "Tolv_ModuleAddress.h"
#include "WMBC_Interface.h"
#include "mbus-protocol.h"

#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>
#include <string>

namespace Tolv
{

class Config;

// A document the decoder rendered: ours to free.
struct RenderedTextFree
{
    void operator()(char *text) const { std::free(text); }
};
using RenderedText = std::unique_ptr<char, RenderedTextFree>;

// The receive buffer handed to the driver (0x68, radio frame, signal byte, 0x16);
// the decoder input rebuilt from a frame is two bytes longer.
constexpr int ReceiveBufferSize = 256;

// Turns a frame as the driver delivers it (0x68, L, C ... CI ..., signal byte,
// 0x16; L counting everything after it up to the signal byte) into the layout
// the decoder reads: L + 2, the RSSI in place of the signal byte, two zero
// trailer bytes and 0x16. Returns the rebuilt length (length + 2), or 0 when
// the frame is too short to carry a signal byte or the output has no room.
int BuildDecoderInput(const uint8_t *received, int length, uint8_t *output, int capacity);

// The RSSI the decoder reports for the modem's signal byte.
uint8_t SignalToRssi(uint8_t signal);

// Takes one frame from the modem (waiting up to timeoutMs), decrypts it with
// config.OptKey and parses it into frame, which is reset first.
// Without data (nullptr): true when a frame came and parsed; nothing is printed.
// With data: the frame is decoded into data and its document printed through
// the log; true only when it decoded. Frames that fail decryption or decoding
// print an error document and give false. Lines that go directly to standard
// output ("Decrypt failed ...", the decoder's return code) go to direct.
bool ReceiveAndPrint(WMBusMod::WMBC_Interface &driver, const Config &config, mbus_frame &frame, mbus_frame_data *data,
                     int timeoutMs, std::ostream &direct = std::cout);

// Calls ReceiveAndPrint (10 s at a time) until it returns true or the seconds
// have passed; a reception that has started runs to its end, so this may
// return up to 10 s after the limit.
bool WaitFrame(WMBusMod::WMBC_Interface &driver, const Config &config, mbus_frame &frame, int seconds,
               mbus_frame_data *data);

// "Place a magnet on product", then waits up to seconds for the module's
// first frame (C-field 0x08, CI 0x7A, manufacturer ZVR); on success address
// becomes "0x" and the 16 lower-case digits of the frame's address. With a
// module address, only that module's frame is taken: one from another module
// is logged with the address heard, and the wait goes on.
bool WaitInitialFrame(WMBusMod::WMBC_Interface &driver, const Config &config, std::string &address, int seconds,
                      const std::optional<uint64_t> &module = std::nullopt);

// Task 6: prints every received frame as its document; returns only when the
// frame-data record cannot be created.
void ListenTask(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
