#include "Tolv_UpdateTask.h"

#include "Chksum.h"
#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigTasks.h"
#include "Tolv_MailboxLedger.h"
#include "Tolv_Receive.h"
#include "WMBH_UpdateEndpoint.h"
#include "mbus-protocol.h"

#include <boost/filesystem.hpp>

#include <chrono>
#include <stdexcept>
#include <string>
#include <vector>

namespace Tolv
{

namespace
{

constexpr uint8_t ControlSndNr = 0x44;
constexpr uint8_t CiUpdateStatus = 0xA5;
constexpr int StatusReceiveMs = 60000;
constexpr int StatusRecords = 2;

} // namespace

EndpointAddress EndpointAddressOf(uint64_t address)
{
    const AddressBytes b = AddressBytesOf(address);
    const uint64_t id = static_cast<uint64_t>(b[0]) | static_cast<uint64_t>(b[1]) << 8 |
                        static_cast<uint64_t>(b[2]) << 16 | static_cast<uint64_t>(b[3]) << 24;
    const uint64_t manufacturer = static_cast<uint64_t>(b[4]) | static_cast<uint64_t>(b[5]) << 8;
    return id << 32 | manufacturer << 16 | static_cast<uint64_t>(b[6]) << 8 | b[7];
}

std::vector<unsigned char> ReadFirmwareDigest(const std::string &path)
{
    boost::system::error_code error;
    const boost::filesystem::file_status status = boost::filesystem::status(path, error);
    if (error || !boost::filesystem::exists(status))
    {
        throw std::runtime_error("Update file does not exist");
    }
    if (!boost::filesystem::is_regular_file(status))
    {
        throw std::runtime_error("Update file is not a file");
    }

    // A zero digest would make the module take, or refuse only at the very end, an image whose
    // check never was one: stop before anything goes on the air.
    std::vector<unsigned char> digest;
    if (!Md5File(path, &digest))
    {
        throw std::runtime_error("Can't compute firmware digest");
    }
    // An empty image would go out as a closing frame announcing 0 bytes: no
    // update at all, which the module may still take for one. (Files of the
    // system's own that claim no size fail the digest above.)
    const boost::uintmax_t size = boost::filesystem::file_size(path, error);
    if (error)
    {
        throw std::runtime_error("Update file does not exist");
    }
    if (size == 0)
    {
        throw std::runtime_error("Update file is empty");
    }
    return digest;
}

void HandleUpdate(WMBusMod::WMBC_Interface &driver, Config &config)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "HandleUpdate with the firmware file " << config.OptFile;
    // Read again after the wait for the module: the digest must be that of the image sent.
    const std::vector<unsigned char> digest = ReadFirmwareDigest(config.OptFile);

    // The blocks go out encrypted with this key; one they cannot be must stop the update before
    // its first look at the mailbox.
    RequireRequestKey(config.OptKey);
    const uint64_t address = ParseAddress(config.OptAddress);
    // Blocks of an earlier, interrupted update must not reach the module ahead of these.
    MailboxPreamble(driver);
    UpdateEndpoint(&driver, EndpointAddressOf(address), config.OptKey, config.OptFile, digest, config.UpdateFixDif);
    WaitUpdateStatus(driver, config, AddressBytesOf(address), UpdateStatusSeconds);
}

void WaitUpdateStatus(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &module, int seconds)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Wait for update status response";
    const auto start = std::chrono::steady_clock::now();
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
        throw std::runtime_error("mbus_frame_data_new failed");
    }
    while (std::chrono::steady_clock::now() - start < std::chrono::seconds(seconds))
    {
        mbus_frame frame{};
        // Another module's status is not the answer to our update.
        if (!ReceiveAndPrint(driver, config, frame, nullptr, StatusReceiveMs) || frame.control != ControlSndNr ||
            frame.control_information != CiUpdateStatus || !IsSentBy(frame, module))
        {
            continue;
        }
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Update status received";
        RunLedger().Answered();
        if (mbus_frame_data_parse(&frame, data.get(), nullptr) == -1)
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "data parsing error: " << mbus_error_str();
            continue;
        }
        // A first record without data would report a status nobody sent.
        if (data->nrecords < StatusRecords || data->records == nullptr || data->records->data_len == 0)
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Invalid number of records";
            throw std::runtime_error("Invalid update status from module");
        }
        LOG_LINE(LogLevel::Normal, LogModule::Tolv)
            << "Update status: " << static_cast<unsigned>(data->records->data[0]);
        return;
    }
    // Without its status nobody knows whether the module took the image.
    LOG_LINE(LogLevel::Error, LogModule::Tolv) << "No update status from module within " << seconds << " s";
    throw std::runtime_error("No update status from module");
}

} // namespace Tolv
