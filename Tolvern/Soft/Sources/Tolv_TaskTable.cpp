#include "Tolv_TaskTable.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigRequest.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_InstallTasks.h"
#include "Tolv_ModemTasks.h"
#include "Tolv_ModuleAddress.h"
#include "Tolv_Receive.h"
#include "Tolv_RequestTasks.h"
#include "Tolv_SendFrameTask.h"
#include "Tolv_UpdateTask.h"

#include <utility>

namespace Tolv
{

namespace
{

void NoTask(WMBusMod::WMBC_Interface &, Config &)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "No task selected";
}

void ModemInfoTask(WMBusMod::WMBC_Interface &driver, Config &)
{
    GetModemInfo(driver);
}

void StatisticsTask(WMBusMod::WMBC_Interface &driver, Config &)
{
    ReadStatistics(driver);
}

// A task that takes nothing from the user beyond the option values checked for every task.
template <void (*Routine)(WMBusMod::WMBC_Interface &, Config &)>
TaskRun Unchecked(WMBusMod::WMBC_Interface &, const Config &)
{
    return Routine;
}

TaskRun PrepareMissingFrame(WMBusMod::WMBC_Interface &driver, const Config &config)
{
    MissingFrameList list = CheckMissingFrameList(driver, config);
    return [list = std::move(list)](WMBusMod::WMBC_Interface &d, Config &c)
    { MissingFrameRequest(d, c, list, MissingFrameSeconds); };
}

TaskRun PrepareUpdate(WMBusMod::WMBC_Interface &, const Config &config)
{
    ReadFirmwareDigest(config.OptFile);
    return HandleUpdate;
}

TaskRun PrepareReadConfig(WMBusMod::WMBC_Interface &driver, const Config &config)
{
    const ConfigRequest request = ReadConfigRequest(config);
    RequireConfigRequestFits(driver, config, CiReadConfig, request, config.OptReadConfFile);
    return [payload = request.Payload()](WMBusMod::WMBC_Interface &d, Config &c) { ReadConfig(d, c, payload); };
}

TaskRun PrepareWriteConfig(WMBusMod::WMBC_Interface &driver, const Config &config)
{
    ConfigRequest request = WriteConfigRequest(config);
    RequireConfigRequestFits(driver, config, CiWriteConfig, request, config.OptConfFile);
    return [payload = request.Payload(), names = std::move(request.names)](WMBusMod::WMBC_Interface &d, Config &c)
    { WriteConfig(d, c, payload, names); };
}

TaskRun PrepareCheckConfig(WMBusMod::WMBC_Interface &, const Config &config)
{
    ConfigRequest request = WriteConfigRequest(config);
    return [request = std::move(request)](WMBusMod::WMBC_Interface &d, Config &c)
    { CheckConfig(d, c, request.items, request.names); };
}

constexpr TaskEntry Tasks[] = {
    // task, prepare, waits for the first frame, addresses the module, encrypts
    {TaskNone, Unchecked<NoTask>, true, true, false},
    {TaskModemInfo, Unchecked<ModemInfoTask>, false, false, false},
    {TaskMissingFrame, PrepareMissingFrame, true, true, true},
    // Installation needs no address: the scenario itself waits for the installation frames.
    {TaskInstall, Unchecked<HandleInstall>, false, true, false},
    {TaskUpdate, PrepareUpdate, true, true, true},
    {TaskStatistics, Unchecked<StatisticsTask>, false, false, false},
    {TaskListen, Unchecked<ListenTask>, false, false, false},
    {TaskGetLogs, Unchecked<GetLogsTask>, true, true, true},
    {TaskReadConfig, PrepareReadConfig, true, true, true},
    {TaskWriteConfig, PrepareWriteConfig, true, true, true},
    {TaskCheckConfig, PrepareCheckConfig, true, true, true},
    {TaskSendFrame, Unchecked<SendFrameTask>, false, true, true},
};

} // namespace

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

TaskRun PrepareTask(const TaskEntry &entry, WMBusMod::WMBC_Interface &driver, const Config &config)
{
    if (config.AddressGiven && entry.addressesModule)
    {
        ReadAddress(config.OptAddress);
    }
    TaskRun run = entry.prepare(driver, config);
    if (entry.encrypts)
    {
        RequireRequestKey(config.OptKey);
    }
    return run;
}

} // namespace Tolv
