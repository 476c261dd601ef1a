#ifndef STUBMODEM_H
#define STUBMODEM_H

#include "WMBC_Interface.h"

#include <cstdint>
#include <string>

// A modem driver that does nothing: every operation answers with an empty or neutral value and
// talks to no port. Test doubles derive from it and override only what their test looks at.
class StubModem : public WMBusMod::WMBC_Interface
{
public:
    void Init(Serial &, const WMBusMod::GpioLines *, bool) override {}
    void Close() override {}
    void Noop() override {}
    void SetRadioMode(int) override {}
    void SetLongPreamble(uint8_t) override {}
    void SetRfChannel(int) override {}
    const std::string &GetSoftwareVersion() const override { return empty; }
    const std::string &GetHardwareVersion() const override { return empty; }
    const std::string &GetModuleDescription() const override { return empty; }
    const std::string &GetSerialNumber() const override { return empty; }
    WMBusMod::ModuleAddress GetModuleAddress() const override { return 0; }
    void SetRfModuleType(int) override {}
    int GetRfModuleType() const override { return 2; }
    bool IsReady() const override { return true; }
    void GetStats(WMBusMod::ModemStats *) override {}
    // No frame ever arrives.
    void ReceiveFrame(uint8_t *, int &size, int) override { size = 0; }
    void SendFrame(const uint8_t *, int) override {}
    int SndToMailbox(const uint8_t *, int) override { return 0; }
    bool CheckMailbox(int) override { return false; }
    void DelMailbox(int) override {}
    bool IsMailboxFull() override { return false; }
    uint8_t IsReqQueueFull() override { return 1; }
    bool WaitMailboxSpace(unsigned) override { return true; }

private:
    std::string empty;
};

#endif
