#ifndef SYSFSFILE_H
#define SYSFSFILE_H

#include <string>

// sysfs attribute access: a file that does not exist is never created, and a
// failure is silent (false), as the GPIO and LED helpers want.
bool WriteSysfsFile(const std::string &path, const std::string &text);
// The first line, without the line end; false when the file cannot be opened.
bool ReadSysfsLine(const std::string &path, std::string &line);

#endif
