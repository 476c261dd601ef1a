#include "SystemRoot.h"

#include <cstdlib>
#include <mutex>
#include <optional>

namespace
{

std::mutex rootMutex;
std::optional<std::string> setRoot; // a root set by SetSystemRoot wins over the environment

std::string CurrentRoot()
{
    if (setRoot)
        return *setRoot;
    const char *fromEnvironment = std::getenv("TOLVERN_SYSTEM_ROOT");
    return fromEnvironment ? fromEnvironment : "";
}

} // namespace

std::string SystemPath(const std::string &absolutePath)
{
    std::string root = GetSystemRoot();
    // "/tmp/root/" + "/APP/x" must not become a double slash.
    while (!root.empty() && root.back() == '/')
        root.pop_back();
    return root + absolutePath;
}

std::string GetSystemRoot()
{
    std::lock_guard<std::mutex> lock(rootMutex);
    return CurrentRoot();
}

void SetSystemRoot(const std::string &root)
{
    std::lock_guard<std::mutex> lock(rootMutex);
    setRoot = root;
}

void ResetSystemRoot()
{
    std::lock_guard<std::mutex> lock(rootMutex);
    setRoot.reset();
}
