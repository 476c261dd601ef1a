#ifndef MANUALMODEM_H
#define MANUALMODEM_H

#include "TestPty.h"
#include "WMBC_ZV_Frame.h"

#include <chrono>
#include <optional>
#include <vector>

// The far end of a pseudo-terminal played by hand: a test reads the frames the host sent and
// answers with exactly the frames it wants, well-formed or not.
class ManualModem
{
public:
    const std::string &DeviceName() const { return pty.SlaveName(); }

    // The next whole frame from the host, or nothing within the time.
    std::optional<WMBusMod::WMBC_ZV_Frame> Next(std::chrono::milliseconds within = std::chrono::seconds(2));
    // The next data frame, skipping the host's link acknowledgements.
    std::optional<WMBusMod::WMBC_ZV_Frame> NextData(std::chrono::milliseconds within = std::chrono::seconds(2));

    void Send(const WMBusMod::WMBC_ZV_Frame &frame);
    void SendRaw(const std::vector<uint8_t> &bytes) { pty.Write(bytes); }
    void Ack(const WMBusMod::WMBC_ZV_Frame &of, WMBusMod::FrameKind kind = WMBusMod::KindAck);
    // A data frame of the channel with this payload, as the modem would send it.
    void SendData(WMBusMod::FrameChannel channel, const std::vector<uint8_t> &payload, int flag = 0);
    // Acknowledges a command and answers it with a response payload of our choosing.
    void Answer(const WMBusMod::WMBC_ZV_Frame &command, const std::vector<uint8_t> &payload);

private:
    TestPty pty;
    std::vector<uint8_t> pending;
};

#endif
