#ifndef TOLV_MODEMTASKS_H
#define TOLV_MODEMTASKS_H

#include "WMBC_Interface.h"

#include <iostream>

namespace Tolv
{

// The tasks that read only the modem itself. The version line goes to direct,
// the rest through the log; the GUI matches both.
void GetModemInfo(WMBusMod::WMBC_Interface &driver, std::ostream &direct = std::cout);
void ReadStatistics(WMBusMod::WMBC_Interface &driver);

} // namespace Tolv

#endif
