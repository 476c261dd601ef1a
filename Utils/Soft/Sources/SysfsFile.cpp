#include "SysfsFile.h"

#include <cerrno>
#include <fcntl.h>
#include <fstream>
#include <unistd.h>

bool WriteSysfsFile(const std::string &path, const std::string &text)
{
    // No O_CREAT: on a machine without the line nothing may appear in its place.
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return false;
    size_t written = 0;
    bool ok = true;
    while (written < text.size())
    {
        const ssize_t sent = ::write(fd, text.data() + written, text.size() - written);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
        {
            ok = false;
            break;
        }
        written += static_cast<size_t>(sent);
    }
    ::close(fd);
    return ok;
}

bool ReadSysfsLine(const std::string &path, std::string &line)
{
    line.clear();
    std::ifstream file(path);
    if (!file.is_open())
        return false;
    return static_cast<bool>(std::getline(file, line));
}
