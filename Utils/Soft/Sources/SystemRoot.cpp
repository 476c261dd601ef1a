#include "SystemRoot.h"

#include <cstdlib>
#include <mutex>

namespace
{

std::mutex rootMutex;

std::string &Root()
{
    static std::string root = []
    {
        const char *fromEnvironment = std::getenv("TOLVERN_SYSTEM_ROOT");
        return std::string(fromEnvironment ? fromEnvironment : "");
    }();
    return root;
}

} // namespace

std::string SystemPath(const std::string &absolutePath)
{
    std::lock_guard<std::mutex> lock(rootMutex);
    std::string root = Root();
    // "/tmp/root/" + "/APP/x" must not become a double slash.
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root + absolutePath;
}

std::string GetSystemRoot()
{
    std::lock_guard<std::mutex> lock(rootMutex);
    return Root();
}

void SetSystemRoot(const std::string &root)
{
    std::lock_guard<std::mutex> lock(rootMutex);
    Root() = root;
}
