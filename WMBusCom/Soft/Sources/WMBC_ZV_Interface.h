#ifndef WMBC_ZV_INTERFACE_H
#define WMBC_ZV_INTERFACE_H

#include "WMBC_Interface.h"

#include <cstdint>
#include <memory>
#include <string>

namespace WMBusMod
{

class WMBC_ZV;

// The driver of the maker's 169 MHz and 868 MHz modems. It owns the link (and so the reader
// thread) from Init to its destruction; use it from one thread.
class WMBC_ZV_Interface : public WMBC_Interface
{
public:
    static constexpr int Module169MHz = 2;
    static constexpr int Module868MHz = 3;

    // Takes the module type from the gateway's "/APP/rf_module_type" (169 MHz when unknown).
    WMBC_ZV_Interface();
    ~WMBC_ZV_Interface() override;

    WMBC_ZV_Interface(const WMBC_ZV_Interface &) = delete;
    WMBC_ZV_Interface &operator=(const WMBC_ZV_Interface &) = delete;

    void Init(Serial &serial, const GpioLines *gpio, bool checkFirmware) override;
    void Close() override;
    void Noop() override;
    void SetRadioMode(int mode) override;
    void SetLongPreamble(uint8_t value) override;
    void SetRfChannel(int channel) override;
    const std::string &GetSoftwareVersion() const override { return softwareVersion; }
    const std::string &GetHardwareVersion() const override { return hardwareVersion; }
    const std::string &GetModuleDescription() const override { return description; }
    const std::string &GetSerialNumber() const override { return serialNumber; }
    ModuleAddress GetModuleAddress() const override;
    void SetRfModuleType(int type) override { rfModuleType = type; }
    int GetRfModuleType() const override { return rfModuleType; }
    bool IsReady() const override { return true; }
    void GetStats(ModemStats *stats) override;
    void ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs) override;
    void SendFrame(const uint8_t *frame, int length) override;
    int SndToMailbox(const uint8_t *frame, int length) override;
    bool CheckMailbox(int messageId) override;
    void DelMailbox(int messageId) override;
    bool IsMailboxFull() override;
    uint8_t IsReqQueueFull() override;
    bool WaitMailboxSpace(unsigned seconds) override;
    unsigned MailboxCapacity() const override { return mailboxSize; }

    uint16_t GetManufacturer() const { return manufacturer; }
    uint32_t GetId() const { return id; }
    uint8_t GetVersion() const { return version; }
    uint8_t GetDeviceType() const { return deviceType; }

    // The command line of the outside flashing tool for a port.
    static std::string FlashCommand(const std::string &deviceName);

    // What SetRadioMode and SetRfChannel take for a module type; anything else they refuse
    // without sending. The 868 MHz modules have no channels.
    static bool AcceptsMode(int moduleType, int mode);
    static bool AcceptsChannel(int moduleType, int channel);

private:
    WMBC_ZV &Link();
    bool ProbeVersion();
    void FlashModem(Serial &serial, const GpioLines *gpio);
    void ReadIdentity();
    uint8_t MessageId(int messageId);

    uint8_t version = 0;
    uint8_t deviceType = 0;
    uint16_t manufacturer = 0;
    uint32_t id = 0;
    std::string description;
    std::string softwareVersion;
    std::string hardwareVersion;
    std::string serialNumber;
    uint32_t mailboxSize = 0;
    std::unique_ptr<WMBC_ZV> link;
    int rfModuleType = Module169MHz;
    bool receiveLedPresent = false;
};

} // namespace WMBusMod

#endif
