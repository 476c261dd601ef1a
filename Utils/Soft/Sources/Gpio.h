#ifndef GPIO_H
#define GPIO_H

#include <string>

// One GPIO line of the gateway through sysfs (below SystemPath). Where the files
// are missing every operation does nothing.
class Gpio
{
public:
    // Writes the pin to /sys/class/gpio/export.
    explicit Gpio(const std::string &pin);
    // Writes the pin to /sys/class/gpio/unexport.
    virtual ~Gpio();

    Gpio(const Gpio &) = delete;
    Gpio &operator=(const Gpio &) = delete;

    void SetDirection(bool input);
    // Switches to output first when needed.
    void SetValue(int value);
    // Switches to input first when needed; 0 when the value cannot be read.
    int GetValue();

    const std::string &GetPin() const { return pin; }

private:
    std::string FilePath(const char *attribute) const;

    std::string pin;
    int direction = 0; // 0 not set yet, 1 input, 2 output
};

#endif
