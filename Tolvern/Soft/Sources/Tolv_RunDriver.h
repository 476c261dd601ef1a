#ifndef TOLV_RUNDRIVER_H
#define TOLV_RUNDRIVER_H

#include "Tolv_MailboxLedger.h"
#include "WMBC_Interface.h"

namespace Tolv
{

// The modem as the tasks of a run see it: every message queued goes into the run's ledger, and
// once the run is asked to stop the next call, or the wait in progress, ends in RunStopped
// (a command already on the line is finished first, so the link stays in step). Long waits for
// frames and for mailbox space look at the stop request between short slices.
class RunDriver : public WMBusMod::WMBC_Interface
{
public:
    RunDriver(WMBusMod::WMBC_Interface &modem, MailboxLedger &ledger) : modem_(modem), ledger_(ledger) {}

    void Init(Serial &serial, const WMBusMod::GpioLines *gpio, bool checkFirmware) override;
    void Close() override;
    void Noop() override;
    void SetRadioMode(int mode) override;
    void SetLongPreamble(uint8_t value) override;
    void SetRfChannel(int channel) override;
    const std::string &GetSoftwareVersion() const override { return modem_.GetSoftwareVersion(); }
    const std::string &GetHardwareVersion() const override { return modem_.GetHardwareVersion(); }
    const std::string &GetModuleDescription() const override { return modem_.GetModuleDescription(); }
    const std::string &GetSerialNumber() const override { return modem_.GetSerialNumber(); }
    WMBusMod::ModuleAddress GetModuleAddress() const override { return modem_.GetModuleAddress(); }
    void SetRfModuleType(int type) override { modem_.SetRfModuleType(type); }
    int GetRfModuleType() const override { return modem_.GetRfModuleType(); }
    bool IsReady() const override { return modem_.IsReady(); }
    void GetStats(WMBusMod::ModemStats *stats) override;
    void ReceiveFrame(uint8_t *buffer, int &size, int timeoutMs) override;
    void SendFrame(const uint8_t *frame, int length) override;
    int SndToMailbox(const uint8_t *frame, int length) override;
    bool CheckMailbox(int messageId) override;
    void DelMailbox(int messageId) override;
    bool IsMailboxFull() override;
    uint8_t IsReqQueueFull() override;
    bool WaitMailboxSpace(unsigned seconds) override;
    unsigned MailboxCapacity() const override { return modem_.MailboxCapacity(); }

private:
    WMBusMod::WMBC_Interface &modem_;
    MailboxLedger &ledger_;
};

} // namespace Tolv

#endif
