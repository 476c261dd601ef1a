#include "ListenProcess.h"

#include "OutputText.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char **environ;

ListenProcess::ListenProcess(const std::vector<std::string> &args) : outPath_(files_.Path("out.txt"))
{
    const std::string rootPath = files_.Path("root");
    std::filesystem::create_directories(rootPath);
    const std::string errPath = files_.Path("err.txt");

    std::vector<std::string> words{TOLV_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char *> argv;
    for (std::string &word : words)
    {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    std::vector<std::string> environment{"TOLVERN_SYSTEM_ROOT=" + rootPath};
    for (char **entry = environ; *entry != nullptr; ++entry)
    {
        if (std::string(*entry).rfind("TOLVERN_SYSTEM_ROOT=", 0) != 0)
        {
            environment.emplace_back(*entry);
        }
    }
    std::vector<char *> envp;
    for (std::string &entry : environment)
    {
        envp.push_back(entry.data());
    }
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int result = posix_spawn(&pid_, TOLV_BINARY, &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0)
    {
        pid_ = -1;
        throw std::runtime_error("cannot start Tolvern");
    }
}

ListenProcess::~ListenProcess()
{
    Kill();
}

std::string ListenProcess::Output() const
{
    return ReadFile(outPath_);
}

bool ListenProcess::WaitFor(const std::function<bool(const std::string &)> &done,
                            std::chrono::milliseconds timeout) const
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        if (done(Output()))
        {
            return true;
        }
        if (std::chrono::steady_clock::now() >= end)
        {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

int ListenProcess::WaitExit(std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (pid_ > 0)
    {
        int status = 0;
        const pid_t done = wait4(pid_, &status, WNOHANG, &usage_);
        if (done == pid_)
        {
            pid_ = -1;
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        if (done < 0 || std::chrono::steady_clock::now() >= end)
        {
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
}

void ListenProcess::Signal(int signalNumber)
{
    if (pid_ > 0)
    {
        ::kill(pid_, signalNumber);
    }
}

void ListenProcess::Kill()
{
    if (pid_ <= 0)
    {
        return;
    }
    ::kill(pid_, SIGKILL);
    int status = 0;
    while (wait4(pid_, &status, 0, &usage_) < 0 && errno == EINTR)
    {
    }
    pid_ = -1;
}
