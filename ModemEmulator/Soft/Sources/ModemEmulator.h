#ifndef MODEMEMU_MODEMEMULATOR_H
#define MODEMEMU_MODEMEMULATOR_H

#include "MeterModule.h"
#include "ModemCore.h"
#include "Pty.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace ModemEmu
{

// The radio modem and its radio world on a pseudo-terminal, running on a
// thread of its own. Every method may be called from any thread while it runs.
//
//   ModemEmulator modem;              // or ModemEmulator modem("/tmp/x/ttyModem");
//   modem.AddMeter(meterConfig);
//   modem.Start();
//   ... run the host against modem.DevicePath() ...
//   EXPECT_EQ(modem.Record().ViolationText(), "");
class ModemEmulator
{
public:
    // Creates the pty (and the symbolic link when a path is given); throws when that fails.
    explicit ModemEmulator(const std::string &linkPath = "");
    ~ModemEmulator();
    ModemEmulator(const ModemEmulator &) = delete;
    ModemEmulator &operator=(const ModemEmulator &) = delete;

    void Start();
    void Stop();

    // The pty device the host opens (for example /dev/pts/7).
    const std::string &DevicePath() const { return pty_.DevicePath(); }
    // The symbolic link to it, empty when none was asked for.
    const std::string &LinkPath() const { return pty_.LinkPath(); }
    HostRecord &Record() { return record_; }

    void SetIdentity(const ModemIdentity &identity);
    void SetParam(uint8_t id, std::vector<uint8_t> value);
    void SetParamText(uint8_t id, const std::string &text);
    void SetParamNumber(uint8_t id, uint32_t value, int width);
    std::vector<uint8_t> Param(uint8_t id) const;
    // Reads and writes of `id` fail with this status from now on (0 undoes it).
    void ForceParamStatus(uint8_t id, uint8_t status);
    // Counters of parameters 50 to 53.
    void SetStats(uint32_t frames, uint32_t preambles, uint32_t syncAddresses, uint32_t crcErrors);
    void SetMailboxCapacity(size_t capacity);
    std::vector<MailboxEntry> MailboxEntries() const;
    void SetConfig(const CoreConfig &config);
    void SetPeriodicEvent(std::chrono::milliseconds period, std::vector<uint8_t> payload);

    void AddModule(std::shared_ptr<ScriptedModule> module);
    std::shared_ptr<MeterModule> AddMeter(MeterConfig config);
    void InjectFault(const Fault &fault);
    void ClearFaults();
    size_t PendingFaults() const;

    // A radio frame arriving as if from an unscripted module.
    void ReceiveRadio(const std::vector<uint8_t> &airFrame, uint8_t signal = 0xC4);
    void QueueDataFrame(uint8_t channel, std::vector<uint8_t> payload);
    void WriteRaw(const std::vector<uint8_t> &bytes);
    // Bytes the host finds in the line when it opens the port, as an answer that an earlier
    // host never read; returns once they are in the line (false when they did not get there).
    bool LeaveInLine(const std::vector<uint8_t> &bytes);
    // The device goes away, as when it is unplugged, once the host has acknowledged this many of
    // the modem's data frames (answers, radio frames, events) since the start.
    void VanishAfterAcknowledged(size_t frames);
    bool Vanished() const;
    void DeliverMailbox();
    bool HostAttached() const;

    // Runs `change` on the core with the emulator's lock held, for what the
    // methods above do not cover. It must not block.
    void WithCore(const std::function<void(ModemCore &)> &change);

private:
    void Loop();
    void Wake();
    void ReadHost();
    void WriteHost();

    HostRecord record_;
    Pty pty_;
    mutable std::mutex mutex_;     // guards core_ and pending_
    std::vector<uint8_t> pending_; // bytes for the host the pty did not take yet
    std::unique_ptr<ModemCore> core_;
    std::optional<size_t> vanishAfter_;
    int wakeRead_ = -1;
    int wakeWrite_ = -1;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace ModemEmu

#endif
