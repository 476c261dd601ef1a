#ifndef TESTSUPPORT_TEMPSYSTEMROOT_H
#define TESTSUPPORT_TEMPSYSTEMROOT_H

#include "TempDir.h"

#include <string>

// A temporary folder that is the system root (SystemPath) while it lives, so that sysfs and
// gateway files ("/sys/class/gpio/...", "/APP/...") are those of the test; afterwards the
// environment's root is back. Files are named by their system paths.
class TempSystemRoot
{
public:
    TempSystemRoot();
    ~TempSystemRoot();
    TempSystemRoot(const TempSystemRoot &) = delete;
    TempSystemRoot &operator=(const TempSystemRoot &) = delete;

    std::string Path() const { return dir.Path(); }
    std::string Path(const std::string &systemPath) const { return dir.Path(Relative(systemPath)); }
    // "/APP/rf_module_type" -> the file below the root, created with its folders.
    std::string Write(const std::string &systemPath, const std::string &bytes) const;
    std::string Read(const std::string &systemPath) const;
    bool Exists(const std::string &systemPath) const;

private:
    static std::string Relative(const std::string &systemPath);

    TempDir dir;
};

#endif
