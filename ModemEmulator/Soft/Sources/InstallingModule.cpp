#include "InstallingModule.h"

#include "WMBH_HexText.h"

#include <stdexcept>

namespace ModemEmu
{

namespace
{

constexpr uint8_t kInstallRequestC = 0x46;
constexpr uint8_t kConfirmC = 0x06;
constexpr uint8_t kResetC = 0x40;

} // namespace

InstallingModule::InstallingModule(InstallingConfig config) : config_(std::move(config))
{
    uint8_t access = 0x10;
    for (const InstallFrame &request : config_.frames)
    {
        RadioHeader header = RadioFrame::HeaderFrom(config_.address, kInstallRequestC, request.ci);
        header.access = access++;
        const HeaderKind kind = RadioFrame::HeaderKindOf(request.ci);
        if (kind != HeaderKind::Short && kind != HeaderKind::Long)
            throw std::invalid_argument("an installation request needs a transport header");
        std::vector<uint8_t> data = config_.data;
        if (config_.key)
            data.insert(data.begin(), {0x2F, 0x2F});
        std::vector<uint8_t> air = RadioFrame::Build(header, data);
        airFrames_.push_back(config_.key ? RadioFrame::EncryptMode5(air, *config_.key) : air);
    }
}

void InstallingModule::Start(RadioWorld &world)
{
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = world.Now() + config_.firstDelay;
}

void InstallingModule::Tick(RadioWorld &world)
{
    size_t index = 0;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (airFrames_.empty() || world.Now() < next_)
            return;
        if (waiting_)
        {
            if (!config_.retry || heard_)
                return;
            sent_.back() = world.Now(); // unheard: the same request again
        }
        else
        {
            if (!config_.cycle && sent_.size() >= airFrames_.size())
                return;
            sent_.push_back(world.Now());
            waiting_ = true;
        }
        heard_ = false;
        if (config_.retry)
            next_ = world.Now() + *config_.retry;
        index = (sent_.size() - 1) % airFrames_.size();
    }
    // Outside the lock: a transmission may hand us pending mailbox frames at once.
    world.Transmit(airFrames_[index], config_.frames[index].signal);
}

void InstallingModule::OnHostFrame(const HostRadioFrame &frame, RadioWorld &world)
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::vector<uint8_t> &bytes = frame.bytes;
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(bytes);
    if (sent_.empty())
    {
        problems_.push_back("answer before any request: " + BytesToHex(bytes.data(), bytes.size()));
        return;
    }
    if (!layout || layout->kind != HeaderKind::Long)
    {
        problems_.push_back("answer without a long transport header: " + BytesToHex(bytes.data(), bytes.size()));
        return;
    }
    const uint8_t c = bytes[1];
    heard_ = true;
    answers_.push_back({world.Now(), sent_.size() - 1, c, bytes[10], bytes[layout->access + 1], frame.destination});
    if ((bytes[layout->config + 1] & 0x0F) != 0)
        problems_.push_back("encrypted answer: " + BytesToHex(bytes.data(), bytes.size()));
    if (c == kResetC)
    {
        waiting_ = false;
        next_ = world.Now() + config_.gap;
    }
    else if (c != kConfirmC)
    {
        problems_.push_back("answer that is neither CNF-IR nor SND-NKE: " + BytesToHex(bytes.data(), bytes.size()));
    }
}

std::vector<Clock::time_point> InstallingModule::SentTimes() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return sent_;
}

std::vector<InstallAnswer> InstallingModule::Answers() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

std::vector<std::string> InstallingModule::Problems() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

} // namespace ModemEmu
