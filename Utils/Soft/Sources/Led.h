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

    // Whether the gateway has this LED (below the current SystemPath). A caller that
    // drives an LED often looks it up once and skips it when absent, instead of
    // failing to open its files every time.
    static bool Exists(const std::string &id);

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
