#include "WMBH_UpdateEndpoint.h"

#include "LogStatement.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <stdexcept>

namespace
{

constexpr int kBlockSize = 93;
constexpr int64_t kTransferLimitSeconds = 7199;
constexpr unsigned kMailboxWaitSeconds = 60;
constexpr size_t kDigestSize = 16;
constexpr uint8_t kFirmwareCField = 0x73;
constexpr uint8_t kFirmwareCi = 0xA4;
constexpr uint8_t kManufacturerData = 0x0F;

int64_t SteadySeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A digest that could not be computed arrives as 16 zero bytes; the module would then
// reject the image only after the whole transfer, or worse, not at all.
bool IsDigest(const std::vector<uint8_t> &digest)
{
    return digest.size() == kDigestSize && std::any_of(digest.begin(), digest.end(), [](uint8_t b) { return b != 0; });
}

} // namespace

void UpdateEndpoint(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint, const std::string &keyText,
                    const std::string &fileName, const std::vector<uint8_t> &digest, bool fixDif)
{
    UpdateEndpoint(modem, endpoint, keyText, fileName, digest, fixDif, SteadySeconds);
}

void UpdateEndpoint(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint, const std::string &keyText,
                    const std::string &fileName, const std::vector<uint8_t> &digest, bool fixDif,
                    const UpdateClock &now)
{
    LOG_LINE(LogLevel::Normal, LogModule::WMBH) << "UpdateEndpoint from " << fileName;
    try
    {
        std::ifstream file(fileName, std::ios::binary);
        if (!file.is_open())
        {
            LOG_LINE(LogLevel::Fatal, LogModule::WMBH) << "Can't open firmware file";
            throw std::runtime_error("Can't open firmware file");
        }
        if (!modem)
            throw std::runtime_error("Module parameter empty");
        if (!IsDigest(digest))
            throw std::runtime_error("Firmware digest missing");

        uint32_t sent = 0;
        const int64_t start = now();
        auto timedOut = [&]() { return now() - start > kTransferLimitSeconds; };
        uint8_t free = modem->IsReqQueueFull();

        while (file)
        {
            if (timedOut())
                break;
            LOG_LINE(LogLevel::Normal, LogModule::WMBH) << "Sent " << sent << " bytes";
            if (free == 0)
            {
                free = modem->IsReqQueueFull();
                if (free == 0)
                {
                    modem->WaitMailboxSpace(kMailboxWaitSeconds);
                    continue;
                }
            }
            char block[kBlockSize];
            file.read(block, kBlockSize);
            const int count = static_cast<int>(file.gcount());
            if (count > 0)
            {
                WMBH_Frame frame(kFirmwareCField);
                frame.AddTransportHeader(kFirmwareCi, endpoint, true);
                frame.AddByte(kManufacturerData);
                frame.Append(reinterpret_cast<const uint8_t *>(block), count);
                sent += static_cast<uint32_t>(count);
                frame.EncryptAndSend(modem, keyText, true, false);
                --free;
            }
        }
        // A read error must not pass for the end of the image: the closing frame would announce
        // a short size that the module takes for the whole firmware.
        if (file.bad())
            throw std::runtime_error("Can't read firmware file");
        if (timedOut())
            throw std::runtime_error("Update timeout");

        // The closing frame and the SND-NKE wait for their entries like the blocks: a modem
        // that frees one entry at a time refuses a frame queued into a full mailbox.
        auto awaitEntry = [&]()
        {
            while (free == 0)
            {
                if (timedOut())
                    throw std::runtime_error("Update timeout");
                modem->WaitMailboxSpace(kMailboxWaitSeconds);
                free = modem->IsReqQueueFull();
            }
        };
        awaitEntry();
        WMBH_Frame closing;
        closing.AddFirmwareBlock(endpoint, sent, digest, fixDif);
        closing.EncryptAndSend(modem, keyText, true, false);
        --free;

        awaitEntry();
        LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Send SND-NKE to stop FAC";
        SendSndNke(modem, endpoint);
        LOG_LINE(LogLevel::Normal, LogModule::WMBH) << "Firmware with " << sent << " sent";
    }
    catch (const std::exception &e)
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH) << "Update failed " << e.what();
        throw;
    }
}
