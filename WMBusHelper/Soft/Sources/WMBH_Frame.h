#ifndef WMBH_FRAME_H
#define WMBH_FRAME_H

#include "WMBC_Interface.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// Destination as the update task forms it: type | version << 8 | manufacturer << 16 | id << 32.
using EndpointAddress = uint64_t;
// Destination as the request tasks form it: id (4), manufacturer (2), version, type, in air order.
using AddressBytes = std::array<uint8_t, 8>;

// One range of the missing-frame request: the first missing offset and how many follow.
struct MissingFrameRange
{
    uint32_t offset;
    uint8_t count;
};

// The process-wide access number: starts at a pseudo-random value, then counts up by one per
// transport header, wrapping from 255 to 0. Safe from any thread.
uint8_t NextAccessNumber();

// A wireless M-Bus frame that the host sends to a module: L, C, M, A, CI, transport header, data.
// Every append is checked, so a frame can never grow past its buffer; errors are
// std::runtime_error with fixed texts ("Frame data to large", "CI not supported",
// "Module parameter empty", and those of EncryptFrame).
class WMBH_Frame
{
public:
    static constexpr int kBufferSize = 252;
    // The most bytes a frame may hold while it is built and encrypted.
    static constexpr int kMaxLength = 250;
    // The most bytes the modem takes in one frame, directly or through its mailbox.
    static constexpr int kModemMaxLength = 246;

    // C-field 0, M-field 0x6AD2 (the maker), version 0x01, device type 0x31, length 10.
    WMBH_Frame();
    explicit WMBH_Frame(uint8_t cField);

    const uint8_t *Data() const { return buffer_.data(); }
    int Length() const { return length_; }

    // Appends all `count` bytes or, when they would carry the frame past kMaxLength, none.
    void Append(const uint8_t *bytes, int count);
    void AddFillers();
    void AddUInt32(uint32_t value);
    void AddByte(uint8_t value);
    void AddAccessNumber();

    // Long header from an endpoint address: CI 0x80, 0xA0, 0xA2, 0xA4, 0xA6; status 0.
    void AddTransportHeader(uint8_t ci, EndpointAddress endpoint, bool fillers);
    // Long header from address bytes: CI 0x40, 0x80, 0xA0, 0xA2, 0xA4, 0xA6, 0xA8.
    void AddTransportHeaderBytes(uint8_t ci, const AddressBytes &address, bool fillers, uint8_t status);
    // Short header: CI 0x40, 0x7A, 0x80, 0xA0, 0xA2, 0xA4, 0xA6, 0xA8.
    void AddShortHeader(uint8_t ci, bool fillers, uint8_t status);

    // The modem's own address into the link layer (bytes 2-9).
    void SetModuleAddress(WMBusMod::WMBC_Interface *modem);

    // Mode-5 AES-128 CBC in place: fills the data up to whole blocks with 0x2F and marks the
    // configuration word. Throws "Try to encrypt empty frame", "Wrong key size",
    // "Wrong key format", "Frame data to large" or a key set-up error.
    void EncryptFrame(WMBusMod::WMBC_Interface *modem, const std::string &keyText);

    // Without the mailbox the frame goes out at once and the result is 0. Through the mailbox
    // the result is the modem's message id, or 0 when checkFull is set and the mailbox is full
    // (then nothing is sent).
    int Send(WMBusMod::WMBC_Interface *modem, bool useMailbox, bool checkFull);

    // The frame as it goes on the air: a copy with the modem's address, encrypted with keyText
    // (an empty key leaves it plain), that the modem can take. Talks to nobody, so a task can
    // refuse what will not go out before it touches the mailbox. Throws what EncryptFrame throws,
    // and "Frame data to large" past kModemMaxLength.
    WMBH_Frame Prepare(WMBusMod::WMBC_Interface *modem, const std::string &keyText) const;

    // Sends Prepare's copy (an empty key sends it plain). The frame itself stays plain, so a
    // caller may simply try again after a failed attempt.
    int EncryptAndSend(WMBusMod::WMBC_Interface *modem, const std::string &keyText, bool useMailbox,
                       bool checkFull) const;

    // C-field 0x7B, CI 0xA8 to `address`: the access-number record of the missing frame, then one
    // offset and one count record per range.
    void BuildMissingFrameRequest(const AddressBytes &address, uint8_t accessNumber,
                                  const std::vector<MissingFrameRange> &ranges);

    // The closing frame of a firmware update: C-field 0x73, CI 0xA4 to the endpoint, the size
    // record (DIF 0x04, or 0x03 when fixDif is false) and the digest record.
    void AddFirmwareBlock(EndpointAddress endpoint, uint32_t byteCount, const std::vector<uint8_t> &digest,
                          bool fixDif);

private:
    // Throws "Frame data to large" unless `count` more bytes fit.
    void RequireRoom(int count) const;
    // Throws "Frame data to large" when the frame is longer than the modem takes.
    void RequireModemRoom() const;

    std::array<uint8_t, kBufferSize> buffer_{};
    int length_ = 10;
};

// Queues one unencrypted SND-NKE (C-field 0x40, CI 0x80) to the endpoint in the modem's mailbox.
void SendSndNke(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint);

#endif
