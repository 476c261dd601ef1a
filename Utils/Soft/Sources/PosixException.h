#ifndef POSIXEXCEPTION_H
#define POSIXEXCEPTION_H

#include "SystemException.h"

// Misuse of the threading layer, e.g. "Thread already running".
class PosixException : public SystemException
{
public:
    explicit PosixException(const std::string &message) : SystemException(message) {}
};

#endif
