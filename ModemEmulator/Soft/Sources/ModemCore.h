#ifndef MODEMEMU_MODEMCORE_H
#define MODEMEMU_MODEMCORE_H

#include "Fault.h"
#include "FrameReader.h"
#include "HostRecord.h"
#include "Mailbox.h"
#include "ModemParams.h"
#include "ScriptedModule.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>

namespace ModemEmu
{

enum class MailboxDelivery
{
    OnModuleTransmit, // a pending frame goes out when its module next transmits (it listens then)
    Immediate,        // at once when the addressed module exists
    Paced,            // the oldest frame whose module exists goes out, one per deliveryPace
    Never             // frames stay until the host deletes them
};

struct CoreConfig
{
    // How long the modem waits for the host's link acknowledgement of each of its data frames.
    std::chrono::milliseconds ackTimeout{1000};
    // Time the modem takes to carry out a command before answering.
    std::chrono::milliseconds answerDelay{2};
    // Radio and event frames go out only while a host is talking to us; before
    // the first host frame (and after the host stopped acknowledging) they are dropped.
    bool requireHost = true;
    // Consecutive unacknowledged frames after which the host is taken as gone.
    int detachAfterMissingAcks = 2;
    MailboxDelivery delivery = MailboxDelivery::OnModuleTransmit;
    // Paced delivery: the time between two frames handed out, as a modem that frees one entry at a time.
    std::chrono::milliseconds deliveryPace{100};
};

// The modem seen from its own side, without threads or file descriptors:
// bytes from the host and the passing of time go in, bytes to the host come
// out through the output function. ModemEmulator drives it from a pty; a
// unit test may drive it directly with its own clock.
class ModemCore
{
public:
    using Output = std::function<void(const std::vector<uint8_t> &)>;

    // `flushToHost` drops bytes the host has not read yet (called when the host is taken as gone).
    ModemCore(HostRecord &record, Output output, std::function<void()> flushToHost = {});
    ~ModemCore();
    ModemCore(const ModemCore &) = delete;
    ModemCore &operator=(const ModemCore &) = delete;

    void OnBytes(const uint8_t *bytes, size_t count, Clock::time_point now);
    void Tick(Clock::time_point now);
    // The latest time by which Tick should run again.
    Clock::time_point NextDue(Clock::time_point now) const;

    CoreConfig &Config() { return config_; }
    ModemParams &Params() { return params_; }
    Mailbox &GetMailbox() { return mailbox_; }
    void SetMailboxCapacity(size_t capacity);
    void SetStat(int index, uint32_t value); // 0..3: parameters 50..53

    void AddModule(std::shared_ptr<ScriptedModule> module, Clock::time_point now);
    void InjectFault(const Fault &fault);
    void ClearFaults();
    size_t PendingFaults() const { return faults_.size(); }
    // Period 0 switches the channel-2 events off.
    void SetPeriodicEvent(std::chrono::milliseconds period, std::vector<uint8_t> payload, Clock::time_point now);

    // A radio frame reaching the modem as if from a module (L counting the bytes after it).
    void ReceiveRadio(const std::vector<uint8_t> &airFrame, uint8_t signal, Clock::time_point now);
    // A data frame with exactly this payload, through the normal per-channel queue.
    void QueueDataFrame(uint8_t channel, std::vector<uint8_t> payload, Clock::time_point now);
    // Bytes straight onto the line, for tests of the host's frame reader.
    void WriteRaw(const std::vector<uint8_t> &bytes);
    // Hands every pending mailbox frame to its module now.
    void DeliverMailbox(Clock::time_point now);

    bool HostAttached() const { return attached_; }
    // Data frames of ours that the host has acknowledged since the start.
    size_t HostAcknowledged() const { return hostAcks_; }

private:
    class ModuleWorld;
    struct Outstanding
    {
        uint8_t bit;
        Clock::time_point deadline;
    };
    struct ChannelState
    {
        uint8_t nextBit = 0;
        std::deque<std::vector<uint8_t>> queue;
        std::optional<Outstanding> outstanding;
        std::optional<uint8_t> lastHostBit; // of the host's previous data frame
    };
    struct ModuleSlot
    {
        std::shared_ptr<ScriptedModule> module;
        std::unique_ptr<ModuleWorld> world;
    };

    void HandleRead(ReadEvent &event);
    void HandleFrame(const ModemFrame &frame);
    void HandleHostAck(const ModemFrame &frame);
    void HandleCommand(const std::vector<uint8_t> &payload, Clock::time_point base);
    // Queues the answer once channel 2 has nothing left to send.
    void AnswerBehindEvents(std::vector<uint8_t> answer);
    std::vector<uint8_t> CarryOut(const std::vector<uint8_t> &payload, bool &deliverNow);
    void HandleHostRadio(const std::vector<uint8_t> &bytes, RadioPath path, uint8_t messageId);
    bool CheckRadioFrame(const std::vector<uint8_t> &bytes, const char *what);
    void DeliverToModules(const HostRadioFrame &frame);
    void DeliverMailboxTo(ScriptedModule *module);
    // Paced delivery: hands out the oldest deliverable frame, then plans the next while any wait.
    void DeliverPaced();
    void PlanPacedDelivery();
    void DeliverEntry(ModuleSlot &slot, const MailboxEntry &entry);
    bool Addressed(const ScriptedModule &module, const std::optional<RadioAddress> &destination) const;

    void ScheduleRadio(std::vector<uint8_t> airFrame, uint8_t signal, std::chrono::milliseconds delay,
                       ScriptedModule *from);
    void RadioArrives(const std::vector<uint8_t> &airFrame, uint8_t signal, ScriptedModule *from);
    void QueueData(uint8_t channel, std::vector<uint8_t> payload);
    void TrySend(uint8_t channel);
    void SendLink(FrameKind kind, uint8_t channel, uint8_t bit);
    void Send(const ModemFrame &frame, bool isAck);
    void Schedule(Clock::time_point at, std::function<void()> action);
    void RunDue();
    void Detach();

    std::optional<Fault> TakeFault(FaultKind kind, uint8_t channel, const std::vector<uint8_t> *command,
                                   bool isAck = false);
    bool SilentActive() const;

    HostRecord &record_;
    Output output_;
    std::function<void()> flushToHost_;
    CoreConfig config_;
    ModemParams params_;
    Mailbox mailbox_;
    FrameReader reader_;
    std::vector<Fault> faults_;
    std::array<ChannelState, 3> channels_;
    std::multimap<Clock::time_point, std::function<void()>> scheduled_;
    std::vector<ModuleSlot> modules_;
    Clock::time_point now_{};
    bool attached_ = false;
    bool pacedDeliveryPlanned_ = false;
    int missingAcks_ = 0;
    size_t hostAcks_ = 0;
    std::chrono::milliseconds eventPeriod_{0};
    std::vector<uint8_t> eventPayload_;
    Clock::time_point nextEvent_{};
};

} // namespace ModemEmu

#endif
