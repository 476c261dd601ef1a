#ifndef MODEMEMU_METERMODULE_H
#define MODEMEMU_METERMODULE_H

#include "ScriptedModule.h"

#include <mutex>
#include <optional>

namespace ModemEmu
{

struct MeterConfig
{
    std::string name = "meter";
    // Air frames, plain (mode-5 frames start their data with 2F 2F).
    std::vector<std::vector<uint8_t>> frames;
    std::chrono::milliseconds period{1000};
    std::chrono::milliseconds firstDelay{100};
    std::optional<AesKey> key; // set: each frame goes out in mode 5
    uint8_t signal = 0xC4;
    bool repeat = true; // start the list again after its last frame
    // Defaults to the link address of the first frame.
    std::optional<RadioAddress> address;
};

// A meter that sends its list of frames at a fixed period and keeps what the
// host sent to it.
class MeterModule : public ScriptedModule
{
public:
    // Throws std::invalid_argument for an empty list or a frame that cannot be
    // sent (wrong L, too long, not encryptable with a key).
    explicit MeterModule(MeterConfig config);

    std::string Name() const override { return config_.name; }
    RadioAddress Address() const override { return address_; }
    void Start(RadioWorld &world) override;
    void Tick(RadioWorld &world) override;
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    // The frames as they go on the air (encrypted when a key is set).
    const std::vector<std::vector<uint8_t>> &AirFrames() const { return airFrames_; }
    std::vector<HostRadioFrame> Received() const;
    size_t SentCount() const;

private:
    MeterConfig config_;
    RadioAddress address_{};
    std::vector<std::vector<uint8_t>> airFrames_;
    Clock::time_point next_{};
    mutable std::mutex mutex_; // guards what tests read while the emulator runs
    size_t sent_ = 0;
    std::vector<HostRadioFrame> received_;
};

} // namespace ModemEmu

#endif
