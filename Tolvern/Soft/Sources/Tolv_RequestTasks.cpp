#include "Tolv_RequestTasks.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_Receive.h"
#include "Tolv_StopRequest.h"

#include <chrono>
#include <exception>
#include <stdexcept>
#include <string>

namespace Tolv
{

namespace
{

constexpr int SendAttempts = 5;
constexpr auto PauseBeforeAnswer = std::chrono::milliseconds(1000);
const std::string FrameTooLarge = "Frame data to large";

// The request as it goes on the air. A list that does not fit in one frame, plain or once
// encrypted, is the list's fault, and is told so with the list.
WMBH_Frame PrepareMissingFrameRequest(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &to,
                                      const MissingFrameList &list)
{
    try
    {
        WMBH_Frame request;
        request.BuildMissingFrameRequest(to, static_cast<uint8_t>(list.acc), list.ranges);
        return request.Prepare(&driver, config.OptKey);
    }
    catch (const std::runtime_error &e)
    {
        if (e.what() != FrameTooLarge)
        {
            throw;
        }
        throw std::runtime_error(MissingFrameListTooLong(config.OptFile, list.ranges.size()));
    }
}

} // namespace

void GetLogs(WMBusMod::WMBC_Interface &driver, Config &config, int seconds)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Get logs";
    const PreparedRequest request = PrepareRequest(driver, config, CiGetLogs, nullptr, 0);
    MailboxPreamble(driver);
    SendPrepared(driver, request);
    const AddressBytes &from = request.destination;
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
        throw std::runtime_error("mbus_frame_data_new failed"); // the logs could not be printed
    }
    auto frame = std::make_unique<mbus_frame>();
    RequireAnswerFrame(driver, config, from, CiGetLogsAnswer, seconds, *frame, data.get());
}

MissingFrameList CheckMissingFrameList(WMBusMod::WMBC_Interface &driver, const Config &config)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "req " << config.OptFile;
    const MissingFrameList list = ParseMissingFrameList(config.OptFile);
    // Whether the request fits in one frame once encrypted does not depend on the module it goes
    // to, so a list too long is refused before anyone is asked to wake one.
    RequireRequestKey(config.OptKey);
    PrepareMissingFrameRequest(driver, config, AddressBytesOf(ReadAddress(config.OptAddress)), list);
    return list;
}

void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, int seconds)
{
    MissingFrameRequest(driver, config, CheckMissingFrameList(driver, config), seconds);
}

void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, const MissingFrameList &list, int seconds)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv)
        << "Send missing frame request, acc: " << list.acc << ", offset: " << list.offset << ", count:" << list.count;
    // Everything that could refuse the request is settled before the mailbox is touched.
    RequireRequestKey(config.OptKey);
    const AddressBytes from = AddressBytesOf(ParseAddress(config.OptAddress));
    const WMBH_Frame request = PrepareMissingFrameRequest(driver, config, from, list);
    MailboxPreamble(driver);

    bool sent = false;
    std::string failure;
    for (int attempt = 0; attempt < SendAttempts; ++attempt)
    {
        try
        {
            WMBH_Frame wire = request;
            const int id = wire.Send(&driver, true, false);
            if ((id & 0xFF) != 0)
            {
                LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Request sent " << id;
            }
            sent = true;
            break;
        }
        catch (const RunStopped &)
        {
            throw;
        }
        catch (const std::exception &e)
        {
            failure = e.what();
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Failed to send request: " << failure;
        }
    }
    // Nothing went out, so no answer can come: waiting for one would only hide why.
    if (!sent)
    {
        throw std::runtime_error(failure);
    }
    PauseOrThrow(PauseBeforeAnswer);

    // Without a frame-data record the frames are still awaited, only not decoded.
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
    }
    auto frame = std::make_unique<mbus_frame>();
    RequireAnswerFrame(driver, config, from, CiMissingFrameAnswer, seconds, *frame, data.get());
}

void GetLogsTask(WMBusMod::WMBC_Interface &driver, Config &config)
{
    GetLogs(driver, config, GetLogsSeconds);
}

} // namespace Tolv
