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

// "ZVR169" or "ZVR868" (exact case); anything else, an empty text given included, is logged and
// left to the driver. Nothing given (type empty and given false) is a trace line only.
void ApplyModuleType(WMBusMod::WMBC_Interface &driver, const std::string &type, bool given = false);

// Channels 1 to 9 are passed on. Any other value or text, and a channel the driver's module type
// refuses, leaves the modem's channel as it is, and a line on refusals says so and why.
void SetChannel(WMBusMod::WMBC_Interface &driver, const std::string &channel, std::ostream &refusals = std::cerr);

// Lower-cases mode in place and passes a known mode word on. The two mode lines go to direct,
// not through the log; a mode the driver's module type refuses gets a line on refusals.
void SetMode(WMBusMod::WMBC_Interface &driver, std::string &mode, std::ostream &direct = std::cout,
             std::ostream &refusals = std::cerr);

} // namespace Tolv

#endif
