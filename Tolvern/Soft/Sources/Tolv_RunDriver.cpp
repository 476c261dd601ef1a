#include "Tolv_RunDriver.h"

#include "LogStatement.h"
#include "Tolv_StopRequest.h"
#include "WMBC_MailboxWait.h"

#include <algorithm>
#include <chrono>

namespace Tolv
{

namespace
{

// The longest a frame wait goes without a look at the stop request.
constexpr int ReceiveSliceMs = 100;
constexpr int MinReceiveCapacity = 255;
constexpr std::chrono::milliseconds MailboxPollInterval{1000};

} // namespace

void RunDriver::Init(Serial &serial, const WMBusMod::GpioLines *gpio, bool checkFirmware)
{
    ThrowIfStopRequested();
    modem_.Init(serial, gpio, checkFirmware);
}

void RunDriver::Close()
{
    modem_.Close();
}

void RunDriver::Noop()
{
    modem_.Noop();
}

void RunDriver::SetRadioMode(int mode)
{
    ThrowIfStopRequested();
    modem_.SetRadioMode(mode);
}

void RunDriver::SetLongPreamble(uint8_t value)
{
    ThrowIfStopRequested();
    modem_.SetLongPreamble(value);
}

void RunDriver::SetRfChannel(int channel)
{
    ThrowIfStopRequested();
    modem_.SetRfChannel(channel);
}

void RunDriver::GetStats(WMBusMod::ModemStats *stats)
{
    ThrowIfStopRequested();
    modem_.GetStats(stats);
}

void RunDriver::ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs)
{
    const int capacity = size;
    if (capacity < MinReceiveCapacity)
    {
        modem_.ReceiveFrame(buffer, size, timeoutMs); // refused at once, no wait to cut
        return;
    }
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        ThrowIfStopRequested();
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        size = capacity;
        modem_.ReceiveFrame(buffer, size, static_cast<int>(std::clamp<long long>(left, 0, ReceiveSliceMs)));
        if (size != 0 || left <= ReceiveSliceMs)
        {
            return;
        }
    }
}

void RunDriver::SendFrame(const uint8_t *frame, int length)
{
    ThrowIfStopRequested();
    modem_.SendFrame(frame, length);
}

int RunDriver::SndToMailbox(const uint8_t *frame, int length)
{
    ThrowIfStopRequested();
    const int id = modem_.SndToMailbox(frame, length);
    ledger_.Queued(id);
    return id;
}

bool RunDriver::CheckMailbox(int messageId)
{
    ThrowIfStopRequested();
    return modem_.CheckMailbox(messageId);
}

void RunDriver::DelMailbox(int messageId)
{
    ThrowIfStopRequested();
    modem_.DelMailbox(messageId);
}

bool RunDriver::IsMailboxFull()
{
    ThrowIfStopRequested();
    return modem_.IsMailboxFull();
}

uint8_t RunDriver::IsReqQueueFull()
{
    ThrowIfStopRequested();
    return modem_.IsReqQueueFull();
}

// The driver's own wait would sleep through a stop; this one polls the same way between looks.
bool RunDriver::WaitMailboxSpace(unsigned seconds)
{
    return WMBusMod::WaitWhileMailboxFull([this] { return IsMailboxFull(); },
                                          []
                                          {
                                              LOG_LINE(LogLevel::Trace, LogModule::WMBC)
                                                  << "The mailbox is full, wait...";
                                              PauseOrThrow(MailboxPollInterval);
                                          },
                                          seconds);
}

} // namespace Tolv
