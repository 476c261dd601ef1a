#ifndef TESTSUPPORT_ERROROF_H
#define TESTSUPPORT_ERROROF_H

#include <exception>
#include <string>

// The message of the exception that `action` throws; empty when it throws none.
template <typename Action> std::string ErrorOf(Action action)
{
    try
    {
        action();
    }
    catch (const std::exception &e)
    {
        return e.what();
    }
    return "";
}

#endif
