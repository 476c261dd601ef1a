#include "Pty.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <stdexcept>
#include <stdlib.h>
#include <sys/stat.h>
#include <system_error>
#include <termios.h>
#include <unistd.h>

namespace ModemEmu
{

namespace
{

[[noreturn]] void Fail(const char *what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

} // namespace

Pty::Pty(const std::string &linkPath)
{
    // Not inherited: a host program we start must not keep the device alive after we let it go.
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0)
        Fail("posix_openpt");
    try
    {
        char name[PATH_MAX] = {};
        if (grantpt(master_) != 0 || unlockpt(master_) != 0 || ptsname_r(master_, name, sizeof name) != 0)
            Fail("pty set-up");
        devicePath_ = name;
        device_ = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (device_ < 0)
            Fail("open pty device");
        // Raw from the start: a host that sets nothing must neither see echoes nor lose bytes to line editing.
        termios tio{};
        if (tcgetattr(device_, &tio) != 0)
            Fail("tcgetattr");
        cfmakeraw(&tio);
        cfsetispeed(&tio, B115200);
        cfsetospeed(&tio, B115200);
        if (tcsetattr(device_, TCSANOW, &tio) != 0)
            Fail("tcsetattr");
        const int flags = fcntl(master_, F_GETFL);
        if (flags < 0 || fcntl(master_, F_SETFL, flags | O_NONBLOCK) != 0)
            Fail("fcntl");

        if (!linkPath.empty())
        {
            struct stat st
            {
            };
            if (lstat(linkPath.c_str(), &st) == 0)
            {
                if (!S_ISLNK(st.st_mode))
                    throw std::runtime_error("device link path exists and is not a symbolic link: " + linkPath);
                unlink(linkPath.c_str());
            }
            if (symlink(devicePath_.c_str(), linkPath.c_str()) != 0)
                Fail("symlink");
            linkPath_ = linkPath;
        }
    }
    catch (...)
    {
        if (device_ >= 0)
            close(device_);
        close(master_);
        throw;
    }
}

Pty::~Pty()
{
    if (!linkPath_.empty())
    {
        // Only remove the link while it is still ours; another emulator may have taken the path.
        char target[PATH_MAX] = {};
        ssize_t n = readlink(linkPath_.c_str(), target, sizeof target - 1);
        if (n > 0 && devicePath_ == std::string(target, static_cast<size_t>(n)))
            unlink(linkPath_.c_str());
    }
    Vanish();
}

void Pty::FlushToHost()
{
    if (device_ >= 0)
        tcflush(device_, TCIFLUSH);
}

void Pty::Vanish()
{
    if (device_ >= 0)
        close(device_);
    if (master_ >= 0)
        close(master_);
    device_ = -1;
    master_ = -1;
}

} // namespace ModemEmu
