#include "ModemParams.h"

#include "ModemFrame.h"

#include <stdexcept>

namespace ModemEmu
{

ModemParams::ModemParams()
{
    SetIdentity(ModemIdentity{});
    SetNumber(ParamPower, 14, 1);
    SetNumber(ParamFrameFormat, 0, 1);
    SetNumber(ParamPreamble, 0, 1);
    SetNumber(ParamMailboxSize, 8, 4);
    for (uint8_t id = ParamStatsFrame; id <= ParamStatsCrcErr; ++id)
        SetNumber(id, 0, 4);
}

void ModemParams::SetIdentity(const ModemIdentity &identity)
{
    SetText(ParamHwVersion, identity.hwVersion);
    SetText(ParamDescription, identity.description);
    SetText(ParamSwVersion, identity.swVersion);
    SetText(ParamSerial, identity.serial);
    SetNumber(ParamManufacturer, identity.manufacturer, 2);
    SetNumber(ParamId, identity.id, 4);
    SetNumber(ParamIdVersion, identity.version, 1);
    SetNumber(ParamIdType, identity.type, 1);
    SetNumber(ParamMode, identity.mode, 1);
    SetNumber(ParamChannel, identity.channel, 1);
}

bool ModemParams::Exists(uint8_t id)
{
    return id != 0 && ParamName(id)[0] != '\0';
}

bool ModemParams::Writable(uint8_t id)
{
    return id >= ParamMode && id <= ParamPreamble;
}

ParamAnswer ModemParams::Read(uint8_t id) const
{
    auto forced = forced_.find(id);
    if (forced != forced_.end())
        return {forced->second, {}};
    if (!Exists(id))
        return {StatusUnknown, {}};
    return {StatusOk, Get(id)};
}

uint8_t ModemParams::Write(uint8_t id, const std::vector<uint8_t> &data)
{
    auto forced = forced_.find(id);
    if (forced != forced_.end())
        return forced->second;
    if (!Exists(id))
        return StatusUnknown;
    if (!Writable(id))
        return StatusReadOnly;
    if (data.size() != 1)
        return StatusBadFormat;
    values_[id] = data;
    return StatusOk;
}

void ModemParams::Set(uint8_t id, std::vector<uint8_t> value)
{
    if (!Exists(id))
        throw std::invalid_argument("unknown modem parameter " + std::to_string(id));
    // One answer must fit a modem frame: 01 status n data.
    if (value.size() > kMaxPayload - 3)
        throw std::invalid_argument("modem parameter value too long");
    values_[id] = std::move(value);
}

void ModemParams::SetText(uint8_t id, const std::string &text)
{
    Set(id, std::vector<uint8_t>(text.begin(), text.end()));
}

void ModemParams::SetNumber(uint8_t id, uint32_t value, int width)
{
    if (width < 1 || width > 4)
        throw std::invalid_argument("parameter width must be 1 to 4 bytes");
    std::vector<uint8_t> bytes;
    for (int i = 0; i < width; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    Set(id, bytes);
}

const std::vector<uint8_t> &ModemParams::Get(uint8_t id) const
{
    static const std::vector<uint8_t> kEmpty;
    auto it = values_.find(id);
    return it == values_.end() ? kEmpty : it->second;
}

uint32_t ModemParams::GetNumber(uint8_t id) const
{
    const std::vector<uint8_t> &bytes = Get(id);
    uint32_t value = 0;
    for (size_t i = 0; i < bytes.size() && i < 4; ++i)
        value |= static_cast<uint32_t>(bytes[i]) << (8 * i);
    return value;
}

void ModemParams::ForceStatus(uint8_t id, uint8_t status)
{
    if (status == StatusOk)
        forced_.erase(id);
    else
        forced_[id] = status;
}

} // namespace ModemEmu
