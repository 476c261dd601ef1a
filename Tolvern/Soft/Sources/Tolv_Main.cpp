#include "LogStatement.h"
#include "Serial.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_InstallTasks.h"
#include "Tolv_ModemSetup.h"
#include "Tolv_ModemTasks.h"
#include "Tolv_Receive.h"
#include "Tolv_RequestTasks.h"
#include "Tolv_SendFrameTask.h"
#include "Tolv_UpdateTask.h"
#include "WMBC_Interface.h"

#include <chrono>
#include <exception>
#include <memory>
#include <thread>

namespace
{

using Driver = std::unique_ptr<WMBusMod::WMBC_Interface>;

constexpr int FirstFrameSeconds = 60;

void NoTask(WMBusMod::WMBC_Interface &, Tolv::Config &)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "No task selected";
}

void ModemInfoTask(WMBusMod::WMBC_Interface &driver, Tolv::Config &)
{
    Tolv::GetModemInfo(driver);
}

void StatisticsTask(WMBusMod::WMBC_Interface &driver, Tolv::Config &)
{
    Tolv::ReadStatistics(driver);
}

struct TaskEntry
{
    int task;
    void (*routine)(WMBusMod::WMBC_Interface &, Tolv::Config &);
    bool waitsForFirstFrame;
};

constexpr TaskEntry Tasks[] = {
    {Tolv::TaskNone, NoTask, true},
    {Tolv::TaskModemInfo, ModemInfoTask, false},
    {Tolv::TaskMissingFrame, Tolv::MissingFrameTask, true},
    {Tolv::TaskInstall, Tolv::HandleInstall, true},
    {Tolv::TaskUpdate, Tolv::HandleUpdate, true},
    {Tolv::TaskStatistics, StatisticsTask, false},
    {Tolv::TaskListen, Tolv::ListenTask, false},
    {Tolv::TaskGetLogs, Tolv::GetLogsTask, true},
    {Tolv::TaskReadConfig, Tolv::ReadConfig, true},
    {Tolv::TaskWriteConfig, Tolv::WriteConfig, true},
    {Tolv::TaskCheckConfig, Tolv::CheckConfig, true},
    {Tolv::TaskSendFrame, Tolv::SendFrameTask, false},
};

const TaskEntry &FindTask(int task)
{
    for (const TaskEntry &entry : Tasks)
    {
        if (entry.task == task)
        {
            return entry;
        }
    }
    return Tasks[0];
}

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

    auto serial = std::make_unique<Serial>();
    Driver driver;
    try
    {
        Tolv::SetupModule(driver, *serial, config);

        const TaskEntry &task = FindTask(config.CurrentTask);
        if (config.WaitForInitialFrame && task.waitsForFirstFrame &&
            !Tolv::WaitInitialFrame(*driver, config, config.OptAddress, FirstFrameSeconds))
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "No initial frame received!";
            Teardown(driver, serial);
            return 1;
        }
        task.routine(*driver, config);

        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        Teardown(driver, serial);
        return 0;
    }
    catch (const std::exception &e)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Request failed: " << e.what();
        Teardown(driver, serial);
        return 1;
    }
}
