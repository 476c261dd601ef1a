#ifndef MODEMEMU_FIRMWARERECEIVER_H
#define MODEMEMU_FIRMWARERECEIVER_H

#include "ScriptedModule.h"

#include <mutex>
#include <optional>

namespace ModemEmu
{

// What the module reports in the first record of its status frame.
enum class FirmwareStatus : uint8_t
{
    Accepted = 0,       // size and digest of the closing frame match the blocks
    SizeMismatch = 1,   // the announced size does not fit the blocks received
    DigestMismatch = 2, // the MD5 of the image differs from the announced one
    BadTransfer = 3,    // a block or the closing frame was malformed
};

struct FirmwareReceiverConfig
{
    std::string name = "firmware receiver";
    // Default: the module address text 0x12345678d26a0107.
    RadioAddress address = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);
    // Set: blocks and closing frame are expected in mode 5, and the status frame goes out in mode 5.
    std::optional<AesKey> key;
    uint8_t signal = 0xC4;
    // How long after the SND-NKE the status frame goes out; nothing goes out when unset.
    std::optional<std::chrono::milliseconds> statusDelay = std::chrono::milliseconds(100);
    // Records in the status frame: the status, then the size received. Fewer lets a test see
    // how the host takes a short answer.
    int statusRecords = 2;
    // Reported in place of the status the receiver worked out.
    std::optional<uint8_t> forcedStatus;
};

// The closing frame as the module read it.
struct FirmwareClosing
{
    uint8_t sizeDif; // 0x04, or 0x03 from hosts that serve the first module version
    uint32_t size;
    std::vector<uint8_t> digest;
};

// A module in firmware-update mode: it collects the 93-byte blocks (C-field 0x73, CI 0xA4,
// data 2F 2F 0F and the image bytes), reads the closing frame's size and MD5 digest, checks them
// against what it collected, and after the SND-NKE answers with an SND-NR status frame (CI 0xA5).
// Once it has reported, the next block starts a new update.
// Everything the host did wrong is kept as a problem text.
class FirmwareReceiver : public ScriptedModule
{
public:
    explicit FirmwareReceiver(FirmwareReceiverConfig config);

    std::string Name() const override { return config_.name; }
    RadioAddress Address() const override { return config_.address; }
    void OnHostFrame(const HostRadioFrame &frame, RadioWorld &world) override;

    size_t BlockCount() const;
    // The image as collected, cut to the announced size once the closing frame came.
    std::vector<uint8_t> Image() const;
    std::optional<FirmwareClosing> Closing() const;
    // The status worked out from the closing frame (before any forced value).
    std::optional<FirmwareStatus> Status() const;
    bool ResetSeen() const;
    bool StatusSent() const;
    std::vector<std::string> Problems() const;

    // The status frame as it goes on the air (before encryption), for a status and a size.
    std::vector<uint8_t> StatusFrame(uint8_t status, uint32_t size) const;

private:
    // Takes one host frame; the status frame to send when it is due.
    std::optional<std::vector<uint8_t>> Take(const std::vector<uint8_t> &bytes);
    // Data after the transport header, decrypted; nothing (and a problem) when it cannot be read.
    std::optional<std::vector<uint8_t>> PlainData(const std::vector<uint8_t> &bytes, const HeaderLayout &layout);
    void StartOver();
    void TakeBlock(const std::vector<uint8_t> &payload);
    void TakeClosing(const std::vector<uint8_t> &data);
    FirmwareStatus Check(const FirmwareClosing &closing);
    void Problem(std::string text);

    FirmwareReceiverConfig config_;
    mutable std::mutex mutex_; // guards what tests read while the emulator runs
    std::vector<std::vector<uint8_t>> blocks_;
    std::vector<uint8_t> image_;
    std::optional<FirmwareClosing> closing_;
    std::optional<FirmwareStatus> status_;
    bool reset_ = false;
    bool statusSent_ = false;
    uint8_t access_ = 0x40;
    std::vector<std::string> problems_;
};

} // namespace ModemEmu

#endif
