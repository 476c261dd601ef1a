#include "Tolv_Receive.h"

#include "LogStatement.h"
#include "Tolv_Config.h"
#include "WMBH_AES.h"
#include "WMBH_HexText.h"
#include "mbus-protocol.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <stdexcept>

namespace Tolv
{

namespace
{

constexpr uint8_t StopByte = 0x16;
constexpr int ReceiveTimeoutMs = 10000;
constexpr int ListenWindowSeconds = 240;

// What the module's first frame must carry before we take its address.
constexpr uint8_t FirstFrameControl = 0x08; // RSP-UD
constexpr uint8_t FirstFrameCi = 0x7A;
constexpr uint8_t MakerManufacturerLow = 0xD2;
constexpr uint8_t MakerManufacturerHigh = 0x6A;
constexpr size_t FirstFrameTraceBytes = 20;

// Offsets in the frame record's link address: M (2), id (4), version, device type.
constexpr size_t LinkManufacturer = 0;
constexpr size_t LinkId = 2;
constexpr size_t LinkVersion = 6;
constexpr size_t LinkDeviceType = 7;

// Every document goes out as one log line, so that with --debug it carries one header.
void PrintDocument(RenderedText document)
{
    if (!document)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Xml rendering failed";
        return;
    }
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << document.get();
}

// Every document of a frame that did not decode names the reason, or the technician could not
// tell it from a frame that holds nothing.
std::string Reason(const std::string &text)
{
    return text.empty() || text == "no errors" ? "Frame not decoded" : text;
}

// A frame the decoder refused: its error document while the record holds data to show,
// otherwise the raw bytes as we handed them to the decoder. cause, when given, is the reason
// found before the decoder saw the frame, and tells more than what the decoder says of it.
void PrintParseFailure(int code, mbus_frame &frame, const uint8_t *input, int inputLength, std::ostream &direct,
                       const std::string &cause = std::string())
{
    const std::string error = mbus_error_str();
    char line[640];
    std::snprintf(line, sizeof line, "mbus_parse_wmbus() return code: %d (%s) %d\n", code, error.c_str(),
                  static_cast<int>(frame.data_size));
    direct << line << std::flush;
    const std::string reason = Reason(cause.empty() ? error : cause);
    if (frame.data_size >= 1 && frame.data_size <= MBUS_FRAME_DATA_LENGTH)
    {
        PrintDocument(RenderedText(mbus_frame_error_xml(&frame, reason.c_str())));
    }
    else
    {
        PrintDocument(RenderedText(mbus_frame_raw_error_xml(input, static_cast<size_t>(inputLength), reason.c_str())));
    }
}

// Frame data that decoded but show no record would print a document with neither records nor
// an error: the error document says what the frame held instead.
const char *NothingToShow(const mbus_frame_data &data, const char *document)
{
    if (document != nullptr && std::strstr(document, "<record ") != nullptr)
    {
        return nullptr;
    }
    switch (data.type)
    {
    case MBUS_DATA_TYPE_ERROR:
        return "Application error";
    case MBUS_DATA_TYPE_COMPACT:
        return "Compact frame without its format frame";
    default:
        return document != nullptr ? "No data records" : "Frame data not decoded";
    }
}

// The decoded frame's document, or its error document when it has nothing to show.
void PrintDecoded(mbus_frame &frame, mbus_frame_data &data)
{
    RenderedText document{mbus_frame_data_xml(&data)};
    const char *nothing = NothingToShow(data, document.get());
    if (nothing == nullptr)
    {
        PrintDocument(std::move(document));
        return;
    }
    std::string reason = nothing;
    if (data.type == MBUS_DATA_TYPE_ERROR)
    {
        reason += std::string(": ") + mbus_data_error_lookup(data.error);
    }
    PrintDocument(RenderedText(mbus_frame_error_xml(&frame, reason.c_str())));
}

std::string TwoDigits(uint8_t value)
{
    char text[3];
    std::snprintf(text, sizeof text, "%02x", value);
    return text;
}

const char *FirstFrameMismatch(const mbus_frame &frame)
{
    if (frame.control != FirstFrameControl)
    {
        return "C-field don't match";
    }
    if (frame.control_information != FirstFrameCi)
    {
        return "CI-field don't match";
    }
    if (frame.link_address[LinkManufacturer] != MakerManufacturerLow ||
        frame.link_address[LinkManufacturer + 1] != MakerManufacturerHigh)
    {
        return "Manufacturer don't match Zelvir";
    }
    return nullptr;
}

// The address text in air order: id bytes and manufacturer bytes as received, version, device type.
std::string AddressText(const mbus_frame &frame)
{
    std::string text = "0x";
    for (size_t i = 0; i < 4; ++i)
    {
        text += TwoDigits(frame.link_address[LinkId + i]);
    }
    text += TwoDigits(frame.link_address[LinkManufacturer]);
    text += TwoDigits(frame.link_address[LinkManufacturer + 1]);
    text += TwoDigits(frame.link_address[LinkVersion]);
    text += TwoDigits(frame.link_address[LinkDeviceType]);
    return text;
}

using Seconds = std::chrono::duration<double>;

double SecondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

uint8_t SignalToRssi(uint8_t signal)
{
    return static_cast<uint8_t>((0xFF - signal) * 2);
}

int BuildDecoderInput(const uint8_t *received, int length, uint8_t *output, int capacity)
{
    // At least 0x68, L, the signal byte and 0x16.
    constexpr int Shortest = 4;
    if (received == nullptr || output == nullptr || length < Shortest || capacity < length + 2)
    {
        return 0;
    }
    const int signal = length - 2;
    std::copy(received, received + signal, output);
    output[1] = static_cast<uint8_t>(received[1] + 2);
    output[signal] = SignalToRssi(received[signal]);
    output[signal + 1] = 0x00;
    output[signal + 2] = 0x00;
    output[signal + 3] = StopByte;
    return length + 2;
}

bool ReceiveAndPrint(WMBusMod::WMBC_Interface &driver, const Config &config, mbus_frame &frame, mbus_frame_data *data,
                     int timeoutMs, std::ostream &direct)
{
    // A caller that looks at the record after a failed reception must not see an earlier frame.
    frame = mbus_frame{};

    uint8_t received[ReceiveBufferSize];
    int receivedLength = ReceiveBufferSize;
    driver.ReceiveFrame(received, receivedLength, timeoutMs);
    if (receivedLength <= 0)
    {
        return false;
    }

    // Room for the two bytes the rebuild adds to the largest frame the receive buffer holds.
    constexpr int InputSize = ReceiveBufferSize + 2;
    uint8_t input[InputSize];
    const int inputLength = BuildDecoderInput(received, receivedLength, input, InputSize);
    if (inputLength == 0)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Frame too short: " << BytesToHex(received, receivedLength);
        return false;
    }

    uint8_t output[InputSize] = {};
    int outputLength = InputSize;
    std::string decryptError;
    if (!DecryptFrame(config.OptKey, input, inputLength, output, outputLength, decryptError))
    {
        direct << "Decrypt failed ... (buffer_len:" << outputLength << ")\n" << std::flush;
        const int code = mbus_parse_wmbus(&frame, output, static_cast<size_t>(outputLength));
        if (code != 0)
        {
            // With nothing handed on, the decoder can only complain of an empty buffer.
            PrintParseFailure(code, frame, input, inputLength, direct,
                              outputLength == 0 ? decryptError : std::string());
        }
        else
        {
            PrintDocument(RenderedText(mbus_frame_error_xml(&frame, Reason(decryptError).c_str())));
        }
        return false;
    }

    const int code = mbus_parse_wmbus(&frame, output, static_cast<size_t>(outputLength));
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "mbus_parse_wmbus returned: " << (code != 0 ? 1 : 0);
    if (data == nullptr)
    {
        // The caller reads the record's fields: a frame that did not parse has none worth reading.
        return code == 0;
    }
    if (code != 0)
    {
        PrintParseFailure(code, frame, input, inputLength, direct);
        return false;
    }
    if (mbus_frame_data_parse(&frame, data, nullptr) == -1)
    {
        const std::string error = mbus_error_str();
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "data parsing error: " << error;
        PrintDocument(RenderedText(mbus_frame_error_xml(&frame, Reason(error).c_str())));
        return false;
    }
    PrintDecoded(frame, *data);
    return true;
}

bool WaitFrame(WMBusMod::WMBC_Interface &driver, const Config &config, mbus_frame &frame, int seconds,
               mbus_frame_data *data)
{
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) < seconds)
    {
        if (ReceiveAndPrint(driver, config, frame, data, ReceiveTimeoutMs))
        {
            return true;
        }
    }
    return false;
}

bool WaitInitialFrame(WMBusMod::WMBC_Interface &driver, const Config &config, std::string &address, int seconds,
                      const std::optional<uint64_t> &module)
{
    const std::optional<AddressBytes> wanted =
        module ? std::optional<AddressBytes>(AddressBytesOf(*module)) : std::nullopt;
    LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Place a magnet on product";
    const auto start = std::chrono::steady_clock::now();
    while (SecondsSince(start) < seconds)
    {
        const int left = seconds - static_cast<int>(SecondsSince(start));
        mbus_frame frame{};
        if (!WaitFrame(driver, config, frame, left, nullptr))
        {
            return false;
        }
        if (const char *mismatch = FirstFrameMismatch(frame))
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << mismatch;
            continue;
        }
        // Another of the maker's modules woke first: the module the user named is the one
        // every request goes to, so the wait goes on for it.
        if (wanted && !IsSentBy(frame, *wanted))
        {
            LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Address don't match: heard " << AddressText(frame).substr(2)
                                                       << ", waiting for " << AddressDigits(*module);
            continue;
        }
        const size_t traced = std::min(frame.data_size, FirstFrameTraceBytes);
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "data " << HexDump(frame.data, traced);
        LOG_LINE(LogLevel::Normal, LogModule::Tolv) << "Frame received";
        address = AddressText(frame);
        return true;
    }
    return false;
}

void ListenTask(WMBusMod::WMBC_Interface &driver, Config &config)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "ListenTask";
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "mbus_frame_data_new failed";
        return;
    }
    // The frame-data record points into the frame record it was parsed from: one frame record
    // for the whole listen keeps it valid between two frames.
    mbus_frame frame{};
    for (;;)
    {
        WaitFrame(driver, config, frame, ListenWindowSeconds, data.get());
    }
}

} // namespace Tolv
