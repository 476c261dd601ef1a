#ifndef SYSTEMEXCEPTION_H
#define SYSTEMEXCEPTION_H

#include "RootException.h"

// A failing operating-system call; the serial port reports its failures with it
// ("open: No such file or directory", "set_option: ...", "write: ...").
class SystemException : public RootException
{
public:
    explicit SystemException(const std::string &message) : RootException(message) {}
};

#endif
