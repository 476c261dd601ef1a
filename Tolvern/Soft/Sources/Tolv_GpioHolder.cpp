#include "Tolv_GpioHolder.h"

#include "Gpio.h"

namespace Tolv
{

namespace
{

constexpr const char *Pins[4] = {"45", "47", "35", "48"};
constexpr size_t PowerLine = 2; // pin "35"

} // namespace

GpioHolder::GpioHolder()
{
    for (size_t i = 0; i < gpios.size(); ++i)
    {
        gpios[i] = std::make_unique<Gpio>(Pins[i]);
        lines[i] = gpios[i].get();
    }
    gpios[PowerLine]->SetValue(1);
}

GpioHolder::~GpioHolder()
{
    for (size_t i = gpios.size(); i-- > 0;)
    {
        lines[i] = nullptr;
        gpios[i].reset();
    }
}

} // namespace Tolv
