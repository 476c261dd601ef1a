#ifndef WMBH_UPDATEENDPOINT_H
#define WMBH_UPDATEENDPOINT_H

#include "WMBC_Interface.h"
#include "WMBH_Frame.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Seconds on a monotonic clock; the update only ever looks at differences.
using UpdateClock = std::function<int64_t()>;

// Sends a firmware file to a module over the air: 93-byte blocks through the modem's mailbox,
// the closing frame with the size and the MD5 digest (16 bytes), then an SND-NKE. Each frame is
// encrypted with keyText unless it is empty. Prints "Sent N bytes" per pass and
// "Firmware with N sent" at the end. Failures are std::runtime_error ("Can't open firmware file",
// "Can't read firmware file", "Firmware digest missing", "Update timeout",
// "Update status timeout", "Module parameter empty", the frame builder's texts), each also
// logged as "Update failed ".
void UpdateEndpoint(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint, const std::string &keyText,
                    const std::string &fileName, const std::vector<uint8_t> &digest, bool fixDif);

// The same with the clock given, so that the 7200 s limit can be exercised.
void UpdateEndpoint(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint, const std::string &keyText,
                    const std::string &fileName, const std::vector<uint8_t> &digest, bool fixDif,
                    const UpdateClock &now);

#endif
