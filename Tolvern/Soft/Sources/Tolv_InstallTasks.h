#ifndef TOLV_INSTALLTASKS_H
#define TOLV_INSTALLTASKS_H

#include "WMBC_Interface.h"

namespace Tolv
{

class Config;

// Limits of the installation scenario.
constexpr int InstallSeconds = 215;
constexpr int InstallAnsweredFrames = 7;
constexpr int InstallReceiveMs = 1000;
constexpr int InstallMaxPauseSeconds = 24;

// Task 3: plays the concentrator for a module's installation frames. Every frame received is
// printed; each SND-IR gets an SND-NKE after a pseudo-random pause (0 to 24 s), carrying the
// RSSI at which we heard it, and one asking for tracking (CI 0x8B) a CNF-IR at once before
// that. With -a, only the SND-IR of that module are answered; any other module's are printed and
// told as not named. Ends after 7 answered frames or 215 s. Needs no first frame: an installing
// module sends only installation frames, which the scenario waits for itself.
void HandleInstall(WMBusMod::WMBC_Interface &driver, Config &config);

} // namespace Tolv

#endif
