#include "Tolv_InstallTasks.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_Receive.h"
#include "Tolv_StopRequest.h"
#include "WMBH_Frame.h"
#include "mbus-protocol.h"

#include <chrono>
#include <cstdlib>

namespace Tolv
{

namespace
{

constexpr uint8_t ControlSndIr = 0x46;
constexpr uint8_t ControlCnfIr = 0x06;
constexpr uint8_t ControlSndNke = 0x40;
constexpr uint8_t CiActivateTracking = 0x8B;
constexpr uint8_t CiReply = 0x80;

// The sender as the decoder read it from the link layer, in the order of a long transport header.
AddressBytes SenderOf(const mbus_frame_data &data)
{
    const mbus_data_variable_header &h = data.header;
    return {h.id_bcd[0],       h.id_bcd[1],       h.id_bcd[2], h.id_bcd[3],
            h.manufacturer[0], h.manufacturer[1], h.version,   h.medium};
}

void SendReply(WMBusMod::WMBC_Interface &driver, uint8_t control, const AddressBytes &to, uint8_t status)
{
    WMBH_Frame reply(control);
    reply.AddTransportHeaderBytes(CiReply, to, false, status);
    reply.Send(&driver, false, false);
}

void AnswerInstallationFrame(WMBusMod::WMBC_Interface &driver, const mbus_frame &frame, const mbus_frame_data &data)
{
    const AddressBytes sender = SenderOf(data);
    if (frame.control_information == CiActivateTracking)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Activate tracking received (SND-IR)";
        SendReply(driver, ControlCnfIr, sender, 0);
    }
    else
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Installation frame received (SND-IR)";
    }
    // The generator is never seeded, so every run pauses by the same sequence.
    PauseOrThrow(std::chrono::seconds(std::rand() % (InstallMaxPauseSeconds + 1)));
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Send SND-NKE";
    SendReply(driver, ControlSndNke, sender, data.rssi);
}

} // namespace

void HandleInstall(WMBusMod::WMBC_Interface &driver, Config &config)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "HandleInstall";
    const auto start = std::chrono::steady_clock::now();
    auto secondsPassed = [&start]()
    { return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count(); };
    int answered = 0;
    while (secondsPassed() < InstallSeconds && answered < InstallAnsweredFrames)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv)
            << "loop received frames " << answered << ", delay " << secondsPassed();
        mbus_frame_data_ptr data(mbus_frame_data_new());
        if (!data)
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
            continue;
        }
        mbus_frame frame{};
        if (ReceiveAndPrint(driver, config, frame, data.get(), InstallReceiveMs) && frame.control == ControlSndIr)
        {
            AnswerInstallationFrame(driver, frame, *data);
            ++answered;
        }
    }
}

} // namespace Tolv
