#ifndef MODEMEMU_INSTALLINGMODULE_H
#define MODEMEMU_INSTALLINGMODULE_H

#include "ScriptedModule.h"

#include <mutex>
#include <optional>

namespace ModemEmu
{

// One installation request (SND-IR) and the signal byte the modem appends when it hears it.
struct InstallFrame
{
    uint8_t ci = 0x7A; // 0x8B asks the concentrator for tracking
    uint8_t signal = 0xC4;
};

struct InstallingConfig
{
    std::string name = "installing module";
    RadioAddress address = RadioFrame::MakeAddress(0x44332211, 0x6AD2, 0x02, 0x07);
    std::vector<InstallFrame> frames;
    // Records after the transport header (a volume of 0 by default).
    std::vector<uint8_t> data{0x04, 0x13, 0x00, 0x00, 0x00, 0x00};
    std::optional<AesKey> key; // set: each request goes out in mode 5
    std::chrono::milliseconds firstDelay{200};
    // The next request goes out this long after the SND-NKE that answered the previous one.
    std::chrono::milliseconds gap{100};
    // Set: a request that heard no answer at all for this long goes out again, as a module keeps
    // asking until a concentrator hears it.
    std::optional<std::chrono::milliseconds> retry;
    // After the last request was answered, the requests start over from the first.
    bool cycle = false;
};

// An answer of the host, with the request it answers.
struct InstallAnswer
{
    Clock::time_point time;
    size_t request; // index of the request among those sent (a request sent again keeps its index)
    uint8_t c;      // 0x06 CNF-IR or 0x40 SND-NKE expected
    uint8_t ci;
    uint8_t status;
    std::optional<RadioAddress> destination;
};

// A module being installed: it sends its SND-IR frames one at a time, each after the host's
// SND-NKE to the previous one, and keeps the answers (CNF-IR, SND-NKE) with their times.
class InstallingModule : public ScriptedModule
{
public:
    // Throws std::invalid_argument for a frame that cannot be built or encrypted.
    explicit InstallingModule(InstallingConfig config);

    std::string Name() const override { return config_.name; }
    RadioAddress Address() const override { return config_.address; }
    void Start(RadioWorld &world) override;
    void Tick(RadioWorld &world) override;
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    // The request frames as they go on the air.
    const std::vector<std::vector<uint8_t>> &AirFrames() const { return airFrames_; }
    std::vector<Clock::time_point> SentTimes() const;
    std::vector<InstallAnswer> Answers() const;
    std::vector<std::string> Problems() const;

    // The RSSI the host's decoder reports for a signal byte.
    static uint8_t RssiOf(uint8_t signal) { return static_cast<uint8_t>((0xFF - signal) * 2); }

private:
    InstallingConfig config_;
    std::vector<std::vector<uint8_t>> airFrames_;
    mutable std::mutex mutex_; // guards what tests read while the emulator runs
    Clock::time_point next_{};
    bool waiting_ = false;
    bool heard_ = false; // an answer came since the request last went out
    std::vector<Clock::time_point> sent_;
    std::vector<InstallAnswer> answers_;
    std::vector<std::string> problems_;
};

} // namespace ModemEmu

#endif
