#ifndef SYSTEM_H
#define SYSTEM_H

#include <boost/filesystem/file_status.hpp>
#include <ctime>
#include <string>
#include <vector>

// System helpers of the gateway. Tolvern starts no outside program: Exec runs
// nothing and returns an empty text, so every routine that would run a shell
// command is inert.

std::string Exec(const std::string &command);

// The first line of a file without its line end; empty when the file cannot be
// opened (silently) or holds no line (error "Can't read file: <path>").
// Gateway paths are given through SystemPath: ReadFirstLine(SystemPath("/APP/rf_module_type")).
std::string ReadFirstLine(const std::string &path);

// The first word of /sys/class/net/eth0/address in upper case; empty when missing.
std::string GetMacAddress();
// Exec("md5sum <path>") cut or filled with NUL characters to exactly 32 characters.
std::string Md5Sum(const std::string &path);
void SetUserPassword(const std::string &user, const std::string &password);
// Throws std::out_of_range("invalid string position") when the MAC address or the
// digest text is too short, which with the inert Exec is always the case.
void SetDefaultRootPassword();
void EraseData(bool reboot);
void RebootSystem();

// File names of the entries of the given type; empty when path is no directory.
std::vector<std::string> ListDirectory(const std::string &path, boost::filesystem::file_type type);
// "a/b/c" -> "a/b/"; "c" -> "".
std::string DirName(const std::string &path);
// "a/b/c" -> "c"; "c" -> "c".
std::string BaseName(const std::string &path);

// The time formatting family; every member returns an empty text.
std::string FormatTime(std::time_t time, const std::string &format = "%Y-%m-%dT%T");
std::string FormatTime(const std::string &format = "%Y-%m-%dT%T");
std::string FormatTimeStamp();

#endif
