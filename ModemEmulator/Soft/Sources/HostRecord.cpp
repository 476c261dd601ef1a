#include "HostRecord.h"

namespace ModemEmu
{

void HostRecord::Changed()
{
    ++generation_;
    changed_.notify_all();
}

void HostRecord::AddHostBytes(const uint8_t *bytes, size_t count)
{
    std::lock_guard<std::mutex> lock(mutex_);
    hostBytes_.insert(hostBytes_.end(), bytes, bytes + count);
    Changed();
}

void HostRecord::AddFrame(RecordedFrame frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(std::move(frame));
    Changed();
}

void HostRecord::AddRadio(HostRadioFrame frame)
{
    std::lock_guard<std::mutex> lock(mutex_);
    radio_.push_back(std::move(frame));
    Changed();
}

void HostRecord::AddViolation(std::string text, std::vector<uint8_t> bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    violations_.push_back({Clock::now(), std::move(text), std::move(bytes)});
    Changed();
}

void HostRecord::AddEvent(std::string text, std::vector<uint8_t> bytes)
{
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back({Clock::now(), std::move(text), std::move(bytes)});
    Changed();
}

std::vector<uint8_t> HostRecord::HostBytes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return hostBytes_;
}

std::vector<RecordedFrame> HostRecord::Frames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
}

std::vector<ModemFrame> HostRecord::HostFrames(int channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ModemFrame> out;
    for (const RecordedFrame &f : frames_)
    {
        if (f.direction == Direction::FromHost && (channel < 0 || f.frame.Channel() == channel))
            out.push_back(f.frame);
    }
    return out;
}

std::vector<std::vector<uint8_t>> HostRecord::HostCommands() const
{
    std::vector<std::vector<uint8_t>> out;
    for (const ModemFrame &f : HostFrames(0))
    {
        if (f.Kind() == FrameKind::Data)
            out.push_back(f.Payload());
    }
    return out;
}

std::vector<ModemFrame> HostRecord::SentFrames(int channel) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::vector<ModemFrame> out;
    for (const RecordedFrame &f : frames_)
    {
        if (f.direction == Direction::ToHost && (channel < 0 || f.frame.Channel() == channel))
            out.push_back(f.frame);
    }
    return out;
}

std::vector<HostRadioFrame> HostRecord::RadioFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return radio_;
}

std::vector<RecordNote> HostRecord::Violations() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return violations_;
}

std::vector<RecordNote> HostRecord::Events() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::string HostRecord::ViolationText() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    std::string text;
    for (const RecordNote &note : violations_)
    {
        if (!text.empty())
            text += "\n";
        text += note.text;
    }
    return text;
}

bool HostRecord::HasEvent(const std::string &textPart) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    for (const RecordNote &note : events_)
    {
        if (note.text.find(textPart) != std::string::npos)
            return true;
    }
    return false;
}

void HostRecord::Clear()
{
    std::lock_guard<std::mutex> lock(mutex_);
    hostBytes_.clear();
    frames_.clear();
    radio_.clear();
    violations_.clear();
    events_.clear();
    Changed();
}

bool HostRecord::WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) const
{
    const auto deadline = Clock::now() + timeout;
    for (;;)
    {
        uint64_t seen;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            seen = generation_;
        }
        // `done` takes the lock itself through the accessors.
        if (done())
            return true;
        std::unique_lock<std::mutex> lock(mutex_);
        if (!changed_.wait_until(lock, deadline, [&] { return generation_ != seen; }))
            return false;
    }
}

} // namespace ModemEmu
