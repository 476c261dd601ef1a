#ifndef TOLV_TESTS_UPDATETASKTEST_H
#define TOLV_TESTS_UPDATETASKTEST_H

// The built program against the modem emulator with a firmware receiver at the
// default address, 0x12345678d26a0107, that holds the default key.
#include "Aes128Cbc.h"
#include "EmulatorTest.h"
#include "FirmwareReceiver.h"

#include <initializer_list>
#include <memory>
#include <string>

inline const std::string InstallFixtures = std::string(TOLV_FIXTURES_DIR) + "/install";
inline const std::string Firmware187 = InstallFixtures + "/firmware_187.bin";
inline const std::string Firmware186 = InstallFixtures + "/firmware_186.bin";

class UpdateTask : public EmulatorTest
{
protected:
    // The module listens all through an update, so mailbox frames reach it at once (unless the
    // test's modem hands them out otherwise).
    void StartModem(ModemEmu::FirmwareReceiverConfig config = {}, ModemEmu::CoreConfig core = ImmediateDelivery())
    {
        config.key = ModemEmu::Aes128Cbc::ParseKey(DefaultKey);
        modem.SetConfig(core);
        receiver = std::make_shared<ModemEmu::FirmwareReceiver>(std::move(config));
        modem.AddModule(receiver);
        modem.Start();
    }

    void TearDown() override
    {
        EmulatorTest::TearDown();
        if (receiver)
        {
            EXPECT_TRUE(receiver->Problems().empty()) << receiver->Problems().front();
        }
    }

    ProgramRun Run(const std::string &args) { return EmulatorTest::Run("--nowait " + args); }

    static ModemEmu::CoreConfig ImmediateDelivery()
    {
        ModemEmu::CoreConfig core;
        core.delivery = ModemEmu::MailboxDelivery::Immediate;
        return core;
    }

    // What an update prints up to the status frame: the progress lines for each block
    // and the closing line.
    static std::string SendingLines(const std::string &file, std::initializer_list<int> sent, int size)
    {
        std::string lines = "Got address 12345678d26a0107\nUpdateEndpoint from " + file + "\n";
        for (int count : sent)
        {
            lines += "Sent " + std::to_string(count) + " bytes\n";
        }
        return lines + "Firmware with " + std::to_string(size) + " sent\n";
    }

    // The same, and the status frame comes encrypted.
    static std::string TransferLines(const std::string &file, std::initializer_list<int> sent, int size)
    {
        return SendingLines(file, sent, size) + "AES with iv\n";
    }

    std::shared_ptr<ModemEmu::FirmwareReceiver> receiver;
};

#endif
