#ifndef TOLV_GPIOHOLDER_H
#define TOLV_GPIOHOLDER_H

#include "WMBC_Interface.h"

#include <array>
#include <memory>

class Gpio;

namespace Tolv
{

// The gateway's four modem control lines, held while the driver starts: it
// may reset the modem into its boot loader through the first and the fourth.
class GpioHolder
{
public:
    // Creates the lines "45", "47", "35", "48" in this order and sets "35" to 1.
    GpioHolder();
    // Releases them in the reverse order.
    ~GpioHolder();

    GpioHolder(const GpioHolder &) = delete;
    GpioHolder &operator=(const GpioHolder &) = delete;

    const WMBusMod::GpioLines *Lines() const { return &lines; }

private:
    std::array<std::unique_ptr<Gpio>, 4> gpios;
    WMBusMod::GpioLines lines{};
};

} // namespace Tolv

#endif
