#include "ManualModem.h"

#include <algorithm>
#include <cstring>

using namespace WMBusMod;

std::optional<WMBC_ZV_Frame> ManualModem::Next(std::chrono::milliseconds within)
{
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;)
    {
        // Drop anything before a start byte, then wait for L + 3 bytes.
        auto start = std::find(pending.begin(), pending.end(), WMBC_ZV_Frame::StartByte);
        pending.erase(pending.begin(), start);
        if (pending.size() >= 2 && pending.size() >= size_t(pending[1]) + 3)
        {
            WMBC_ZV_Frame frame;
            const size_t size = size_t(pending[1]) + 3;
            std::memcpy(frame.buffer, pending.data(), size);
            frame.len = pending[1];
            pending.erase(pending.begin(), pending.begin() + long(size));
            return frame;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
        {
            return std::nullopt;
        }
        std::vector<uint8_t> more = pty.Read(std::min(left, std::chrono::milliseconds(20)), 1);
        pending.insert(pending.end(), more.begin(), more.end());
    }
}

std::optional<WMBC_ZV_Frame> ManualModem::NextData(std::chrono::milliseconds within)
{
    const auto deadline = std::chrono::steady_clock::now() + within;
    for (;;)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        std::optional<WMBC_ZV_Frame> frame = Next(std::max(left, std::chrono::milliseconds(0)));
        if (!frame || frame->GetKind() == KindData)
        {
            return frame;
        }
    }
}

void ManualModem::Send(const WMBC_ZV_Frame &frame)
{
    pty.Write(std::vector<uint8_t>(frame.buffer, frame.buffer + frame.len + 3));
}

void ManualModem::Ack(const WMBC_ZV_Frame &of, FrameKind kind)
{
    Send(WMBC_ZV_Frame(kind, of.GetChannel(), of.GetFlag()));
}

void ManualModem::SendData(FrameChannel channel, const std::vector<uint8_t> &payload, int flag)
{
    WMBC_ZV_Frame frame;
    frame.Init(KindData);
    frame.Append(payload.data(), int(payload.size()));
    frame.SetChannel(channel);
    frame.SetFlag(flag);
    frame.Finalize();
    Send(frame);
}

void ManualModem::Answer(const WMBC_ZV_Frame &command, const std::vector<uint8_t> &payload)
{
    Ack(command);
    SendData(ChannelCtrl, payload);
}
