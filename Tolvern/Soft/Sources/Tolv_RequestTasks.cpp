#include "Tolv_RequestTasks.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_Receive.h"

#include <chrono>
#include <exception>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>

namespace Tolv
{

namespace
{

constexpr int SendAttempts = 5;
constexpr auto PauseBeforeAnswer = std::chrono::milliseconds(1000);

void SkipComma(std::istream &in)
{
    if (in.peek() == ',')
    {
        in.get();
    }
}

} // namespace

MissingFrameList ParseMissingFrameList(const std::string &text)
{
    MissingFrameList list;
    std::istringstream in(text);
    int acc = 0;
    if (in >> acc)
    {
        list.acc = acc;
    }
    else
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Last acc parameter not found use default";
    }
    // A failed extraction stores 0, so values are read into locals and kept only when read.
    for (;;)
    {
        SkipComma(in);
        unsigned offset = 0;
        if (!(in >> offset))
        {
            LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "offset failed";
            break;
        }
        list.offset = offset;
        SkipComma(in);
        int count = 0;
        if (!(in >> count))
        {
            LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "count failed";
            break;
        }
        list.count = count;
        SkipComma(in);
        list.ranges.push_back({list.offset, static_cast<uint8_t>(list.count)});
    }
    return list;
}

void GetLogs(WMBusMod::WMBC_Interface &driver, Config &config, int seconds)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Get logs";
    MailboxPreamble(driver);
    const AddressBytes from = SendRequest(driver, config, CiGetLogs, nullptr, 0);
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
        throw std::runtime_error("mbus_frame_data_new failed"); // the logs could not be printed
    }
    auto frame = std::make_unique<mbus_frame>();
    RequireAnswerFrame(driver, config, from, CiGetLogsAnswer, seconds, *frame, data.get());
}

void MissingFrameRequest(WMBusMod::WMBC_Interface &driver, Config &config, int seconds)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "req " << config.OptFile;
    const MissingFrameList list = ParseMissingFrameList(config.OptFile);
    LOG_LINE(LogLevel::Trace, LogModule::Tolv)
        << "Send missing frame request, acc: " << list.acc << ", offset: " << list.offset << ", count:" << list.count;
    MailboxPreamble(driver);

    const AddressBytes from = AddressBytesOf(ParseAddress(config.OptAddress));
    WMBH_Frame request;
    request.BuildMissingFrameRequest(from, static_cast<uint8_t>(list.acc), list.ranges);
    bool sent = false;
    std::string failure;
    for (int attempt = 0; attempt < SendAttempts; ++attempt)
    {
        try
        {
            const int id = request.EncryptAndSend(&driver, config.OptKey, true, false);
            if ((id & 0xFF) != 0)
            {
                LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Request sent " << id;
            }
            sent = true;
            break;
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
    std::this_thread::sleep_for(PauseBeforeAnswer);

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

void MissingFrameTask(WMBusMod::WMBC_Interface &driver, Config &config)
{
    MissingFrameRequest(driver, config, MissingFrameSeconds);
}

} // namespace Tolv
