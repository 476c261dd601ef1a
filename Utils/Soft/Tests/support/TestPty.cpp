#include "TestPty.h"

#include <cerrno>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TestPty::TestPty()
{
    char name[256] = {};
    termios raw{};
    ::cfmakeraw(&raw);
    if (::openpty(&master, &slave, name, &raw, nullptr) != 0)
        throw std::runtime_error("openpty failed");
    slaveName = name;
}

TestPty::~TestPty()
{
    CloseMaster();
    ::close(slave);
}

void TestPty::WriteAll(const uint8_t *bytes, size_t count)
{
    size_t done = 0;
    while (done < count)
    {
        const ssize_t n = ::write(master, bytes + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("pty write failed");
        done += static_cast<size_t>(n);
    }
}

void TestPty::Write(const std::vector<uint8_t> &bytes)
{
    WriteAll(bytes.data(), bytes.size());
}

void TestPty::Send(const std::string &bytes)
{
    WriteAll(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size());
}

std::vector<uint8_t> TestPty::Read(std::chrono::milliseconds within, size_t atLeast)
{
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + within;
    while (bytes.size() < atLeast)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd watch{master, POLLIN, 0};
        if (::poll(&watch, 1, static_cast<int>(left.count())) <= 0)
            break;
        uint8_t chunk[512];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

std::string TestPty::Receive(int quietMilliseconds)
{
    std::string bytes;
    pollfd watch{master, POLLIN, 0};
    while (::poll(&watch, 1, quietMilliseconds) > 0 && (watch.revents & POLLIN))
    {
        char chunk[256];
        const ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
            break;
        bytes.append(chunk, static_cast<size_t>(n));
    }
    return bytes;
}

void TestPty::CloseMaster()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}
