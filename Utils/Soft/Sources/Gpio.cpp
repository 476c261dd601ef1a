#include "Gpio.h"

#include "SysfsFile.h"
#include "SystemRoot.h"

#include <cstdlib>
#include <string>

Gpio::Gpio(const std::string &pin) : pin(pin)
{
    WriteSysfsFile(SystemPath("/sys/class/gpio/export"), pin);
}

Gpio::~Gpio()
{
    WriteSysfsFile(SystemPath("/sys/class/gpio/unexport"), pin);
}

std::string Gpio::FilePath(const char *attribute) const
{
    return SystemPath("/sys/class/gpio/gpio" + pin + "/" + attribute);
}

void Gpio::SetDirection(bool input)
{
    WriteSysfsFile(FilePath("direction"), input ? "in" : "out");
    direction = input ? 1 : 2;
}

void Gpio::SetValue(int value)
{
    if (direction != 2)
        SetDirection(false);
    WriteSysfsFile(FilePath("value"), std::to_string(value));
}

int Gpio::GetValue()
{
    if (direction != 1)
        SetDirection(true);
    std::string line;
    if (!ReadSysfsLine(FilePath("value"), line))
        return 0;
    // strtol instead of stoi: a file without a number gives 0, no exception.
    return static_cast<int>(std::strtol(line.c_str(), nullptr, 10));
}
