#ifndef MODEMEMU_MODEMFRAME_H
#define MODEMEMU_MODEMFRAME_H

#include <cstdint>
#include <string>
#include <vector>

namespace ModemEmu
{

enum class FrameKind : uint8_t
{
    Data = 0,
    Ack = 1,
    Nak = 2,
    Undefined = 3
};

enum class FrameChannel : uint8_t
{
    Ctrl = 0,
    Data = 1,
    Event = 2,
    Undefined = 3
};

enum ModemCommand : uint8_t
{
    CmdNone = 0,
    CmdAck = 1,
    CmdRead = 2,
    CmdWrite = 3,
    CmdMboxAdd = 4,
    CmdMboxDel = 5,
    CmdMboxGet = 6,
    CmdMboxCheck = 7
};

constexpr uint8_t kFrameStart = 0xFF;
constexpr uint8_t kFrameStop = 0xF5;
// L counts start byte, L, control byte and payload, and is one byte.
constexpr size_t kMaxPayload = 255 - 3;

// One frame of the modem's serial protocol: FF, L, control, payload, CRC
// (high byte first), F5. Plain value; the wire form is built on demand.
class ModemFrame
{
public:
    ModemFrame() = default;
    ModemFrame(FrameKind kind, uint8_t channel, uint8_t flag, std::vector<uint8_t> payload = {});

    FrameKind Kind() const { return kind_; }
    uint8_t Channel() const { return channel_; }
    uint8_t Flag() const { return flag_; }
    const std::vector<uint8_t> &Payload() const { return payload_; }
    uint8_t Control() const;

    // Throws std::length_error when the payload does not fit one frame.
    std::vector<uint8_t> Encode() const;
    // "[ctrl][dat] read hw version][0] 02 01 00" style text for failure messages.
    std::string Describe() const;

    static ModemFrame FromControl(uint8_t control, std::vector<uint8_t> payload);
    // CRC over control byte and payload, the way the frame carries it.
    static uint16_t Crc(const uint8_t *controlAndPayload, size_t count);

private:
    FrameKind kind_ = FrameKind::Data;
    uint8_t channel_ = 0;
    uint8_t flag_ = 0;
    std::vector<uint8_t> payload_;
};

// Protocol vocabulary; ids outside the tables give "" rather than reading past them.
const char *KindName(FrameKind kind);
const char *ChannelName(uint8_t channel);
const char *CommandName(uint8_t command);
const char *ParamName(uint8_t id);

} // namespace ModemEmu

#endif
