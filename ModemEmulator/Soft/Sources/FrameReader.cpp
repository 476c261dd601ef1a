#include "FrameReader.h"

namespace ModemEmu
{

void FrameReader::FlushGarbage(std::vector<ReadEvent> &events)
{
    if (garbage_.empty())
        return;
    events.push_back({ReadEvent::Garbage, {}, std::move(garbage_)});
    garbage_.clear();
}

void FrameReader::TryComplete(std::vector<ReadEvent> &events)
{
    if (partial_.size() < 2)
        return;
    const size_t l = partial_[1];
    if (l < 3)
    {
        events.push_back({ReadEvent::BadLength, {}, std::move(partial_)});
        partial_.clear();
        return;
    }
    const size_t total = l + 3;
    if (partial_.size() < total)
        return;

    // Offsets: 2 control, 3..l-1 payload, l and l+1 CRC, l+2 stop.
    const uint16_t crc = ModemFrame::Crc(partial_.data() + 2, l - 2);
    const uint16_t got = static_cast<uint16_t>(partial_[l] << 8 | partial_[l + 1]);
    if (crc != got)
    {
        events.push_back({ReadEvent::BadCrc, {}, std::move(partial_)});
        partial_.clear();
        return;
    }
    ModemFrame frame =
        ModemFrame::FromControl(partial_[2], std::vector<uint8_t>(partial_.begin() + 3, partial_.begin() + l));
    const ReadEvent::Type type = partial_[l + 2] == kFrameStop ? ReadEvent::Frame : ReadEvent::BadStop;
    events.push_back({type, std::move(frame), std::move(partial_)});
    partial_.clear();
}

std::vector<ReadEvent> FrameReader::Feed(const uint8_t *bytes, size_t count, Clock::time_point now)
{
    std::vector<ReadEvent> events;
    if (count > 0)
        lastByte_ = now;
    for (size_t i = 0; i < count; ++i)
    {
        const uint8_t b = bytes[i];
        if (partial_.empty())
        {
            if (b != kFrameStart)
            {
                garbage_.push_back(b);
                continue;
            }
            FlushGarbage(events);
        }
        partial_.push_back(b);
        TryComplete(events);
    }
    FlushGarbage(events);
    return events;
}

std::vector<ReadEvent> FrameReader::Expire(Clock::time_point now)
{
    std::vector<ReadEvent> events;
    if (!partial_.empty() && now - lastByte_ >= stallTime_)
    {
        events.push_back({ReadEvent::Truncated, {}, std::move(partial_)});
        partial_.clear();
    }
    return events;
}

} // namespace ModemEmu
