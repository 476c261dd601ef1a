#include "PtyClient.h"

#include "ModemFrame.h"

#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <system_error>
#include <termios.h>
#include <unistd.h>

using Clock = std::chrono::steady_clock;

PtyClient::PtyClient(const std::string &path)
{
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "open " + path);
    termios tio{};
    tcgetattr(fd_, &tio);
    cfmakeraw(&tio);
    tcsetattr(fd_, TCSANOW, &tio);
}

PtyClient::~PtyClient()
{
    close(fd_);
}

void PtyClient::Write(const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        ssize_t n = write(fd_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            throw std::system_error(errno, std::generic_category(), "write");
        done += static_cast<size_t>(n);
    }
}

bool PtyClient::ReadByte(uint8_t &out, Clock::time_point deadline)
{
    for (;;)
    {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left < 0)
            return false;
        pollfd pfd{fd_, POLLIN, 0};
        if (poll(&pfd, 1, static_cast<int>(left)) <= 0)
            continue;
        if (read(fd_, &out, 1) == 1)
            return true;
    }
}

std::vector<uint8_t> PtyClient::ReadAll(std::chrono::milliseconds quiet, std::chrono::milliseconds limit)
{
    std::vector<uint8_t> bytes;
    const auto end = Clock::now() + limit;
    uint8_t b;
    while (Clock::now() < end && ReadByte(b, std::min(end, Clock::now() + quiet)))
        bytes.push_back(b);
    return bytes;
}

std::optional<std::vector<uint8_t>> PtyClient::ReadFrame(std::chrono::milliseconds timeout,
                                                         std::vector<uint8_t> *skipped)
{
    if (!backlog_.empty())
    {
        std::vector<uint8_t> frame = std::move(backlog_.front());
        backlog_.pop_front();
        return frame;
    }
    const auto deadline = Clock::now() + timeout;
    uint8_t b = 0;
    do
    {
        if (!ReadByte(b, deadline))
            return std::nullopt;
        if (b != 0xFF && skipped)
            skipped->push_back(b);
    } while (b != 0xFF);
    std::vector<uint8_t> frame{b};
    if (!ReadByte(b, deadline))
        return std::nullopt;
    frame.push_back(b);
    const size_t total = static_cast<size_t>(b) + 3;
    while (frame.size() < total)
    {
        if (!ReadByte(b, deadline))
            return std::nullopt;
        frame.push_back(b);
    }
    return frame;
}

void PtyClient::Ack(const std::vector<uint8_t> &frame)
{
    if (frame.size() < 3)
        throw std::invalid_argument("not a frame");
    const uint8_t control = frame[2];
    Write(EncodeFrame(1, (control >> 4) & 3, (control >> 3) & 1));
}

std::vector<uint8_t> PtyClient::Command(const std::vector<uint8_t> &payload, uint8_t bit)
{
    Write(EncodeFrame(0, 0, bit, payload));
    auto ack = ReadChannel0();
    if (!ack || ack->size() != 6 || (*ack)[2] != static_cast<uint8_t>(0x40 | bit << 3))
        throw std::runtime_error("no link acknowledgement for the command");
    auto answer = ReadChannel0();
    if (!answer)
        throw std::runtime_error("no answer to the command");
    Ack(*answer);
    return PayloadOf(*answer);
}

std::optional<std::vector<uint8_t>> PtyClient::ReadChannel0()
{
    std::deque<std::vector<uint8_t>> kept;
    kept.swap(backlog_);
    std::optional<std::vector<uint8_t>> frame;
    const auto deadline = Clock::now() + std::chrono::seconds(2);
    for (;;)
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        frame = left.count() > 0 ? ReadFrame(left) : std::nullopt;
        if (!frame || (frame->size() >= 3 && ((*frame)[2] & 0x30) == 0))
            break;
        kept.push_back(std::move(*frame));
    }
    backlog_.swap(kept);
    return frame;
}

std::vector<uint8_t> EncodeFrame(uint8_t kind, uint8_t channel, uint8_t bit, const std::vector<uint8_t> &payload)
{
    return ModemEmu::ModemFrame(static_cast<ModemEmu::FrameKind>(kind), channel, bit, payload).Encode();
}

std::vector<uint8_t> PayloadOf(const std::vector<uint8_t> &frame)
{
    if (frame.size() < 6)
        return {};
    return std::vector<uint8_t>(frame.begin() + 3, frame.end() - 3);
}
