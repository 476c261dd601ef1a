#include "Led.h"

#include "SysfsFile.h"
#include "SystemRoot.h"

#include <unistd.h>

namespace
{

std::string LedDirectory(const std::string &id)
{
    // The directory name really holds a blank: "led 2".
    return SystemPath("/sys/devices/platform/leds-gpio.0/leds/led " + id);
}

} // namespace

Led::Led(const std::string &id) : id(id) {}

bool Led::Exists(const std::string &id)
{
    return ::access(LedDirectory(id).c_str(), F_OK) == 0;
}

Led::~Led()
{
    WriteAttribute("brightness", 0);
}

void Led::On()
{
    WriteAttribute("trigger", "none");
    WriteAttribute("brightness", 1);
}

void Led::Off()
{
    WriteAttribute("brightness", 0);
}

void Led::Blink(int on, int off)
{
    WriteAttribute("trigger", "timer");
    WriteAttribute("delay_on", on);
    WriteAttribute("delay_off", off);
}

void Led::WriteAttribute(const std::string &attribute, const std::string &value)
{
    WriteSysfsFile(LedDirectory(id) + "/" + attribute, value);
}

void Led::WriteAttribute(const std::string &attribute, int value)
{
    WriteAttribute(attribute, std::to_string(value));
}
