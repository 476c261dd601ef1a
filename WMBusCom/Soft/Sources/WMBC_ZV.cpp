#include "WMBC_ZV.h"

#include "ScopedLock.h"
#include "Serial.h"
#include "WMBC_Interface.h"
#include "WMBC_Log.h"
#include "WMBH_Cursor.h"
#include "WMBH_HexText.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace WMBusMod
{

namespace
{

// How many frames a queue keeps before the oldest is dropped. The event channel is never read,
// so it only keeps the last few for a look in the debugger; nobody should ever reach the others.
struct QueueLimit
{
    int channel;
    size_t dataFrames;
};

constexpr QueueLimit kQueueLimits[] = {{ChannelCtrl, 64}, {ChannelData, 1024}, {ChannelEvent, 16}};
constexpr size_t kAckLimit = 16;

size_t DataLimit(int channel)
{
    for (const QueueLimit &limit : kQueueLimits)
    {
        if (limit.channel == channel)
        {
            return limit.dataFrames;
        }
    }
    return 0;
}

// Pause after a read that failed at once (device gone): doubles up to this cap.
constexpr int kMaxBackoffMs = 200;
// A failed read that came back faster than this did not wait for anything.
constexpr auto kFastFailure = std::chrono::milliseconds(5);
// The longest a radio frame waits in its queue before the task hears of it while the modem
// keeps sending; a quiet line hands the frames over at once.
constexpr auto kHandOverDelay = std::chrono::milliseconds(10);

} // namespace

WMBC_ZV::WMBC_ZV(Serial &serial) : Thread("MRDR"), serial(&serial), serialReadLock(Mutex::Plain)
{
    WMBC_TRACE("WMBC_ZV()");
    // Only the modem's answers to commands are paired with what we sent.
    channels[ChannelCtrl].exchange = WMBC_ZV_Exchange(true);
    serial.SetBeforeWait([this] { AnnounceRadioFrames(); });
    Start(this, false);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

WMBC_ZV::~WMBC_ZV()
{
    WMBC_TRACE("~WMBC_ZV()");
    RequestStop();
    Join();
    serial->SetBeforeWait({});
}

void WMBC_ZV::SleepUnlessStopped(int milliseconds)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (!IsStopRequested() && std::chrono::steady_clock::now() < until)
    {
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
            until - std::chrono::steady_clock::now(), std::chrono::milliseconds(10)));
    }
}

void WMBC_ZV::Run()
{
    WMBC_ZV_Frame frame(KindData);
    const auto giveUp = [this] { return IsStopRequested() || readLockWanted.load(); };
    int fastFailures = 0;
    while (!IsStopRequested())
    {
        bool read = false;
        const auto started = std::chrono::steady_clock::now();
        try
        {
            frame.Init(KindNak);
            ScopedLock lock(serialReadLock);
            read = frame.ReadFrame(*serial, ReadTimeoutMs, giveUp);
            if (read)
            {
                NotifyOne(frame);
            }
            else
            {
                // A read that failed without waiting for the line did not hand anything over.
                AnnounceRadioFrames();
            }
        }
        catch (const std::exception &e)
        {
            // Nothing a frame does may end the reader.
            WMBC_ERROR("Reader: " << e.what());
        }
        if (!read && serial->LineLost())
        {
            // The device is gone: nothing will ever come again, and waiting for it would keep
            // every task waiting on a modem that is not there.
            MarkLineLost();
            return;
        }

        if (read || std::chrono::steady_clock::now() - started >= kFastFailure)
        {
            fastFailures = 0;
            SleepUnlessStopped(1);
        }
        else
        {
            fastFailures = std::min(fastFailures + 1, 8);
            SleepUnlessStopped(std::min(1 << fastFailures, kMaxBackoffMs));
        }
    }
}

void WMBC_ZV::NotifyOne(const WMBC_ZV_Frame &frame)
{
    FrameChannel channel;
    FrameKind kind;
    try
    {
        channel = frame.GetChannel();
        kind = frame.GetKind();
    }
    catch (const std::runtime_error &)
    {
        return;
    }
    ChannelQueues &queues = channels[channel];
    lastFrameTicks = std::chrono::steady_clock::now().time_since_epoch().count();

    if (kind == KindData)
    {
        // The modem waits for this before it sends anything else, so it goes out before the
        // consumer even hears of the frame.
        WMBC_ZV_Frame ack(KindAck, channel, frame.GetFlag());
        ack.WriteFrame(*serial);
        if (channel != ChannelCtrl)
        {
            QueueData(queues, channel, frame);
            return;
        }
        bool ours = false;
        {
            // Decided and queued under one lock, so that a sender giving up on this answer
            // either sees it queued or sees it still owed.
            ScopedLock lock(queues.ackCondition);
            queues.lastArrival = std::chrono::steady_clock::now();
            ours = queues.exchange.Answer();
            if (ours)
            {
                QueueData(queues, channel, frame);
            }
        }
        if (!ours)
        {
            WMBC_DEBUG("Drop answer of no pending command: " << DataToHex(frame.GetData(),
                                                                          size_t(std::max(0, frame.GetDataLength()))));
        }
        return;
    }

    bool ours = false;
    {
        ScopedLock lock(queues.ackCondition);
        queues.lastArrival = std::chrono::steady_clock::now();
        ours = queues.exchange.LinkAck(kind, frame.GetFlag());
        if (ours)
        {
            if (queues.acks.size() >= kAckLimit)
            {
                queues.acks.pop_front();
            }
            queues.acks.push_back(frame);
        }
    }
    if (!ours)
    {
        WMBC_DEBUG("Drop stale " << FrameKindName(kind) << " with bit " << frame.GetFlag() << " on channel "
                                 << FrameChannelName(channel));
        return;
    }
    WMBC_TRACE("NotifyOne");
    queues.ackCondition.NotifyOne();
}

void WMBC_ZV::QueueData(ChannelQueues &queues, FrameChannel channel, const WMBC_ZV_Frame &frame)
{
    bool wake = true;
    {
        ScopedLock lock(queues.dataCondition);
        if (queues.data.size() >= DataLimit(channel))
        {
            if (channel != ChannelEvent)
            {
                WMBC_WARNING("Queue of channel " << FrameChannelName(channel) << " full, oldest frame dropped");
            }
            queues.data.pop_front();
        }
        queues.data.push_back(frame);
        wake = HandOverNow(channel, queues);
    }
    if (wake)
    {
        queues.dataCondition.NotifyOne();
    }
}

bool WMBC_ZV::HandOverNow(int channel, ChannelQueues &queues)
{
    // An answer on the control channel has a caller waiting for it. Radio frames of a burst are
    // handed over together instead: one wake-up of the task for several frames, when the line
    // falls quiet (AnnounceRadioFrames) or when the first of them has waited long enough.
    if (channel != ChannelData)
    {
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (queues.unannounced++ == 0)
    {
        queues.firstUnannounced = now;
    }
    if (now - queues.firstUnannounced < kHandOverDelay)
    {
        return false;
    }
    queues.unannounced = 0;
    return true;
}

void WMBC_ZV::AnnounceRadioFrames()
{
    ChannelQueues &queues = channels[ChannelData];
    {
        ScopedLock lock(queues.dataCondition);
        if (queues.unannounced == 0)
        {
            return;
        }
        queues.unannounced = 0;
    }
    queues.dataCondition.NotifyOne();
}

void WMBC_ZV::MarkLineLost()
{
    WMBC_DEBUG("Serial line lost, the reader stops");
    lineLost = true;
    // Every waiter looks at the flag when it wakes.
    for (ChannelQueues &queues : channels)
    {
        {
            ScopedLock lock(queues.dataCondition);
        }
        queues.dataCondition.NotifyAll();
        {
            ScopedLock lock(queues.ackCondition);
        }
        queues.ackCondition.NotifyAll();
    }
}

void WMBC_ZV::ThrowIfLineLost() const
{
    if (lineLost)
    {
        throw ModemDisconnected();
    }
}

bool WMBC_ZV::WaitChannelFrame(int channel, WMBC_ZV_Frame &out, int timeoutMs)
{
    if (channel < ChannelCtrl || channel > ChannelEvent)
    {
        return false;
    }
    ChannelQueues &queues = channels[size_t(channel)];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
    ScopedLock lock(queues.dataCondition);
    while (queues.data.empty())
    {
        if (lineLost || (!queues.dataCondition.TimedWaitUntil(deadline) && queues.data.empty()))
        {
            return false;
        }
    }
    out = queues.data.front();
    queues.data.pop_front();
    return true;
}

void WMBC_ZV::SendWithAck(WMBC_ZV_Frame &frame)
{
    ThrowIfLineLost();
    const FrameChannel channel = frame.GetChannel();
    ChannelQueues &queues = channels[channel];
    ScopedLock send(queues.sendLock);

    // A frame sent again must not keep the bit of its first try.
    frame.buffer[2] &= uint8_t(~0x08);
    const int bit = queues.alternatingBit;
    frame.SetFlag(bit);
    queues.alternatingBit ^= 1;
    frame.Finalize();
    {
        // From here on only the acknowledgement with this bit counts, and only an answer that
        // follows it; whatever came before belongs to earlier frames.
        ScopedLock lock(queues.ackCondition);
        queues.acks.clear();
        queues.exchange.Sent(bit);
        ScopedLock dataLock(queues.dataCondition);
        if (channel == ChannelCtrl && !queues.data.empty())
        {
            WMBC_DEBUG("Drop " << queues.data.size() << " late response(s)");
            queues.data.clear();
        }
    }
    frame.WriteFrame(*serial);

    WMBC_ZV_Frame ack(KindNak);
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(AckTimeoutMs);
        ScopedLock lock(queues.ackCondition);
        while (queues.acks.empty())
        {
            if (lineLost)
            {
                queues.exchange.AckTimedOut();
                throw ModemDisconnected();
            }
            if (!queues.ackCondition.TimedWaitUntil(deadline) && queues.acks.empty())
            {
                queues.exchange.AckTimedOut();
                queues.ackTimedOutAt[bit] = std::chrono::steady_clock::now();
                throw std::runtime_error("ack not received");
            }
        }
        ack = queues.acks.front();
        queues.acks.pop_front();
    }
    if (ack.GetKind() != KindAck)
    {
        throw std::runtime_error("nak received");
    }
}

void WMBC_ZV::ExchangeFailed()
{
    unsettled = true;
    failedAt = std::chrono::steady_clock::now();
}

void WMBC_ZV::Settle()
{
    using Clock = std::chrono::steady_clock;
    ChannelQueues &queues = channels[ChannelCtrl];
    const auto quiet = std::chrono::milliseconds(QuietLineMs);
    const auto lostAfter = failedAt + std::chrono::milliseconds(SettleLimitMs);
    const auto giveUp = failedAt + std::chrono::milliseconds(GiveUpMs);
    ScopedLock lock(queues.ackCondition);
    for (;;)
    {
        ThrowIfLineLost();
        const auto now = Clock::now();
        const auto lastFrame = Clock::time_point(Clock::duration(lastFrameTicks.load()));
        const bool controlQuiet = now - std::max(queues.lastArrival, failedAt) >= quiet;
        const bool lineQuiet = now - std::max(lastFrame, failedAt) >= quiet;
        // The next command goes out with this bit: a late acknowledgement of an earlier frame with
        // the same bit would be taken for its own, and that frame's answer for its answer.
        const int nextBit = queues.alternatingBit;
        const bool ackInDoubt = queues.exchange.Doubtful(nextBit) &&
                                now - queues.ackTimedOutAt[nextBit] < std::chrono::milliseconds(SettleLimitMs);
        if (queues.exchange.Owed() == 0 && !ackInDoubt && controlQuiet)
        {
            break;
        }
        if (now >= lostAfter && lineQuiet)
        {
            WMBC_DEBUG("Gave up waiting for " << queues.exchange.Owed() << " late answer(s)");
            break;
        }
        if (now >= giveUp)
        {
            // Still talking, still owing: any answer from now on could be the old one.
            throw std::runtime_error("modem not responding");
        }
        // The reader does not signal dropped frames: look again in short steps.
        queues.ackCondition.TimedWaitUntil(std::min(giveUp, now + std::chrono::milliseconds(20)));
    }
    queues.exchange.Forget();
    queues.acks.clear();
    ScopedLock dataLock(queues.dataCondition);
    queues.data.clear();
    unsettled = false;
}

std::vector<uint8_t> WMBC_ZV::Command(WMBC_ZV_Frame &request, const char *resultPrefix, const char *statusError)
{
    ThrowIfLineLost();
    if (unsettled)
    {
        Settle();
    }

    WMBC_ZV_Frame response;
    try
    {
        SendWithAck(request);
        if (!WaitChannelFrame(ChannelCtrl, response, ResponseTimeoutMs))
        {
            ThrowIfLineLost();
            ChannelQueues &queues = channels[ChannelCtrl];
            ScopedLock lock(queues.ackCondition);
            ScopedLock dataLock(queues.dataCondition);
            if (queues.data.empty())
            {
                queues.exchange.AnswerTimedOut();
                throw std::runtime_error("cmd timeout");
            }
            // It came just as the wait gave up.
            response = queues.data.front();
            queues.data.pop_front();
        }
    }
    catch (const std::exception &)
    {
        ExchangeFailed();
        throw;
    }
    // Paired with this request: an error in it (a status, a broken layout) is this request's.
    return ParseAnswer(response, resultPrefix, statusError);
}

std::vector<uint8_t> WMBC_ZV::ParseAnswer(const WMBC_ZV_Frame &response, const char *resultPrefix,
                                          const char *statusError)
{
    // A frame whose L is below 3 holds no payload at all: its length comes out negative.
    const int length = response.GetDataLength();
    WMBH_Cursor cursor(response.GetData(), length > 0 ? size_t(length) : 0);
    const auto need = [length](bool present)
    {
        if (length < 0 || !present)
        {
            throw std::runtime_error("malformed response");
        }
    };
    WMBC_TRACE(resultPrefix << DataToHex(response.GetData(), cursor.Remaining()));
    uint8_t ack = 0;
    need(cursor.Read(ack));
    if (ack != CmdAck)
    {
        throw std::runtime_error("ack not received");
    }
    uint8_t status = 0;
    need(cursor.Read(status));
    if (status != 0)
    {
        throw std::runtime_error(statusError);
    }
    uint8_t count = 0;
    const uint8_t *data = nullptr;
    need(cursor.Read(count) && cursor.Take(count, data));
    return std::vector<uint8_t>(data, data + count);
}

void WMBC_ZV::GetConfig(uint8_t id, uint8_t *out, int &length)
{
    WMBC_ZV_Frame request;
    request.SetCommand(CmdRead, id, nullptr, 0);
    const std::vector<uint8_t> data = Command(request, "GetConfig res: ", "cmd failed");
    if (int(data.size()) > length)
    {
        throw std::runtime_error("response to long");
    }
    std::copy(data.begin(), data.end(), out);
    length = int(data.size());
}

void WMBC_ZV::GetConfigString(uint8_t id, std::string &out)
{
    WMBC_ZV_Frame request;
    request.SetCommand(CmdRead, id, nullptr, 0);
    const std::vector<uint8_t> data = Command(request, "GetConfig res2: ", "cmd id failure");
    out.assign(data.begin(), std::find(data.begin(), data.end(), 0));
}

namespace
{

uint32_t LittleEndian(const uint8_t *bytes, int count)
{
    uint32_t value = 0;
    for (int i = 0; i < count; ++i)
    {
        value |= uint32_t(bytes[i]) << (8 * i);
    }
    return value;
}

std::string ByteCount(size_t count)
{
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

} // namespace

WrongResponseSize::WrongResponseSize(uint8_t param, size_t received, int minSize, int maxSize)
    : std::runtime_error(
          "wrong response size for parameter " + std::to_string(param) + " (" + ModemParamName(param) +
          "): " + ByteCount(received) + ", expected " +
          (minSize == maxSize ? std::to_string(minSize) : std::to_string(minSize) + " to " + std::to_string(maxSize)))
{
}

uint32_t WMBC_ZV::GetConfigNumber(uint8_t id, int minSize, int maxSize)
{
    // Room for any answer, so that a wrong size is told as such and not as "response to long".
    uint8_t bytes[WMBC_ZV_Frame::BufferSize] = {};
    int length = int(sizeof bytes);
    GetConfig(id, bytes, length);
    // An empty answer is the answer of another command (a write, a delete); a longer or shorter
    // one than the parameter holds is not its value either.
    if (length < minSize || length > maxSize)
    {
        WMBC_DEBUG("Wrong response size " << length << " for parameter " << unsigned(id));
        throw WrongResponseSize(id, size_t(length), minSize, maxSize);
    }
    return LittleEndian(bytes, length);
}

void WMBC_ZV::GetConfigByte(uint8_t id, uint8_t &out)
{
    out = uint8_t(GetConfigNumber(id, 1, 1));
}

void WMBC_ZV::GetConfigUInt16(uint8_t id, uint16_t &out)
{
    out = uint16_t(GetConfigNumber(id, 2, 2));
}

void WMBC_ZV::GetConfigUInt32(uint8_t id, uint32_t &out)
{
    out = GetConfigNumber(id, 1, 4);
}

void WMBC_ZV::SetCfg(uint8_t id, const uint8_t *bytes, int count)
{
    WMBC_ZV_Frame request;
    request.SetCommand(CmdWrite, id, bytes, count);
    Command(request, "SetCfg res: ", "cmd failed");
}

void WMBC_ZV::WriteConfigIfChanged(uint8_t id, const uint8_t *bytes, int count)
{
    try
    {
        uint8_t current[WMBC_ZV_Frame::BufferSize];
        int length = WMBC_ZV_Frame::BufferSize;
        GetConfig(id, current, length);
        if (count >= 0 && length >= count && std::equal(bytes, bytes + count, current))
        {
            return;
        }
        SetCfg(id, bytes, count);
    }
    catch (const std::exception &)
    {
        WMBC_WARNING("Failed to write config id " << unsigned(id));
    }
}

void WMBC_ZV::UpdateConfig(uint8_t id, const std::string &text)
{
    std::string current;
    GetConfigString(id, current);
    WMBC_DEBUG("UpdateConfig " << unsigned(id) << ", data:" << text);
    if (current != text)
    {
        SetCfg(id, reinterpret_cast<const uint8_t *>(text.data()), int(text.size()));
    }
}

void WMBC_ZV::WriteFrame(const WMBC_ZV_Frame &frame)
{
    frame.WriteFrame(*serial);
}

void WMBC_ZV::FlushSerial()
{
    serial->Flush(2);
}

void WMBC_ZV::LockSerialRead()
{
    readLockWanted = true;
    serialReadLock.Lock();
    readLockWanted = false;
}

void WMBC_ZV::UnlockSerialRead()
{
    serialReadLock.Unlock();
}

} // namespace WMBusMod
