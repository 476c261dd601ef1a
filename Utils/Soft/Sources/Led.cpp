#include "Led.h"

#include "SysfsFile.h"
#include "SystemRoot.h"

Led::Led(const std::string &id) : id(id) {}

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
    // The directory name really holds a blank: "led 2".
    WriteSysfsFile(SystemPath("/sys/devices/platform/leds-gpio.0/leds/led " + id + "/" + attribute), value);
}

void Led::WriteAttribute(const std::string &attribute, int value)
{
    WriteAttribute(attribute, std::to_string(value));
}
