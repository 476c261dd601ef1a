#ifndef MODEMEMU_CONCENTRATOR_H
#define MODEMEMU_CONCENTRATOR_H

#include "ScriptedModule.h"

#include <mutex>
#include <optional>

namespace ModemEmu
{

struct ConcentratorConfig
{
    std::string name = "concentrator";
    // Device type 0x31: communication controller.
    RadioAddress address = RadioFrame::MakeAddress(0x00990001, 0x6AD2, 0x01, 0x31);
    AesKey key{}; // test frames arrive encrypted with it
    uint32_t uid = 0x12345678;
    // The signal strength at which it heard the test frame, reported in its answer's status byte.
    uint8_t uplinkRssi = 0x8A;
    // The signal byte the modem appends when it hears the answer.
    uint8_t signal = 0xBE;
    std::chrono::milliseconds delay{100};
};

// A concentrator of the radio test: it hears every test frame (SND-IR, CI 0x7A, mode 5),
// checks its decrypted records and answers with an SND-NKE (CI 0x80) whose transport address is
// the sender, whose status byte is the uplink signal strength and whose first record is its
// unique number (VIF 0xFD, VIFE 0x73).
class Concentrator : public ScriptedModule
{
public:
    explicit Concentrator(ConcentratorConfig config) : config_(std::move(config)) {}

    // The records every test frame carries, as the modules know them.
    static const std::vector<uint8_t> &TestFrameRecords();

    std::string Name() const override { return config_.name; }
    RadioAddress Address() const override { return config_.address; }
    bool AcceptsUnaddressed() const override { return true; }
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    // Decrypted data (after 2F 2F, fillers included) of every test frame heard.
    std::vector<std::vector<uint8_t>> TestFrames() const;
    size_t AnswerCount() const;
    std::vector<std::string> Problems() const;

    // The answer to a test frame, as it goes on the air.
    std::vector<uint8_t> Answer(const std::vector<uint8_t> &testFrame) const;

private:
    std::optional<std::vector<uint8_t>> Take(const std::vector<uint8_t> &bytes);

    ConcentratorConfig config_;
    mutable std::mutex mutex_; // guards what tests read while the emulator runs
    std::vector<std::vector<uint8_t>> testFrames_;
    size_t answers_ = 0;
    std::vector<std::string> problems_;
};

} // namespace ModemEmu

#endif
