#include "TempSystemRoot.h"

#include "SystemRoot.h"

TempSystemRoot::TempSystemRoot()
{
    SetSystemRoot(dir.Path());
}

TempSystemRoot::~TempSystemRoot()
{
    ResetSystemRoot();
}

std::string TempSystemRoot::Relative(const std::string &systemPath)
{
    const size_t start = systemPath.find_first_not_of('/');
    return start == std::string::npos ? std::string() : systemPath.substr(start);
}

std::string TempSystemRoot::Write(const std::string &systemPath, const std::string &bytes) const
{
    return dir.Write(Relative(systemPath), bytes);
}

std::string TempSystemRoot::Read(const std::string &systemPath) const
{
    return dir.Read(Relative(systemPath));
}

bool TempSystemRoot::Exists(const std::string &systemPath) const
{
    return dir.Exists(Relative(systemPath));
}
