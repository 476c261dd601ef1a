#include "ModemCore.h"

#include "ByteCursor.h"
#include "WMBH_HexText.h"

#include <algorithm>

namespace ModemEmu
{

namespace
{

// Ticks run at least this often, so that scripted modules see time pass.
constexpr auto kModuleTick = std::chrono::milliseconds(5);

std::string Hex(const std::vector<uint8_t> &bytes)
{
    return DataToHex(bytes.data(), bytes.size());
}

bool FaultMatches(const Fault &fault, uint8_t channel, const std::vector<uint8_t> *command)
{
    if (fault.channel >= 0 && fault.channel != channel)
        return false;
    if (fault.command < 0 && fault.param < 0)
        return true;
    if (channel != 0 || !command || command->empty())
        return false;
    if (fault.command >= 0 && (*command)[0] != fault.command)
        return false;
    if (fault.param >= 0)
    {
        const uint8_t cmd = (*command)[0];
        if ((cmd != CmdRead && cmd != CmdWrite) || command->size() < 2 || (*command)[1] != fault.param)
            return false;
    }
    return true;
}

bool IsMangling(FaultKind kind)
{
    return kind == FaultKind::BadCrc || kind == FaultKind::Garbage || kind == FaultKind::CutShort;
}

} // namespace

// The RadioWorld one module sees: it remembers who transmits, because the
// modem hands a module its mailbox frames right after it has transmitted.
class ModemCore::ModuleWorld : public RadioWorld
{
public:
    ModuleWorld(ModemCore &core, ScriptedModule *module) : core_(core), module_(module) {}

    void Transmit(const std::vector<uint8_t> &airFrame, uint8_t signal, std::chrono::milliseconds delay) override
    {
        core_.ScheduleRadio(airFrame, signal, delay, module_);
    }
    Clock::time_point Now() const override { return core_.now_; }

private:
    ModemCore &core_;
    ScriptedModule *module_;
};

ModemCore::ModemCore(HostRecord &record, Output output, std::function<void()> flushToHost)
    : record_(record), output_(std::move(output)), flushToHost_(std::move(flushToHost))
{
    SetMailboxCapacity(mailbox_.Capacity());
}

ModemCore::~ModemCore() = default;

void ModemCore::SetMailboxCapacity(size_t capacity)
{
    mailbox_.SetCapacity(capacity);
    params_.SetNumber(ParamMailboxSize, static_cast<uint32_t>(capacity), 4);
}

void ModemCore::SetStat(int index, uint32_t value)
{
    if (index < 0 || index > 3)
        throw std::invalid_argument("statistics counter index must be 0 to 3");
    params_.SetNumber(static_cast<uint8_t>(ParamStatsFrame + index), value, 4);
}

void ModemCore::AddModule(std::shared_ptr<ScriptedModule> module, Clock::time_point now)
{
    now_ = now;
    ModuleSlot slot{std::move(module), nullptr};
    slot.world = std::make_unique<ModuleWorld>(*this, slot.module.get());
    modules_.push_back(std::move(slot));
    modules_.back().module->Start(*modules_.back().world);
}

void ModemCore::InjectFault(const Fault &fault)
{
    faults_.push_back(fault);
}

void ModemCore::ClearFaults()
{
    faults_.clear();
}

void ModemCore::SetPeriodicEvent(std::chrono::milliseconds period, std::vector<uint8_t> payload, Clock::time_point now)
{
    if (payload.size() > kMaxPayload)
        throw std::invalid_argument("event payload too long for one frame");
    eventPeriod_ = period;
    eventPayload_ = std::move(payload);
    nextEvent_ = now + period;
}

std::optional<Fault> ModemCore::TakeFault(FaultKind kind, uint8_t channel, const std::vector<uint8_t> *command,
                                          bool isAck)
{
    for (auto it = faults_.begin(); it != faults_.end(); ++it)
    {
        if (it->kind != kind || !FaultMatches(*it, channel, command))
            continue;
        if (IsMangling(kind) && it->onAcks != isAck)
            continue;
        Fault taken = *it;
        if (it->count > 0 && --it->count == 0)
            faults_.erase(it);
        record_.AddEvent(std::string("fault ") + FaultKindName(kind) + " on channel " + std::to_string(channel));
        return taken;
    }
    return std::nullopt;
}

bool ModemCore::SilentActive() const
{
    return std::any_of(faults_.begin(), faults_.end(), [](const Fault &f) { return f.kind == FaultKind::Silent; });
}

void ModemCore::OnBytes(const uint8_t *bytes, size_t count, Clock::time_point now)
{
    now_ = now;
    record_.AddHostBytes(bytes, count);
    for (ReadEvent &event : reader_.Feed(bytes, count, now))
        HandleRead(event);
}

void ModemCore::HandleRead(ReadEvent &event)
{
    switch (event.type)
    {
    case ReadEvent::Garbage:
        record_.AddViolation("garbage bytes outside a frame: " + Hex(event.raw), event.raw);
        return;
    case ReadEvent::BadLength:
        record_.AddViolation("frame length below 3: " + Hex(event.raw), event.raw);
        return;
    case ReadEvent::BadCrc:
        // A frame we cannot trust gets no answer at all, as on a noisy line.
        record_.AddViolation("frame with wrong CRC: " + Hex(event.raw), event.raw);
        return;
    case ReadEvent::Truncated:
        record_.AddViolation("frame cut short: " + Hex(event.raw), event.raw);
        return;
    case ReadEvent::BadStop:
        record_.AddViolation("frame without stop byte F5: " + Hex(event.raw), event.raw);
        break;
    case ReadEvent::Frame:
        break;
    }
    record_.AddFrame({now_, Direction::FromHost, event.raw, event.frame});
    HandleFrame(event.frame);
}

void ModemCore::HandleFrame(const ModemFrame &frame)
{
    if (frame.Kind() == FrameKind::Undefined || frame.Channel() == 3)
    {
        record_.AddViolation("frame of undefined kind or channel: " + frame.Describe());
        return;
    }
    if (TakeFault(FaultKind::Silent, frame.Channel(), &frame.Payload()))
        return;
    attached_ = true;
    missingAcks_ = 0;

    if (frame.Kind() != FrameKind::Data)
    {
        HandleHostAck(frame);
        return;
    }
    const uint8_t channel = frame.Channel();
    const uint8_t bit = frame.Flag();
    const std::vector<uint8_t> &payload = frame.Payload();
    // The host toggles its bit for every frame; a repeat is only an event,
    // since a new host on the line starts again at 0.
    std::optional<uint8_t> &lastBit = channels_[channel].lastHostBit;
    if (lastBit && *lastBit == bit)
        record_.AddEvent("host repeated alternating bit " + std::to_string(bit) + " on channel " +
                         std::to_string(channel));
    lastBit = bit;
    if (TakeFault(FaultKind::NoAck, channel, &payload))
        return;
    if (TakeFault(FaultKind::Nak, channel, &payload))
    {
        SendLink(FrameKind::Nak, channel, bit);
        return;
    }
    Clock::time_point acked = now_;
    if (std::optional<Fault> late = TakeFault(FaultKind::LateAck, channel, &payload))
    {
        acked = now_ + late->delay;
        Schedule(acked, [this, channel, bit] { SendLink(FrameKind::Ack, channel, bit); });
    }
    else
    {
        SendLink(FrameKind::Ack, channel, bit);
    }

    switch (channel)
    {
    case 0:
        HandleCommand(payload, acked);
        break;
    case 1:
        HandleHostRadio(payload, RadioPath::Direct, 0);
        break;
    default:
        record_.AddViolation("host sent a data frame on the event channel: " + frame.Describe());
        break;
    }
}

void ModemCore::HandleHostAck(const ModemFrame &frame)
{
    ChannelState &state = channels_[frame.Channel()];
    if (!frame.Payload().empty())
        record_.AddViolation("link acknowledgement with a payload: " + frame.Describe());
    if (!state.outstanding)
    {
        record_.AddViolation("link acknowledgement with no frame waiting for one: " + frame.Describe());
        return;
    }
    if (frame.Flag() != state.outstanding->bit)
        record_.AddViolation("link acknowledgement with bit " + std::to_string(frame.Flag()) +
                             " for a frame with bit " + std::to_string(state.outstanding->bit));
    if (frame.Kind() == FrameKind::Nak)
        record_.AddEvent("host refused a frame with a NAK on channel " + std::to_string(frame.Channel()));
    else
        ++hostAcks_;
    state.outstanding.reset();
    TrySend(frame.Channel());
}

void ModemCore::HandleCommand(const std::vector<uint8_t> &payload, Clock::time_point base)
{
    bool deliverNow = false;
    std::vector<uint8_t> answer = CarryOut(payload, deliverNow);
    if (!answer.empty() && !TakeFault(FaultKind::NoAnswer, 0, &payload))
    {
        Clock::time_point at = base + config_.answerDelay;
        if (std::optional<Fault> late = TakeFault(FaultKind::LateAnswer, 0, &payload))
            at += late->delay;
        if (std::optional<Fault> burst = TakeFault(FaultKind::EventBurst, 0, &payload))
        {
            for (size_t i = 0; i < burst->events; ++i)
                QueueData(2, {0xE2, static_cast<uint8_t>(i)});
            Schedule(at, [this, answer] { AnswerBehindEvents(answer); });
        }
        else
        {
            Schedule(at, [this, answer] { QueueData(0, answer); });
        }
    }
    if (deliverNow)
        DeliverMailbox(now_);
}

void ModemCore::AnswerBehindEvents(std::vector<uint8_t> answer)
{
    const ChannelState &events = channels_[2];
    if (events.queue.empty() && !events.outstanding)
    {
        QueueData(0, std::move(answer));
        return;
    }
    Schedule(now_ + std::chrono::milliseconds(1), [this, answer] { AnswerBehindEvents(answer); });
}

// Carries out one command and returns the answer payload (01 status n data);
// empty when the request is too broken to answer.
std::vector<uint8_t> ModemCore::CarryOut(const std::vector<uint8_t> &payload, bool &deliverNow)
{
    ByteCursor cursor(payload);
    uint8_t command = 0;
    uint8_t status = StatusOk;
    std::vector<uint8_t> data;
    if (!cursor.ReadByte(command))
    {
        record_.AddViolation("empty command frame");
        return {};
    }
    auto malformed = [&](const char *what)
    {
        record_.AddViolation(std::string("malformed ") + what + " request: " + Hex(payload));
        status = StatusBadFormat;
    };

    uint8_t first = 0;
    uint8_t second = 0;
    std::vector<uint8_t> body;
    switch (command)
    {
    case CmdRead:
        if (!cursor.ReadByte(first) || !cursor.ReadByte(second) || second != 0 || cursor.Remaining() != 0)
        {
            malformed("read");
            break;
        }
        {
            ParamAnswer read = params_.Read(first);
            status = read.status;
            data = std::move(read.data);
        }
        break;
    case CmdWrite:
        if (!cursor.ReadByte(first) || !cursor.ReadByte(second) || !cursor.ReadBytes(second, body) ||
            cursor.Remaining() != 0)
        {
            malformed("write");
            break;
        }
        status = params_.Write(first, body);
        break;
    case CmdMboxAdd:
        if (!cursor.ReadByte(first) || first == 0 || !cursor.ReadBytes(first, body) || cursor.Remaining() != 0)
        {
            malformed("mbox add");
            break;
        }
        CheckRadioFrame(body, "mailbox");
        if (std::optional<uint8_t> id = mailbox_.Add(body))
        {
            data.push_back(*id);
            record_.AddRadio({now_, RadioPath::Mailbox, *id, body, RadioFrame::Destination(body)});
            deliverNow = config_.delivery == MailboxDelivery::Immediate;
            if (config_.delivery == MailboxDelivery::Paced)
                PlanPacedDelivery();
        }
        else
        {
            status = StatusMailboxFull;
        }
        break;
    case CmdMboxDel:
    case CmdMboxCheck:
        if (!cursor.ReadByte(first) || first != 1 || !cursor.ReadByte(second) || cursor.Remaining() != 0)
        {
            malformed(CommandName(command));
            break;
        }
        if (command == CmdMboxCheck)
            data.push_back(mailbox_.Contains(second) ? 0 : 1);
        else if (!mailbox_.Remove(second))
            status = StatusNoMessage;
        else
            record_.AddEvent("mailbox message " + std::to_string(second) + " withdrawn by the host");
        break;
    case CmdMboxGet:
        if (!cursor.ReadByte(first) || first != 0 || cursor.Remaining() != 0)
        {
            malformed("mbox get");
            break;
        }
        data.push_back(static_cast<uint8_t>(std::min<size_t>(mailbox_.FreeSpace(), 255)));
        break;
    default:
        record_.AddViolation("unknown command " + std::to_string(command) + ": " + Hex(payload));
        status = StatusUnknown;
        break;
    }
    std::vector<uint8_t> answer{CmdAck, status, static_cast<uint8_t>(data.size())};
    answer.insert(answer.end(), data.begin(), data.end());
    return answer;
}

bool ModemCore::CheckRadioFrame(const std::vector<uint8_t> &bytes, const char *what)
{
    if (bytes.size() < 11 || bytes[0] != bytes.size() - 1)
    {
        record_.AddViolation(std::string(what) +
                             " radio frame whose L does not count the bytes after it: " + Hex(bytes));
        return false;
    }
    return true;
}

void ModemCore::HandleHostRadio(const std::vector<uint8_t> &bytes, RadioPath path, uint8_t messageId)
{
    CheckRadioFrame(bytes, "direct");
    HostRadioFrame frame{now_, path, messageId, bytes, RadioFrame::Destination(bytes)};
    record_.AddRadio(frame);
    DeliverToModules(frame);
}

bool ModemCore::Addressed(const ScriptedModule &module, const std::optional<RadioAddress> &destination) const
{
    return destination ? module.Address() == *destination : module.AcceptsUnaddressed();
}

void ModemCore::DeliverToModules(const HostRadioFrame &frame)
{
    bool delivered = false;
    // By index: a module may add frames to the schedule, never modules.
    for (size_t i = 0; i < modules_.size(); ++i)
    {
        ModuleSlot &slot = modules_[i];
        if (!Addressed(*slot.module, frame.destination))
            continue;
        delivered = true;
        record_.AddEvent("radio frame delivered to " + slot.module->Name());
        slot.module->OnHostFrame(frame, *slot.world);
    }
    if (!delivered)
        record_.AddEvent("radio frame for no module: " + Hex(frame.bytes));
}

void ModemCore::DeliverMailboxTo(ScriptedModule *module)
{
    for (size_t i = 0; i < modules_.size(); ++i)
    {
        ModuleSlot &slot = modules_[i];
        if (module && slot.module.get() != module)
            continue;
        std::vector<MailboxEntry> due;
        for (const MailboxEntry &entry : mailbox_.Entries())
        {
            if (Addressed(*slot.module, RadioFrame::Destination(entry.frame)))
                due.push_back(entry);
        }
        for (const MailboxEntry &entry : due)
            DeliverEntry(slot, entry);
    }
}

void ModemCore::DeliverEntry(ModuleSlot &slot, const MailboxEntry &entry)
{
    mailbox_.Remove(entry.id);
    record_.AddEvent("mailbox message " + std::to_string(entry.id) + " delivered to " + slot.module->Name());
    slot.module->OnHostFrame({now_, RadioPath::Mailbox, entry.id, entry.frame, RadioFrame::Destination(entry.frame)},
                             *slot.world);
}

void ModemCore::PlanPacedDelivery()
{
    if (pacedDeliveryPlanned_)
        return;
    pacedDeliveryPlanned_ = true;
    Schedule(now_ + config_.deliveryPace, [this] { DeliverPaced(); });
}

void ModemCore::DeliverPaced()
{
    pacedDeliveryPlanned_ = false;
    if (config_.delivery != MailboxDelivery::Paced)
        return;
    for (const MailboxEntry &entry : mailbox_.Entries())
    {
        for (size_t i = 0; i < modules_.size(); ++i)
        {
            if (!Addressed(*modules_[i].module, RadioFrame::Destination(entry.frame)))
                continue;
            const MailboxEntry taken = entry; // the entry leaves the mailbox on delivery
            DeliverEntry(modules_[i], taken);
            if (!mailbox_.Entries().empty())
                PlanPacedDelivery();
            return;
        }
    }
    // Nothing any module listens for: it stays until the host takes it back.
}

void ModemCore::DeliverMailbox(Clock::time_point now)
{
    now_ = now;
    DeliverMailboxTo(nullptr);
}

void ModemCore::ScheduleRadio(std::vector<uint8_t> airFrame, uint8_t signal, std::chrono::milliseconds delay,
                              ScriptedModule *from)
{
    if (delay.count() <= 0)
    {
        RadioArrives(airFrame, signal, from);
        return;
    }
    Schedule(now_ + delay, [this, airFrame, signal, from] { RadioArrives(airFrame, signal, from); });
}

void ModemCore::ReceiveRadio(const std::vector<uint8_t> &airFrame, uint8_t signal, Clock::time_point now)
{
    now_ = now;
    RadioArrives(airFrame, signal, nullptr);
}

void ModemCore::RadioArrives(const std::vector<uint8_t> &airFrame, uint8_t signal, ScriptedModule *from)
{
    if (airFrame.empty() || airFrame.size() > RadioFrame::kMaxAirFrame)
    {
        record_.AddEvent("radio frame of unusable size dropped: " + Hex(airFrame));
        return;
    }
    if (!attached_ && config_.requireHost)
    {
        record_.AddEvent("radio frame dropped, no host: " + Hex(airFrame));
    }
    else
    {
        std::vector<uint8_t> payload = airFrame;
        payload[0] = static_cast<uint8_t>(payload[0] + 1);
        payload.push_back(signal);
        QueueData(1, std::move(payload));
    }
    // The module listens right after its own transmission. Handed over from
    // the schedule, so that a module is never re-entered from its own Transmit.
    if (from && config_.delivery == MailboxDelivery::OnModuleTransmit)
        Schedule(now_, [this, from] { DeliverMailboxTo(from); });
}

void ModemCore::QueueDataFrame(uint8_t channel, std::vector<uint8_t> payload, Clock::time_point now)
{
    if (channel > 2)
        throw std::invalid_argument("data frames go on channels 0 to 2");
    if (payload.size() > kMaxPayload)
        throw std::invalid_argument("payload too long for one frame");
    now_ = now;
    QueueData(channel, std::move(payload));
}

void ModemCore::WriteRaw(const std::vector<uint8_t> &bytes)
{
    output_(bytes);
}

void ModemCore::QueueData(uint8_t channel, std::vector<uint8_t> payload)
{
    if (SilentActive())
    {
        record_.AddEvent("silent modem kept back a frame on channel " + std::to_string(channel));
        return;
    }
    channels_[channel].queue.push_back(std::move(payload));
    TrySend(channel);
}

void ModemCore::TrySend(uint8_t channel)
{
    ChannelState &state = channels_[channel];
    // Stop-and-wait: one frame per channel until the host acknowledges it.
    if (state.outstanding || state.queue.empty())
        return;
    ModemFrame frame(FrameKind::Data, channel, state.nextBit, std::move(state.queue.front()));
    state.queue.pop_front();
    state.outstanding = Outstanding{state.nextBit, now_ + config_.ackTimeout};
    state.nextBit ^= 1;
    Send(frame, false);
}

void ModemCore::SendLink(FrameKind kind, uint8_t channel, uint8_t bit)
{
    if (SilentActive())
        return;
    Send(ModemFrame(kind, channel, bit), true);
}

void ModemCore::Send(const ModemFrame &frame, bool isAck)
{
    std::vector<uint8_t> bytes = frame.Encode();
    const uint8_t channel = frame.Channel();
    if (TakeFault(FaultKind::BadCrc, channel, nullptr, isAck))
        bytes[bytes.size() - 2] ^= 0xFF;
    if (std::optional<Fault> cut = TakeFault(FaultKind::CutShort, channel, nullptr, isAck))
        bytes.resize(std::min(bytes.size(), cut->keepBytes));
    if (std::optional<Fault> garbage = TakeFault(FaultKind::Garbage, channel, nullptr, isAck))
        bytes.insert(bytes.begin(), garbage->garbage.begin(), garbage->garbage.end());
    record_.AddFrame({now_, Direction::ToHost, bytes, frame});
    output_(bytes);
}

void ModemCore::Schedule(Clock::time_point at, std::function<void()> action)
{
    scheduled_.emplace(at, std::move(action));
}

void ModemCore::Detach()
{
    attached_ = false;
    record_.AddEvent("host stopped acknowledging; radio frames held back until it talks again");
    for (ChannelState &state : channels_)
    {
        state.queue.clear();
        state.outstanding.reset();
        state.lastHostBit.reset();
    }
    if (flushToHost_)
        flushToHost_();
}

void ModemCore::Tick(Clock::time_point now)
{
    now_ = now;
    for (ReadEvent &event : reader_.Expire(now))
        HandleRead(event);

    RunDue();

    for (uint8_t channel = 0; channel < channels_.size(); ++channel)
    {
        ChannelState &state = channels_[channel];
        if (!state.outstanding || now < state.outstanding->deadline)
            continue;
        record_.AddEvent("host did not acknowledge frame on channel " + std::to_string(channel) + " with bit " +
                         std::to_string(state.outstanding->bit));
        state.outstanding.reset();
        if (attached_ && ++missingAcks_ >= config_.detachAfterMissingAcks)
        {
            Detach();
            break;
        }
        TrySend(channel);
    }

    if (eventPeriod_.count() > 0 && now >= nextEvent_)
    {
        nextEvent_ = now + eventPeriod_;
        if (attached_ || !config_.requireHost)
            QueueData(2, eventPayload_);
    }

    for (size_t i = 0; i < modules_.size(); ++i)
        modules_[i].module->Tick(*modules_[i].world);
    // Hand-overs the modules just caused happen before anything they sent reaches the host.
    RunDue();
}

void ModemCore::RunDue()
{
    while (!scheduled_.empty() && scheduled_.begin()->first <= now_)
    {
        std::function<void()> action = std::move(scheduled_.begin()->second);
        scheduled_.erase(scheduled_.begin());
        action();
    }
}

Clock::time_point ModemCore::NextDue(Clock::time_point now) const
{
    Clock::time_point due = now + kModuleTick;
    if (!scheduled_.empty())
        due = std::min(due, scheduled_.begin()->first);
    for (const ChannelState &state : channels_)
    {
        if (state.outstanding)
            due = std::min(due, state.outstanding->deadline);
    }
    if (reader_.InFrame())
        due = std::min(due, reader_.LastByteTime() + reader_.StallTime());
    return due;
}

} // namespace ModemEmu
