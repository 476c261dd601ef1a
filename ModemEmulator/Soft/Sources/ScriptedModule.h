#ifndef MODEMEMU_SCRIPTEDMODULE_H
#define MODEMEMU_SCRIPTEDMODULE_H

#include "HostRecord.h"
#include "RadioFrame.h"
#include "RadioWorld.h"

#include <string>

namespace ModemEmu
{

// A radio module, meter or concentrator in the emulated radio world. The
// emulator calls it on its own thread with its state locked, so a module
// must not call back into the ModemEmulator; it acts through the RadioWorld.
// Its methods are never re-entered: frames for it are handed over only
// between calls.
class ScriptedModule
{
public:
    virtual ~ScriptedModule() = default;

    virtual std::string Name() const = 0;
    // Host frames whose long transport header names this address reach the module.
    virtual RadioAddress Address() const = 0;
    // Frames without a long header (test frames, short-header requests) reach
    // every module that says yes here.
    virtual bool AcceptsUnaddressed() const { return false; }

    // Called when the module is added, and then about every few milliseconds.
    virtual void Start(RadioWorld &) {}
    virtual void Tick(RadioWorld &) {}
    // A frame the host sent to this module, directly or through the mailbox.
    virtual void OnHostFrame(const HostRadioFrame &, RadioWorld &) {}
};

} // namespace ModemEmu

#endif
