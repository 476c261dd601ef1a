#include "LogStatement.h"
#include "Serial.h"
#include "Tolv_Config.h"
#include "Tolv_FailedRun.h"
#include "Tolv_ModemSetup.h"
#include "Tolv_Receive.h"
#include "Tolv_RunDriver.h"
#include "Tolv_StopRequest.h"
#include "Tolv_TaskTable.h"
#include "WMBC_Interface.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <iostream>
#include <memory>
#include <optional>

namespace
{

using Driver = std::unique_ptr<WMBusMod::WMBC_Interface>;

constexpr int FirstFrameSeconds = 60;

// The reader thread reads from the serial port: the driver always goes first.
void Teardown(Driver &driver, std::unique_ptr<Serial> &serial)
{
    driver.reset();
    if (serial)
    {
        serial->Close();
        serial.reset();
    }
}

} // namespace

int main(int argc, char **argv)
{
    Tolv::Config &config = Tolv::RunConfig();
    const Tolv::Config::ParseResult parsed = config.ParseOptions(argc, argv);
    if (parsed != Tolv::Config::ParseResult::Run)
    {
        return parsed == Tolv::Config::ParseResult::ShowUsage ? 0 : 1;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Start";
    Tolv::InstallStopHandlers();

    auto serial = std::make_unique<Serial>();
    Driver driver;
    Tolv::MailboxLedger &ledger = Tolv::RunLedger();
    try
    {
        Tolv::SetupModule(driver, *serial, config);
        Tolv::RunDriver modem(*driver, ledger);

        const Tolv::TaskEntry &task = Tolv::FindTask(config.CurrentTask);
        // What the user got wrong is told before anyone wakes a module for it.
        const Tolv::TaskRun run = Tolv::PrepareTask(task, modem, config);
        if (config.WaitForInitialFrame && task.waitsForFirstFrame)
        {
            // A module named with -a is the only one whose frame is taken.
            const std::optional<uint64_t> named =
                config.AddressGiven ? std::optional<uint64_t>(Tolv::ReadAddress(config.OptAddress)) : std::nullopt;
            if (!Tolv::WaitInitialFrame(modem, config, config.OptAddress, FirstFrameSeconds, named))
            {
                LOG_LINE(LogLevel::Error, LogModule::Tolv) << "No initial frame received!";
                Teardown(driver, serial);
                return 1;
            }
        }
        run(modem, config);

        // The task is done: a stop now only shortens the pause.
        Tolv::PauseUnlessStopped(std::chrono::milliseconds(1000));
        Teardown(driver, serial);
        return 0;
    }
    catch (const std::exception &e)
    {
        const int stopSignal = Tolv::StoppedBy(e);
        if (stopSignal != 0 && !ledger.QueuedAny())
        {
            // Nothing of the run waits in the mailbox: it ends as a stopped run always did, with
            // everything it printed.
            std::cout.flush();
            std::fflush(stdout);
            Teardown(driver, serial);
            Tolv::EndBySignal(stopSignal);
        }
        Tolv::WithdrawAfterFailure(driver.get(), ledger);
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Request failed: " << e.what();
        Teardown(driver, serial);
        return 1;
    }
}
