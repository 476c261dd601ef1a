#ifndef WMBC_ZV_H
#define WMBC_ZV_H

#include "Condition.h"
#include "Mutex.h"
#include "Thread.h"
#include "WMBC_ZV_Exchange.h"
#include "WMBC_ZV_Frame.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <stdexcept>
#include <string>
#include <vector>

class Serial;

namespace WMBusMod
{

// A number read from the modem came with another size than its parameter holds. The text names
// the parameter and both sizes: "wrong response size for parameter 11 (id): 5 bytes, expected 1 to 4".
class WrongResponseSize : public std::runtime_error
{
public:
    WrongResponseSize(uint8_t param, size_t received, int minSize, int maxSize);
};

// The link to one modem over one serial port. Its reader thread "MRDR" alone reads the port,
// acknowledges every data frame at once and sorts frames into per-channel queues; callers send
// with stop-and-wait (alternating bit per channel, 1 s for the link acknowledgement) and run
// the command/response exchange of the control channel on top of it.
// The port is not owned and must outlive the link.
class WMBC_ZV : public Thread
{
public:
    static constexpr int ReadTimeoutMs = 10000;
    static constexpr int AckTimeoutMs = 1000;
    static constexpr int ResponseTimeoutMs = 1000;
    // After a failed exchange on the control channel the line must stay this quiet before the
    // next command goes out. An answer still owed is awaited; after SettleLimitMs it counts as
    // lost once the whole line is quiet, and a modem that goes on talking without paying it by
    // GiveUpMs is not responding. An answer given up on too early would answer the next command,
    // so the limit leaves room for modems that answer a few seconds late.
    static constexpr int QuietLineMs = 300;
    static constexpr int SettleLimitMs = 3500;
    static constexpr int GiveUpMs = 10000;

    // Starts the reader thread.
    explicit WMBC_ZV(Serial &serial);
    // Stops and joins the reader thread; frames still queued are dropped.
    ~WMBC_ZV() override;

    void Run() override;
    // Dispatch of one frame read by Run.
    void NotifyOne(const WMBC_ZV_Frame &frame);

    // Oldest data frame of the channel, waiting up to timeoutMs for one. Frames that came before
    // the line was lost are still handed out; after that it returns false at once.
    bool WaitChannelFrame(int channel, WMBC_ZV_Frame &out, int timeoutMs);
    // Puts the channel's alternating bit into the frame, finishes and writes it, and waits for
    // the link acknowledgement with the frame's bit: "ack not received", "nak received",
    // "modem disconnected".
    void SendWithAck(WMBC_ZV_Frame &frame);

    // The port went away (device removed, far end closed): nothing more will come.
    bool LineLost() const { return lineLost.load(); }

    // One command exchange on the control channel: sends the request (built by SetCommand or
    // SetRequest), waits for the response and returns its data bytes. Raises "cmd timeout",
    // "ack not received", statusError for a status other than 0, "malformed response",
    // "modem disconnected". Only the answer to this request is taken: late acknowledgements and
    // answers of earlier requests are dropped (after a failed exchange the next one first waits
    // for the line to go quiet). resultPrefix starts the trace line of the response.
    std::vector<uint8_t> Command(WMBC_ZV_Frame &request, const char *resultPrefix, const char *statusError);
    // The data bytes of an answer 1, status, n, data; the errors of Command.
    static std::vector<uint8_t> ParseAnswer(const WMBC_ZV_Frame &response, const char *resultPrefix,
                                            const char *statusError);

    // Parameter commands. GetConfig raises "response to long" when more than length bytes came.
    void GetConfig(uint8_t id, uint8_t *out, int &length);
    void GetConfigString(uint8_t id, std::string &out);
    // The typed readers take the sizes of the parameter table: exactly 1 byte, exactly 2 bytes,
    // 1 to 4 bytes (little endian). Any other answer raises WrongResponseSize.
    void GetConfigByte(uint8_t id, uint8_t &out);
    void GetConfigUInt16(uint8_t id, uint16_t &out);
    void GetConfigUInt32(uint8_t id, uint32_t &out);
    void SetCfg(uint8_t id, const uint8_t *bytes, int count);
    // Writes only when the modem holds another value; failures are logged, never raised.
    void WriteConfigIfChanged(uint8_t id, const uint8_t *bytes, int count);
    void UpdateConfig(uint8_t id, const std::string &text);

    // Writes a finished frame as it is: no alternating bit, no wait.
    void WriteFrame(const WMBC_ZV_Frame &frame);
    void FlushSerial();
    Serial &GetSerial() { return *serial; }

    // Keeps the reader off the port (the modem-flashing path). The reader gives up its wait
    // for a start byte when asked, so taking the lock does not sit out a whole read time-out.
    void LockSerialRead();
    void UnlockSerialRead();

private:
    // A parameter of minSize to maxSize bytes, little endian.
    uint32_t GetConfigNumber(uint8_t id, int minSize, int maxSize);

    struct ChannelQueues
    {
        int alternatingBit = 0;
        std::deque<WMBC_ZV_Frame> data;
        Condition dataCondition;
        // Data frames queued since the waiter was last woken, and when the first of them came.
        size_t unannounced = 0;
        std::chrono::steady_clock::time_point firstUnannounced;
        std::deque<WMBC_ZV_Frame> acks;
        // Guards the acks, the exchange and lastArrival; taken before dataCondition.
        Condition ackCondition;
        Mutex sendLock;
        WMBC_ZV_Exchange exchange{false};
        std::chrono::steady_clock::time_point lastArrival{};
        // Per alternating bit: when the acknowledgement of the last frame sent with it timed out.
        std::chrono::steady_clock::time_point ackTimedOutAt[2]{};
    };

    void SleepUnlessStopped(int milliseconds);
    void QueueData(ChannelQueues &queues, FrameChannel channel, const WMBC_ZV_Frame &frame);
    void MarkLineLost();
    void ThrowIfLineLost() const;
    // Waits until no answer is owed and the control channel has been quiet, then drops what came.
    void Settle();
    void ExchangeFailed();
    // Under the channel's data lock, with a frame just queued: whether to wake the waiter now.
    static bool HandOverNow(int channel, ChannelQueues &queues);
    // Wakes the waiter of the radio frames when some are queued that it has not heard of.
    void AnnounceRadioFrames();

    Serial *serial;
    Mutex serialReadLock;
    std::atomic<bool> readLockWanted{false};
    std::atomic<bool> lineLost{false};
    // When the reader last took a frame of any channel from the line.
    std::atomic<std::chrono::steady_clock::rep> lastFrameTicks{0};
    std::array<ChannelQueues, 3> channels;
    // Main thread only: a command exchange failed and the line has not settled since.
    bool unsettled = false;
    std::chrono::steady_clock::time_point failedAt{};
};

} // namespace WMBusMod

#endif
