#ifndef LED_H
#define LED_H

#include <string>

// One LED of the gateway through sysfs (below SystemPath); the directory is
// "led " (with the blank) followed by the id. Missing files: nothing happens.
class Led
{
public:
    explicit Led(const std::string &id);
    // Switches the LED off.
    virtual ~Led();

    Led(const Led &) = delete;
    Led &operator=(const Led &) = delete;

    void On();
    void Off();
    void Blink(int on, int off);

    void WriteAttribute(const std::string &attribute, const std::string &value);
    void WriteAttribute(const std::string &attribute, int value);

private:
    std::string id;
};

#endif
