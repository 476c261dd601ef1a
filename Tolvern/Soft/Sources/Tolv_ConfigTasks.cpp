#include "Tolv_ConfigTasks.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "Tolv_ConfigPayload.h"
#include "Tolv_FailedRun.h"
#include "Tolv_MailboxLedger.h"
#include "Tolv_MailboxLeftovers.h"
#include "Tolv_Receive.h"
#include "Tolv_StopRequest.h"
#include "WMBH_AES.h"
#include "WMBH_HexText.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>

namespace Tolv
{

namespace
{

constexpr uint8_t ControlRspUd = 0x08;

using Seconds = std::chrono::duration<double>;

int SecondsLeft(std::chrono::steady_clock::time_point start, int seconds)
{
    const double passed = std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now() - start).count();
    return seconds - static_cast<int>(passed);
}

// The decoder keeps the data size apart from its fixed buffer; never read past either.
size_t AnswerSize(const mbus_frame &frame)
{
    return std::min(frame.data_size, sizeof frame.data);
}

bool AnswerMatches(const mbus_frame &frame, const ByteVector &expected)
{
    const size_t size = AnswerSize(frame);
    // An empty or cut echo does not show that the module took the request.
    return size >= expected.size() && std::equal(expected.begin(), expected.end(), frame.data);
}

// The request's answer did not come: what the module has not taken yet is taken back, so that
// it never acts on a request given up on (a check goes on with its next item).
void GiveUpWaiting(WMBusMod::WMBC_Interface &driver, int seconds)
{
    LogNoResponse(seconds);
    WithdrawAfterFailure(&driver, RunLedger());
}

void PrintAnswer(mbus_frame &frame)
{
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data || mbus_frame_data_parse(&frame, data.get(), nullptr) != 0)
    {
        return;
    }
    RenderedText document(mbus_frame_data_xml(data.get()));
    if (document)
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Received: " << document.get();
    }
}

} // namespace

bool IsAnswerFrom(const mbus_frame &frame, uint8_t answerCi, const AddressBytes &from)
{
    return frame.control == ControlRspUd && frame.ci == answerCi && IsSentBy(frame, from);
}

void MailboxPreamble(WMBusMod::WMBC_Interface &driver)
{
    WithdrawLeftovers(driver);
}

void RequireRequestKey(const std::string &keyText)
{
    // The frames that go out plain by design (SND-NKE, installation answers) never come here.
    if (keyText.empty())
    {
        throw std::runtime_error("AES key \"\" is empty: requests are not sent unencrypted");
    }
    // The same set-up the encryption does, so that its refusal comes before the mailbox is touched.
    WMBH_AES().SetAesKey(keyText, AesBlock{}, true);
}

PreparedRequest PrepareRequest(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci,
                               const uint8_t *payload, int count)
{
    RequireRequestKey(config.OptKey);
    return PrepareRequestTo(driver, config, AddressBytesOf(ParseAddress(config.OptAddress)), ci, payload, count);
}

void RequireRequestFits(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci, const ByteVector &payload)
{
    RequireRequestKey(config.OptKey);
    PrepareRequestTo(driver, config, AddressBytesOf(ReadAddress(config.OptAddress)), ci, payload.data(),
                     static_cast<int>(payload.size()));
}

PreparedRequest PrepareRequestTo(WMBusMod::WMBC_Interface &driver, const Config &config,
                                 const AddressBytes &destination, uint8_t ci, const uint8_t *payload, int count)
{
    WMBH_Frame frame(0x7B);
    frame.AddTransportHeaderBytes(ci, destination, true, 0);
    if (count > 0)
    {
        frame.Append(payload, count);
    }
    return {frame.Prepare(&driver, config.OptKey), destination};
}

void SendPrepared(WMBusMod::WMBC_Interface &driver, const PreparedRequest &request)
{
    WMBH_Frame frame = request.frame;
    const int id = frame.Send(&driver, true, false);
    if ((id & 0xFF) != 0)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Request sent id: " << id;
    }
}

AddressBytes SendRequest(WMBusMod::WMBC_Interface &driver, const Config &config, uint8_t ci, const uint8_t *payload,
                         int count)
{
    const PreparedRequest request = PrepareRequest(driver, config, ci, payload, count);
    SendPrepared(driver, request);
    return request.destination;
}

bool WaitAnswerFrame(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from, uint8_t answerCi,
                     int seconds, mbus_frame &frame, mbus_frame_data *data)
{
    const auto start = std::chrono::steady_clock::now();
    for (int left = seconds; left > 0; left = SecondsLeft(start, seconds))
    {
        try
        {
            frame = mbus_frame{};
            if (!WaitFrame(driver, config, frame, left, data))
            {
                return false;
            }
            if (IsAnswerFrom(frame, answerCi, from))
            {
                RunLedger().Answered();
                return true;
            }
        }
        catch (const WMBusMod::ModemDisconnected &)
        {
            throw;
        }
        catch (const RunStopped &)
        {
            throw;
        }
        catch (const std::exception &)
        {
            // A frame that cannot be examined (its decryption failed, say) is not the answer.
        }
    }
    return false;
}

void RequireAnswerFrame(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from,
                        uint8_t answerCi, int seconds, mbus_frame &frame, mbus_frame_data *data)
{
    if (!WaitAnswerFrame(driver, config, from, answerCi, seconds, frame, data))
    {
        GiveUpWaiting(driver, seconds);
        throw std::runtime_error(NoResponse);
    }
}

bool WaitConfigResponse(WMBusMod::WMBC_Interface &driver, const Config &config, const AddressBytes &from,
                        uint8_t answerCi, int seconds, const ByteVector *expected)
{
    auto frame = std::make_unique<mbus_frame>();
    if (!WaitAnswerFrame(driver, config, from, answerCi, seconds, *frame, nullptr))
    {
        GiveUpWaiting(driver, seconds);
        return false;
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Read/write config response received";
    if (expected == nullptr)
    {
        PrintAnswer(*frame);
        return true;
    }
    if (AnswerMatches(*frame, *expected))
    {
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Response ok";
        return true;
    }
    LOG_LINE(LogLevel::Error, LogModule::Tolv)
        << "Response error! resp: " << BytesToHex(frame->data, AnswerSize(*frame))
        << ", req: " << BytesToHex(expected->data(), expected->size());
    return false;
}

void LogNoResponse(int seconds)
{
    LOG_LINE(LogLevel::Error, LogModule::Tolv) << NoResponse << " within " << seconds << " s";
}

void AppendBytes(ByteVector &to, const ByteVector &from)
{
    to.insert(to.end(), from.begin(), from.end());
}

ByteVector ReadConfigPayload(const Config &config)
{
    ByteVector payload;
    if (!config.OptReadConfFile.empty())
    {
        BuildConfigPayload(config.OptReadConfFile, config.OptTemplateDir, payload, config.OptTemplateId, true);
    }
    return payload;
}

ByteVector WriteConfigPayload(const Config &config)
{
    ByteVector payload;
    BuildConfigPayload(config.OptConfFile, config.OptTemplateDir, payload, config.OptTemplateId, false);
    return payload;
}

std::vector<ByteVector> CheckConfigItems(const Config &config)
{
    std::vector<ByteVector> items;
    BuildConfigItems(config.OptConfFile, config.OptTemplateDir, items, config.OptTemplateId);
    return items;
}

void ReadConfig(WMBusMod::WMBC_Interface &driver, Config &config, const ByteVector &payload)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Read wM-Bus device configuration, file: " << config.OptReadConfFile;
    // The request is built first: one that is refused must leave the mailbox as it is.
    const PreparedRequest request =
        PrepareRequest(driver, config, CiReadConfig, payload.data(), static_cast<int>(payload.size()));
    MailboxPreamble(driver);
    SendPrepared(driver, request);
    if (!WaitConfigResponse(driver, config, request.destination, CiReadConfigAnswer, ReadWriteAnswerSeconds, nullptr))
    {
        throw std::runtime_error(NoResponse);
    }
}

void WriteConfig(WMBusMod::WMBC_Interface &driver, Config &config, const ByteVector &payload)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Write wM-Bus device configuration, file: " << config.OptConfFile;
    const PreparedRequest request =
        PrepareRequest(driver, config, CiWriteConfig, payload.data(), static_cast<int>(payload.size()));
    MailboxPreamble(driver);
    SendPrepared(driver, request);
    // Silence or an answer with other values: either way the module did not take them.
    if (!WaitConfigResponse(driver, config, request.destination, CiWriteConfigAnswer, ReadWriteAnswerSeconds, &payload))
    {
        throw std::runtime_error("Configuration not confirmed by the module");
    }
}

void CheckConfig(WMBusMod::WMBC_Interface &driver, Config &config, const std::vector<ByteVector> &items)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Check wM-Bus device configuration, file: " << config.OptConfFile;
    // The first write is built and encrypted before the mailbox is touched: a key or an address
    // that cannot make a request is refused with nothing sent.
    std::optional<PreparedRequest> firstWrite;
    if (!items.empty() && !items.front().empty())
    {
        firstWrite =
            PrepareRequest(driver, config, CiWriteConfig, items.front().data(), static_cast<int>(items.front().size()));
    }
    else
    {
        RequireRequestKey(config.OptKey);
    }
    MailboxPreamble(driver); // once for the whole task

    int count = 0;
    int errors = 0;
    for (const ByteVector &item : items)
    {
        ++count;
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Handle config item";
        // Every encoded item holds at least its DIB; should one ever be empty,
        // its write would say nothing and its read ask for the whole configuration.
        if (item.empty())
        {
            ++errors;
            continue;
        }
        ByteVector bytes;
        AppendBytes(bytes, item);
        const int size = static_cast<int>(bytes.size());
        const PreparedRequest write =
            count == 1 && firstWrite ? *firstWrite : PrepareRequest(driver, config, CiWriteConfig, bytes.data(), size);
        SendPrepared(driver, write);
        if (!WaitConfigResponse(driver, config, write.destination, CiWriteConfigAnswer, CheckAnswerSeconds, &bytes))
        {
            ++errors;
            continue;
        }
        const AddressBytes from = SendRequest(driver, config, CiReadConfig, bytes.data(), size);
        if (!WaitConfigResponse(driver, config, from, CiReadConfigAnswer, CheckAnswerSeconds, &bytes))
        {
            ++errors;
        }
    }
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Read " << count << " items, error count: " << errors;
    if (errors > 0)
    {
        throw std::runtime_error("Configuration check failed for " + std::to_string(errors) + " of " +
                                 std::to_string(count) + " items");
    }
}

} // namespace Tolv
