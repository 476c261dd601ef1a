#ifndef ROOTEXCEPTION_H
#define ROOTEXCEPTION_H

#include <stdexcept>
#include <string>

// Base of the utilities' own exceptions; main catches them as std::runtime_error.
class RootException : public std::runtime_error
{
public:
    explicit RootException(const std::string &message) : std::runtime_error(message) {}
};

#endif
