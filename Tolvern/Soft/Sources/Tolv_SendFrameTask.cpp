#include "Tolv_SendFrameTask.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_Receive.h"
#include "WMBH_Frame.h"

namespace Tolv
{

namespace
{

constexpr uint8_t ControlSndIr = 0x46;
constexpr uint8_t CiShortHeader = 0x7A;

} // namespace

void SendFrameTask(WMBusMod::WMBC_Interface &driver, Config &config)
{
    RequireRequestKey(config.OptKey);
    // The test frame carries no destination; the address only has to be a valid one.
    ParseAddress(config.OptAddress);

    WMBH_Frame frame(ControlSndIr);
    frame.AddShortHeader(CiShortHeader, true, 0);
    frame.Append(TestFrameRecords, static_cast<int>(sizeof TestFrameRecords));
    const int result = frame.EncryptAndSend(&driver, config.OptKey, false, false);
    if ((result & 0xFF) != 0)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Request sent id: " << result;
    }
    ListenTask(driver, config);
}

} // namespace Tolv
