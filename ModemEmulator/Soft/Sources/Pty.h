#ifndef MODEMEMU_PTY_H
#define MODEMEMU_PTY_H

#include <string>

namespace ModemEmu
{

// A pseudo-terminal pair in raw mode. We keep a descriptor of the device
// side open ourselves, so that hosts may open and close the device as often
// as they like without the line hanging up or losing its settings.
class Pty
{
public:
    // Throws std::system_error when the pair cannot be made; std::runtime_error
    // when `linkPath` exists and is not a symbolic link.
    explicit Pty(const std::string &linkPath = "");
    ~Pty();
    Pty(const Pty &) = delete;
    Pty &operator=(const Pty &) = delete;

    int MasterFd() const { return master_; }
    const std::string &DevicePath() const { return devicePath_; }
    const std::string &LinkPath() const { return linkPath_; }
    // Drops what we wrote that the host has not read yet.
    void FlushToHost();
    // Closes both ends as an unplugged device does: the host's reads fail from now on.
    void Vanish();
    bool Vanished() const { return master_ < 0; }

private:
    int master_ = -1;
    int device_ = -1;
    std::string devicePath_;
    std::string linkPath_;
};

} // namespace ModemEmu

#endif
