#include "TestPty.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

TestPty::TestPty()
{
    char name[256] = {};
    termios raw{};
    cfmakeraw(&raw);
    if (openpty(&master, &slave, name, &raw, nullptr) != 0)
    {
        throw std::runtime_error("openpty failed");
    }
    slaveName = name;
}

TestPty::~TestPty()
{
    close(master);
    // Kept open until here so that the master never sees the far end hang up between tests.
    close(slave);
}

void TestPty::Write(const std::vector<uint8_t> &bytes)
{
    size_t done = 0;
    while (done < bytes.size())
    {
        ssize_t n = ::write(master, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
        {
            throw std::runtime_error("pty write failed");
        }
        done += size_t(n);
    }
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
        {
            break;
        }
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, int(left.count())) <= 0)
        {
            break;
        }
        uint8_t chunk[512];
        ssize_t n = ::read(master, chunk, sizeof chunk);
        if (n <= 0)
        {
            break;
        }
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}
