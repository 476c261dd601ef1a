#ifndef TOLV_CONFIGREQUEST_H
#define TOLV_CONFIGREQUEST_H

#include "Tolv_ItemRecords.h"
#include "WMBC_Interface.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tolv
{

class Config;

// A configuration file's items as the read, write and check tasks send them, read and checked
// before the module is asked for.
struct ConfigRequest
{
    std::vector<ByteVector> items; // one per element of the file, in file order
    ItemNames names;               // every item of the template, to tell an answer by its item

    // All items in one request, as the read and write tasks send them.
    ByteVector Payload() const;
};

// The items of the run's configuration file in read mode (none for --read-conf-all), and in
// write mode for the write and check tasks; they throw what the configuration file and its
// template are refused for.
ConfigRequest ReadConfigRequest(const Config &config);
ConfigRequest WriteConfigRequest(const Config &config);

// Refuses, with nothing sent, items that do not make one request of the given CI once encrypted:
// "Config file <path>: <n> items do not fit in one request (Frame data to large)"; and a key or
// address that cannot make a request at all, as RequireRequestFits does.
void RequireConfigRequestFits(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci,
                              const ConfigRequest &request, const std::string &path);

} // namespace Tolv

#endif
