#include "MeterModule.h"

#include <stdexcept>

namespace ModemEmu
{

MeterModule::MeterModule(MeterConfig config) : config_(std::move(config))
{
    if (config_.frames.empty())
        throw std::invalid_argument("a meter needs at least one frame");
    if (config_.period.count() <= 0)
        throw std::invalid_argument("a meter's period must be positive");
    for (const std::vector<uint8_t> &frame : config_.frames)
    {
        if (frame.size() < 11 || frame[0] != frame.size() - 1)
            throw std::invalid_argument("meter frame must hold L C M A CI with L counting the bytes after it");
        std::vector<uint8_t> air = config_.key ? RadioFrame::EncryptMode5(frame, *config_.key) : frame;
        if (air.size() > RadioFrame::kMaxAirFrame)
            throw std::invalid_argument("meter frame too long for the modem");
        airFrames_.push_back(std::move(air));
    }
    address_ = config_.address.value_or(*RadioFrame::Source(config_.frames.front()));
}

void MeterModule::Start(RadioWorld &world)
{
    next_ = world.Now() + config_.firstDelay;
}

void MeterModule::Tick(RadioWorld &world)
{
    const Clock::time_point now = world.Now();
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (now < next_ || (!config_.repeat && sent_ >= airFrames_.size()))
            return;
        index = sent_++ % airFrames_.size();
        next_ += config_.period;
        // After a stall keep the period rather than sending a burst to catch up.
        if (next_ < now)
            next_ = now + config_.period;
    }
    world.Transmit(airFrames_[index], config_.signal);
}

void MeterModule::OnHostFrame(const HostRadioFrame &frame, RadioWorld &)
{
    std::lock_guard<std::mutex> lock(mutex_);
    received_.push_back(frame);
}

std::vector<HostRadioFrame> MeterModule::Received() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return received_;
}

size_t MeterModule::SentCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

} // namespace ModemEmu
