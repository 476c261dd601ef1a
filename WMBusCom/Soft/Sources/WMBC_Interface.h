#ifndef WMBC_INTERFACE_H
#define WMBC_INTERFACE_H

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

class Serial;
class Gpio;

namespace WMBusMod
{

// The modem's own radio address: manufacturer | id << 16 | version << 48 | device type << 56.
// Stored little endian, its bytes are the M and A fields of a radio frame in air order.
using ModuleAddress = uint64_t;

// The modem's four radio counters, in the order the modem numbers them.
struct ModemStats
{
    uint32_t receivedFrames = 0;
    uint32_t detectedPreambles = 0;
    uint32_t syncAddresses = 0;
    uint32_t crcErrors = 0;
};

// The four control lines that the boot-loader reset drives, in the holder's order: the first
// line (index 0) is the reset line A, the fourth (index 3) the boot line B. Entries may be null.
using GpioLines = std::array<Gpio *, 4>;

// The modem's port went away (device removed, far end closed): nothing more will come from it,
// so a task that would go on waiting must end instead.
class ModemDisconnected : public std::runtime_error
{
public:
    ModemDisconnected() : std::runtime_error("modem disconnected") {}
};

// What the rest of the program needs from a radio modem. Operations that talk to the modem need a
// finished Init and report modem failures as std::runtime_error ("ack not received", "nak
// received", "cmd timeout", "cmd failed", ...). The order of the operations is fixed.
class WMBC_Interface
{
public:
    virtual ~WMBC_Interface() = default;

    // Opens the link on an opened port (the port must outlive the driver), probes the modem's
    // firmware version, runs the flashing steps when needed, then reads the identity.
    // gpio may be null: then no control line is driven. A modem that never gave its identity
    // raises "modem not responding" after the tries.
    virtual void Init(Serial &serial, const GpioLines *gpio, bool checkFirmware) = 0;
    // Stops the reader thread; afterwards every exchange ends in "ack not received".
    virtual void Close() = 0;
    virtual void Noop() = 0;
    // Modes and channels that the module type does not support are refused with a warning.
    // Modem failures are logged, not raised.
    virtual void SetRadioMode(int mode) = 0;
    virtual void SetLongPreamble(uint8_t value) = 0;
    virtual void SetRfChannel(int channel) = 0;
    // Identity as Init read it (empty before).
    virtual const std::string &GetSoftwareVersion() const = 0;
    virtual const std::string &GetHardwareVersion() const = 0;
    virtual const std::string &GetModuleDescription() const = 0;
    virtual const std::string &GetSerialNumber() const = 0;
    virtual ModuleAddress GetModuleAddress() const = 0;
    // 2 = 169 MHz module (default), 3 = 868 MHz module.
    virtual void SetRfModuleType(int type) = 0;
    virtual int GetRfModuleType() const = 0;
    virtual bool IsReady() const = 0;
    // Fills the counters from the modem; an error stops the sequence (counters read so far stay).
    virtual void GetStats(ModemStats *stats) = 0;
    // On entry size is the buffer's capacity (at least 255 is needed), on return the frame's
    // length as 0x68, payload, 0x16; 0 when no frame came within timeoutMs. Raises
    // "modem disconnected" only once the port is gone and every frame received before was handed out.
    virtual void ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs) = 0;
    // Sends one radio frame (at most 246 bytes) and returns once the modem acknowledged it.
    virtual void SendFrame(const uint8_t *frame, int length) = 0;
    // Mailbox of frames the modem sends later; returns the message id (0 to 255).
    virtual int SndToMailbox(const uint8_t *frame, int length) = 0;
    virtual bool CheckMailbox(int messageId) = 0;
    virtual void DelMailbox(int messageId) = 0;
    virtual bool IsMailboxFull() = 0;
    // The modem's free mailbox space; 0 means full.
    virtual uint8_t IsReqQueueFull() = 0;
    // Polls once a second; true when space was found before the seconds ran out.
    virtual bool WaitMailboxSpace(unsigned seconds) = 0;
    // How many messages the modem's mailbox holds when full, as the modem reported it at Init;
    // 0 when unknown. With the free space it tells how many messages are pending.
    virtual unsigned MailboxCapacity() const { return 0; }
};

} // namespace WMBusMod

#endif
