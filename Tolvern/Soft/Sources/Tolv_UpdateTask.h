#ifndef TOLV_UPDATETASK_H
#define TOLV_UPDATETASK_H

#include "WMBC_Interface.h"
#include "WMBH_Frame.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tolv
{

class Config;

constexpr int UpdateStatusSeconds = 300;

// The destination of a firmware update from a module address value (address bytes from the
// most significant: id 4, manufacturer 2, version, device type, each as transmitted).
EndpointAddress EndpointAddressOf(uint64_t address);

// The MD5 digest of the firmware file, read whole; talks to nobody. Throws std::runtime_error
// "Update file does not exist", "Update file is not a file", "Can't compute firmware digest"
// (the file cannot be read) and "Update file is empty".
std::vector<unsigned char> ReadFirmwareDigest(const std::string &path);

// Task 4: sends the firmware file config.OptFile to the module of config.OptAddress and waits
// for its update status. Throws std::runtime_error "Update file does not exist",
// "Update file is not a file", "Update file is empty", "Can't compute firmware digest"
// (all before anything is sent), the errors of the transfer and those of WaitUpdateStatus.
void HandleUpdate(WMBusMod::WMBC_Interface &driver, Config &config);

// Waits up to seconds for the module's status frame (SND-NR, CI 0xA5) and prints
// "Update status: " with the status byte. Throws std::runtime_error "No update status
// from module" when none comes in time, and "Invalid update status from module" when
// the frame holds fewer than two records.
void WaitUpdateStatus(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &module, int seconds);

} // namespace Tolv

#endif
