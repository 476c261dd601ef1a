#include "ModemEmulator.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace ModemEmu
{

namespace
{

// A host that reads nothing must not make us hoard output without end.
constexpr size_t kMaxPending = 1 << 20;

} // namespace

ModemEmulator::ModemEmulator(const std::string &linkPath) : pty_(linkPath)
{
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0)
        throw std::system_error(errno, std::generic_category(), "pipe2");
    wakeRead_ = fds[0];
    wakeWrite_ = fds[1];
    core_ = std::make_unique<ModemCore>(
        record_,
        [this](const std::vector<uint8_t> &bytes)
        {
            if (pending_.size() + bytes.size() > kMaxPending)
            {
                record_.AddEvent("host reads nothing; output dropped");
                return;
            }
            pending_.insert(pending_.end(), bytes.begin(), bytes.end());
        },
        [this]
        {
            pending_.clear();
            pty_.FlushToHost();
        });
}

ModemEmulator::~ModemEmulator()
{
    Stop();
    close(wakeRead_);
    close(wakeWrite_);
}

void ModemEmulator::Start()
{
    if (thread_.joinable())
        return;
    stop_ = false;
    thread_ = std::thread([this] { Loop(); });
}

void ModemEmulator::Stop()
{
    if (!thread_.joinable())
        return;
    stop_ = true;
    Wake();
    thread_.join();
}

void ModemEmulator::Wake()
{
    const char byte = 1;
    // A full pipe already means a wake-up is pending.
    [[maybe_unused]] ssize_t ignored = write(wakeWrite_, &byte, 1);
}

void ModemEmulator::Loop()
{
    while (!stop_)
    {
        int timeoutMs;
        bool haveOutput;
        int masterFd;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            const Clock::time_point now = Clock::now();
            const auto wait = core_->NextDue(now) - now;
            timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(wait).count());
            timeoutMs = std::max(timeoutMs, 0);
            haveOutput = !pending_.empty();
            masterFd = pty_.MasterFd();
        }
        // A vanished device has no descriptor: poll skips it and only the wake-up counts.
        pollfd fds[2] = {{masterFd, static_cast<short>(POLLIN | (haveOutput ? POLLOUT : 0)), 0},
                         {wakeRead_, POLLIN, 0}};
        poll(fds, 2, timeoutMs);
        if (fds[1].revents & POLLIN)
        {
            char drain[64];
            while (read(wakeRead_, drain, sizeof drain) > 0)
            {
            }
        }
        if (fds[0].revents & POLLIN)
            ReadHost();
        std::lock_guard<std::mutex> lock(mutex_);
        core_->Tick(Clock::now());
        WriteHost();
        if (vanishAfter_ && !pty_.Vanished() && core_->HostAcknowledged() >= *vanishAfter_)
        {
            record_.AddEvent("device vanished after " + std::to_string(core_->HostAcknowledged()) +
                             " acknowledged frames");
            pending_.clear();
            pty_.Vanish();
        }
    }
}

void ModemEmulator::ReadHost()
{
    uint8_t buffer[4096];
    while (!pty_.Vanished())
    {
        const ssize_t n = read(pty_.MasterFd(), buffer, sizeof buffer);
        if (n <= 0)
            return;
        std::lock_guard<std::mutex> lock(mutex_);
        core_->OnBytes(buffer, static_cast<size_t>(n), Clock::now());
    }
}

// Called with mutex_ held.
void ModemEmulator::WriteHost()
{
    while (!pending_.empty() && !pty_.Vanished())
    {
        const ssize_t n = write(pty_.MasterFd(), pending_.data(), pending_.size());
        if (n <= 0)
            return;
        pending_.erase(pending_.begin(), pending_.begin() + n);
    }
}

void ModemEmulator::WithCore(const std::function<void(ModemCore &)> &change)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        change(*core_);
    }
    Wake();
}

void ModemEmulator::SetIdentity(const ModemIdentity &identity)
{
    WithCore([&](ModemCore &core) { core.Params().SetIdentity(identity); });
}

void ModemEmulator::SetParam(uint8_t id, std::vector<uint8_t> value)
{
    WithCore([&](ModemCore &core) { core.Params().Set(id, std::move(value)); });
}

void ModemEmulator::SetParamText(uint8_t id, const std::string &text)
{
    WithCore([&](ModemCore &core) { core.Params().SetText(id, text); });
}

void ModemEmulator::SetParamNumber(uint8_t id, uint32_t value, int width)
{
    WithCore([&](ModemCore &core) { core.Params().SetNumber(id, value, width); });
}

std::vector<uint8_t> ModemEmulator::Param(uint8_t id) const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return core_->Params().Get(id);
}

void ModemEmulator::ForceParamStatus(uint8_t id, uint8_t status)
{
    WithCore([&](ModemCore &core) { core.Params().ForceStatus(id, status); });
}

void ModemEmulator::SetStats(uint32_t frames, uint32_t preambles, uint32_t syncAddresses, uint32_t crcErrors)
{
    WithCore(
        [&](ModemCore &core)
        {
            core.SetStat(0, frames);
            core.SetStat(1, preambles);
            core.SetStat(2, syncAddresses);
            core.SetStat(3, crcErrors);
        });
}

void ModemEmulator::SetMailboxCapacity(size_t capacity)
{
    WithCore([&](ModemCore &core) { core.SetMailboxCapacity(capacity); });
}

std::vector<MailboxEntry> ModemEmulator::MailboxEntries() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    const std::deque<MailboxEntry> &entries = core_->GetMailbox().Entries();
    return std::vector<MailboxEntry>(entries.begin(), entries.end());
}

void ModemEmulator::SetConfig(const CoreConfig &config)
{
    WithCore([&](ModemCore &core) { core.Config() = config; });
}

void ModemEmulator::SetPeriodicEvent(std::chrono::milliseconds period, std::vector<uint8_t> payload)
{
    WithCore([&](ModemCore &core) { core.SetPeriodicEvent(period, std::move(payload), Clock::now()); });
}

void ModemEmulator::AddModule(std::shared_ptr<ScriptedModule> module)
{
    WithCore([&](ModemCore &core) { core.AddModule(std::move(module), Clock::now()); });
}

std::shared_ptr<MeterModule> ModemEmulator::AddMeter(MeterConfig config)
{
    auto meter = std::make_shared<MeterModule>(std::move(config));
    AddModule(meter);
    return meter;
}

void ModemEmulator::InjectFault(const Fault &fault)
{
    WithCore([&](ModemCore &core) { core.InjectFault(fault); });
}

void ModemEmulator::ClearFaults()
{
    WithCore([](ModemCore &core) { core.ClearFaults(); });
}

size_t ModemEmulator::PendingFaults() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return core_->PendingFaults();
}

void ModemEmulator::ReceiveRadio(const std::vector<uint8_t> &airFrame, uint8_t signal)
{
    WithCore([&](ModemCore &core) { core.ReceiveRadio(airFrame, signal, Clock::now()); });
}

void ModemEmulator::QueueDataFrame(uint8_t channel, std::vector<uint8_t> payload)
{
    WithCore([&](ModemCore &core) { core.QueueDataFrame(channel, std::move(payload), Clock::now()); });
}

void ModemEmulator::WriteRaw(const std::vector<uint8_t> &bytes)
{
    WithCore([&](ModemCore &core) { core.WriteRaw(bytes); });
}

bool ModemEmulator::LeaveInLine(const std::vector<uint8_t> &bytes)
{
    WriteRaw(bytes);
    const auto end = Clock::now() + std::chrono::seconds(2);
    while (Clock::now() < end)
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (pending_.empty())
                return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

void ModemEmulator::VanishAfterAcknowledged(size_t frames)
{
    WithCore([&](ModemCore &) { vanishAfter_ = frames; });
}

bool ModemEmulator::Vanished() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return pty_.Vanished();
}

void ModemEmulator::DeliverMailbox()
{
    WithCore([](ModemCore &core) { core.DeliverMailbox(Clock::now()); });
}

bool ModemEmulator::HostAttached() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return core_->HostAttached();
}

} // namespace ModemEmu
