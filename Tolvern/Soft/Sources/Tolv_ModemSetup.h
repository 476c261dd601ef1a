#ifndef TOLV_MODEMSETUP_H
#define TOLV_MODEMSETUP_H

#include "WMBC_Interface.h"

#include <iostream>
#include <memory>
#include <string>

class Serial;

namespace Tolv
{

class Config;

// Creates the driver into driver (so that the caller owns it even when a later
// step throws), applies the module type, opens the port named by the options,
// starts the driver and applies channel and mode. Failures arrive as exceptions.
void SetupModule(std::unique_ptr<WMBusMod::WMBC_Interface> &driver, Serial &serial, Config &config);

// "ZVR169" or "ZVR868" (exact case); anything else is logged and left to the driver.
void ApplyModuleType(WMBusMod::WMBC_Interface &driver, const std::string &type);

// Channels 1 to 9 are passed on; any other value or text is ignored silently.
void SetChannel(WMBusMod::WMBC_Interface &driver, const std::string &channel);

// Lower-cases mode in place and passes a known mode word on. The two mode
// lines go to direct, not through the log.
void SetMode(WMBusMod::WMBC_Interface &driver, std::string &mode, std::ostream &direct = std::cout);

} // namespace Tolv

#endif
