#include "PtyPair.h"

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair()
{
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    slaveName = ::ptsname(master);
}

PtyPair::~PtyPair()
{
    CloseMaster();
}

void PtyPair::Send(const std::string &bytes) const
{
    size_t sent = 0;
    while (sent < bytes.size())
    {
        const ssize_t n = ::write(master, bytes.data() + sent, bytes.size() - sent);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            throw std::runtime_error("pty write failed");
        sent += static_cast<size_t>(n);
    }
}

std::string PtyPair::Receive(int milliseconds) const
{
    std::string bytes;
    pollfd watch{master, POLLIN, 0};
    while (::poll(&watch, 1, milliseconds) > 0 && (watch.revents & POLLIN))
    {
        char block[256];
        const ssize_t n = ::read(master, block, sizeof(block));
        if (n <= 0)
            break;
        bytes.append(block, static_cast<size_t>(n));
    }
    return bytes;
}

void PtyPair::CloseMaster()
{
    if (master >= 0)
        ::close(master);
    master = -1;
}
