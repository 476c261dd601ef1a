#ifndef MODEMEMU_TESTS_PTYCLIENT_H
#define MODEMEMU_TESTS_PTYCLIENT_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

// The plainest possible host: raw termios reads and writes on the device,
// with no knowledge of the protocol beyond splitting frames by their L byte.
class PtyClient
{
public:
    explicit PtyClient(const std::string &path);
    ~PtyClient();
    PtyClient(const PtyClient &) = delete;
    PtyClient &operator=(const PtyClient &) = delete;

    void Write(const std::vector<uint8_t> &bytes);
    // Whatever arrives until `quiet` passes without a byte (or `limit` in all).
    std::vector<uint8_t> ReadAll(std::chrono::milliseconds quiet,
                                 std::chrono::milliseconds limit = std::chrono::milliseconds(3000));
    // One frame FF L ... (L + 3 bytes) within the time-out; bytes before FF are skipped into `skipped`.
    // Frames of other channels that arrived during Command come first.
    std::optional<std::vector<uint8_t>> ReadFrame(std::chrono::milliseconds timeout = std::chrono::milliseconds(2000),
                                                  std::vector<uint8_t> *skipped = nullptr);
    // Sends the link acknowledgement for a data frame read from the modem.
    void Ack(const std::vector<uint8_t> &frame);
    // Sends a command frame (channel 0, given bit), expects the modem's ack and
    // returns the answer payload after acknowledging it. Frames of channels 1
    // and 2 that arrive meanwhile are kept, unacknowledged, for ReadFrame.
    std::vector<uint8_t> Command(const std::vector<uint8_t> &payload, uint8_t bit);

private:
    bool ReadByte(uint8_t &out, std::chrono::steady_clock::time_point deadline);
    std::optional<std::vector<uint8_t>> ReadChannel0();
    int fd_ = -1;
    std::deque<std::vector<uint8_t>> backlog_;
};

std::vector<uint8_t> EncodeFrame(uint8_t kind, uint8_t channel, uint8_t bit, const std::vector<uint8_t> &payload = {});
// Payload of a frame read from the line (between control byte and CRC).
std::vector<uint8_t> PayloadOf(const std::vector<uint8_t> &frame);

#endif
