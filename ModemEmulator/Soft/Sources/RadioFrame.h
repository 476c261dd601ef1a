#ifndef MODEMEMU_RADIOFRAME_H
#define MODEMEMU_RADIOFRAME_H

#include "Aes128Cbc.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ModemEmu
{

// A module's address in long-transport-header order: identification number
// (4 bytes, least significant first), manufacturer (2, low first), version,
// device type. Host requests carry it in bytes 11-18.
using RadioAddress = std::array<uint8_t, 8>;

enum class HeaderKind
{
    None,
    Short,
    Long,
    Unknown
};

// Byte offsets of one air frame (L at 0, C 1, M 2-3, ID 4-7, version 8, type 9, CI 10).
struct HeaderLayout
{
    HeaderKind kind;
    size_t access; // 0 when the header has none
    size_t config; // first configuration byte; 0 when none
    size_t data;
};

// What a scripted module or a test needs to put on the air.
struct RadioHeader
{
    uint8_t c = 0x44;
    uint16_t manufacturer = 0x6AD2;
    uint32_t id = 0x78563412;
    uint8_t version = 0x01;
    uint8_t type = 0x07;
    uint8_t ci = 0x7A;
    uint8_t access = 0;
    uint8_t status = 0;
    std::array<uint8_t, 2> config{0, 0};   // as on the air
    std::optional<RadioAddress> transport; // long header: defaults to the link address
};

// Helpers for wireless M-Bus frames as they go on the air: L first, L
// counting the bytes after it, no signal byte and no block CRCs.
class RadioFrame
{
public:
    // Largest air frame the modem can carry: with its signal byte it fills one modem frame.
    static constexpr size_t kMaxAirFrame = 251;

    static HeaderKind HeaderKindOf(uint8_t ci);
    // Nothing when the frame is too short for its header or the CI is unknown.
    static std::optional<HeaderLayout> Layout(const std::vector<uint8_t> &frame);
    // Transport address of a long header (bytes 11-18).
    static std::optional<RadioAddress> Destination(const std::vector<uint8_t> &frame);
    // Link-layer address (bytes 2-9) put into transport order.
    static std::optional<RadioAddress> Source(const std::vector<uint8_t> &frame);
    static RadioAddress MakeAddress(uint32_t id, uint16_t manufacturer, uint8_t version, uint8_t type);
    // A header whose link address is `address` (transport order), for a module's own frames.
    static RadioHeader HeaderFrom(const RadioAddress &address, uint8_t c, uint8_t ci);
    // "0x" and 16 lower-case digits, the module address text of the command line.
    static std::string AddressText(const RadioAddress &address);

    // Builds header and data with L = size - 1. Throws std::length_error past kMaxAirFrame.
    static std::vector<uint8_t> Build(const RadioHeader &header, const std::vector<uint8_t> &data);

    // Encryption mode 5: pads the data with 0x2F to whole blocks, encrypts them
    // with the IV of link address and access number, marks the block count and
    // mode 5 in the configuration word and fixes L. The data should start with
    // 2F 2F, which the receiver checks. Throws std::invalid_argument when the
    // frame has no header with a configuration word or no data, and
    // std::length_error when it would not fit.
    static std::vector<uint8_t> EncryptMode5(const std::vector<uint8_t> &frame, const AesKey &key);
    // The frame with the blocks its configuration word announces decrypted.
    // Throws std::invalid_argument when it is not a mode-5 frame or holds fewer blocks than announced.
    static std::vector<uint8_t> DecryptMode5(const std::vector<uint8_t> &frame, const AesKey &key);

private:
    static AesIv Mode5Iv(const std::vector<uint8_t> &frame, const HeaderLayout &layout);
};

} // namespace ModemEmu

#endif
