#include "System.h"

#include "LogStatement.h"
#include "SysfsFile.h"
#include "SystemRoot.h"

#include <algorithm>
#include <boost/filesystem/operations.hpp>
#include <cctype>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace
{

// Two letters mixed into the MAC address before hashing the default password.
constexpr const char *kPasswordSalt = "zv";
constexpr size_t kSaltPosition = 9;
constexpr size_t kPasswordLength = 12;

} // namespace

std::string Exec(const std::string &)
{
    // Tolvern runs no outside program; the gateway's command lines end here.
    return std::string();
}

std::string ReadFirstLine(const std::string &path)
{
    std::ifstream file(path);
    if (!file.is_open())
        return std::string();
    std::string line;
    if (!std::getline(file, line))
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't read file: " << path;
        return std::string();
    }
    return line;
}

std::string GetMacAddress()
{
    std::ifstream file(SystemPath("/sys/class/net/eth0/address"));
    if (!file.is_open())
        return std::string();
    std::string word;
    file >> word;
    std::transform(word.begin(), word.end(), word.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return word;
}

std::string Md5Sum(const std::string &path)
{
    std::string output = Exec("md5sum " + path);
    output.resize(32, '\0');
    return output;
}

void SetUserPassword(const std::string &user, const std::string &password)
{
    LOG_LINE(LogLevel::Normal, LogModule::Utils) << "Update password for user: " << user;
    Exec("echo -e \"" + password + "\n" + password + "\" | passwd " + user);
}

void SetDefaultRootPassword()
{
    std::string seed = GetMacAddress();
    if (seed.size() < kSaltPosition)
        throw std::out_of_range("invalid string position");
    seed.insert(kSaltPosition, kPasswordSalt);
    const std::string digest = Exec("echo -n \"" + seed + "\" | md5sum");
    if (digest.size() < kPasswordLength)
        throw std::out_of_range("invalid string position");
    SetUserPassword("root", digest.substr(0, kPasswordLength));
}

void EraseData(bool reboot)
{
    Exec("rm -f /APP/backup/* /etc/rc.d/rc.custom /mnt/data/* /mnt/data/upload/ALARM/* /mnt/data/upload/CONFIG/* "
         "/mnt/data/upload/SUPERVISION/* /mnt/data/upload/DATA/*");
    if (reboot)
        RebootSystem();
}

void RebootSystem()
{
    LOG_LINE(LogLevel::Normal, LogModule::Utils) << "RebootSystem";
    std::ofstream marker(SystemPath("/APP/software_reboot"), std::ios::out | std::ios::trunc);
    marker.close();
    Exec("reboot");
}

std::vector<std::string> ListDirectory(const std::string &path, boost::filesystem::file_type type)
{
    namespace fs = boost::filesystem;
    std::vector<std::string> names;
    boost::system::error_code error;
    if (!fs::is_directory(path, error) || error)
        return names;
    for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error))
    {
        if (it->status(error).type() == type && !error)
            names.push_back(it->path().filename().string());
        error.clear();
    }
    return names;
}

std::string DirName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string BaseName(const std::string &path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string FormatTime(std::time_t, const std::string &)
{
    return std::string();
}

std::string FormatTime(const std::string &)
{
    return std::string();
}

std::string FormatTimeStamp()
{
    return std::string();
}
