#ifndef SYSTEMROOT_H
#define SYSTEMROOT_H

#include <string>

// Every sysfs and gateway path (/sys/class/gpio, LEDs, /sys/class/net, /APP/...)
// is built below one root, so that tests can point it at a temporary folder and
// never drive a real GPIO line. The root starts as the environment variable
// TOLVERN_SYSTEM_ROOT when set (read at each use), else empty (the real root).

// "/APP/rf_module_type" -> root + "/APP/rf_module_type".
std::string SystemPath(const std::string &absolutePath);
std::string GetSystemRoot();
void SetSystemRoot(const std::string &root);
// Back to the environment's root.
void ResetSystemRoot();

#endif
