#include "ModemFrame.h"

#include "WMBH_HexText.h"
#include "mbus-crc16.h"

#include <stdexcept>

namespace ModemEmu
{

namespace
{

struct NamedId
{
    uint8_t id;
    const char *name;
};

constexpr const char *kKindNames[] = {"dat", "ack", "nak", "und"};
constexpr const char *kChannelNames[] = {"ctrl", "dat", "evt", "und"};
constexpr const char *kCommandNames[] = {"none",     "ack",      "read",     "write",
                                         "mbox add", "mbox del", "mbox get", "mbox check"};

constexpr NamedId kParamNames[] = {
    {0, "none"},
    {1, "hw version"},
    {2, "module desc."},
    {3, "sw version"},
    {4, "serial nr."},
    {10, "id manuf."},
    {11, "id"},
    {12, "id version"},
    {13, "id type"},
    {20, "mode"},
    {21, "channel"},
    {22, "power"},
    {23, "frame format"},
    {24, "preamble len"},
    {25, "mbox size"},
    {50, "stats frame"},
    {51, "stats reamble detect"},
    {52, "stats sync addr"},
    {53, "stats crc err"},
};

} // namespace

const char *KindName(FrameKind kind)
{
    return kKindNames[static_cast<uint8_t>(kind) & 3];
}

const char *ChannelName(uint8_t channel)
{
    return kChannelNames[channel & 3];
}

const char *CommandName(uint8_t command)
{
    return command < std::size(kCommandNames) ? kCommandNames[command] : "";
}

const char *ParamName(uint8_t id)
{
    for (const NamedId &entry : kParamNames)
    {
        if (entry.id == id)
            return entry.name;
    }
    return "";
}

ModemFrame::ModemFrame(FrameKind kind, uint8_t channel, uint8_t flag, std::vector<uint8_t> payload)
    : kind_(kind), channel_(channel & 3), flag_(flag & 1), payload_(std::move(payload))
{
}

uint8_t ModemFrame::Control() const
{
    return static_cast<uint8_t>(static_cast<uint8_t>(kind_) << 6 | channel_ << 4 | flag_ << 3);
}

ModemFrame ModemFrame::FromControl(uint8_t control, std::vector<uint8_t> payload)
{
    return ModemFrame(static_cast<FrameKind>(control >> 6), (control >> 4) & 3, (control >> 3) & 1, std::move(payload));
}

uint16_t ModemFrame::Crc(const uint8_t *controlAndPayload, size_t count)
{
    return mbus_crc16(controlAndPayload, count, MBUS_CRC16_PLAIN);
}

std::vector<uint8_t> ModemFrame::Encode() const
{
    if (payload_.size() > kMaxPayload)
        throw std::length_error("modem frame payload too long");
    std::vector<uint8_t> out;
    out.reserve(payload_.size() + 6);
    out.push_back(kFrameStart);
    out.push_back(static_cast<uint8_t>(payload_.size() + 3));
    out.push_back(Control());
    out.insert(out.end(), payload_.begin(), payload_.end());
    uint16_t crc = Crc(out.data() + 2, out.size() - 2);
    out.push_back(static_cast<uint8_t>(crc >> 8));
    out.push_back(static_cast<uint8_t>(crc & 0xFF));
    out.push_back(kFrameStop);
    return out;
}

std::string ModemFrame::Describe() const
{
    std::string text = "[";
    text += ChannelName(channel_);
    text += "][";
    text += KindName(kind_);
    if (kind_ == FrameKind::Data && channel_ == 0 && !payload_.empty())
    {
        text += " ";
        text += CommandName(payload_[0]);
        if ((payload_[0] == CmdRead || payload_[0] == CmdWrite) && payload_.size() > 1)
        {
            text += " ";
            text += ParamName(payload_[1]);
        }
    }
    text += "][";
    text += std::to_string(flag_);
    text += "] ";
    text += BytesToHex(payload_.data(), payload_.size());
    return text;
}

} // namespace ModemEmu
