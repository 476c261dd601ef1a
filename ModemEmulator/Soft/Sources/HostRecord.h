#ifndef MODEMEMU_HOSTRECORD_H
#define MODEMEMU_HOSTRECORD_H

#include "FrameReader.h"
#include "ModemFrame.h"
#include "RadioFrame.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace ModemEmu
{

enum class Direction
{
    FromHost,
    ToHost
};

struct RecordedFrame
{
    Clock::time_point time;
    Direction direction;
    std::vector<uint8_t> raw; // the bytes as they went over the line (a fault may have mangled them)
    ModemFrame frame;         // the frame they carry (for ToHost: as meant before any fault)
};

enum class RadioPath
{
    Direct, // a data frame on channel 1
    Mailbox // "mbox add"
};

// A radio frame the host asked the modem to transmit.
struct HostRadioFrame
{
    Clock::time_point time;
    RadioPath path;
    uint8_t messageId;                       // mailbox id, 0 for Direct
    std::vector<uint8_t> bytes;              // L C M A CI ... as the host sent it
    std::optional<RadioAddress> destination; // transport address of a long header
};

struct RecordNote
{
    Clock::time_point time;
    std::string text;
    std::vector<uint8_t> bytes;
};

// Thread-safe account of a session: every byte and frame the host sent,
// every frame the modem sent, the host's protocol violations and the
// notable events (missing host acks, deliveries, dropped frames). Accessors
// return copies, so a test can inspect them while the emulator runs.
class HostRecord
{
public:
    void AddHostBytes(const uint8_t *bytes, size_t count);
    void AddFrame(RecordedFrame frame);
    void AddRadio(HostRadioFrame frame);
    void AddViolation(std::string text, std::vector<uint8_t> bytes = {});
    void AddEvent(std::string text, std::vector<uint8_t> bytes = {});

    std::vector<uint8_t> HostBytes() const;
    std::vector<RecordedFrame> Frames() const;
    // Frames the host sent; channel -1 any.
    std::vector<ModemFrame> HostFrames(int channel = -1) const;
    // Data frames (commands) the host sent on channel 0, payloads only.
    std::vector<std::vector<uint8_t>> HostCommands() const;
    std::vector<ModemFrame> SentFrames(int channel = -1) const;
    std::vector<HostRadioFrame> RadioFrames() const;
    std::vector<RecordNote> Violations() const;
    std::vector<RecordNote> Events() const;
    // Texts of the violations, joined by newlines; empty when the host was clean.
    std::string ViolationText() const;
    bool HasEvent(const std::string &textPart) const;

    void Clear();

    // Waits until `done` (which may call the accessors above) holds, re-checking
    // whenever the record changes. False when the time-out passed first.
    bool WaitUntil(const std::function<bool()> &done, std::chrono::milliseconds timeout) const;

private:
    void Changed();

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    uint64_t generation_ = 0;
    std::vector<uint8_t> hostBytes_;
    std::vector<RecordedFrame> frames_;
    std::vector<HostRadioFrame> radio_;
    std::vector<RecordNote> violations_;
    std::vector<RecordNote> events_;
};

} // namespace ModemEmu

#endif
