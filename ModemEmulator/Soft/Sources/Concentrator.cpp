#include "Concentrator.h"

#include "WMBH_HexText.h"

#include <algorithm>

namespace ModemEmu
{

namespace
{

constexpr uint8_t kTestC = 0x46;
constexpr uint8_t kTestCi = 0x7A;
constexpr uint8_t kAnswerC = 0x40;
constexpr uint8_t kAnswerCi = 0x80;
constexpr uint8_t kFiller = 0x2F;

std::string Hex(const std::vector<uint8_t> &bytes)
{
    return BytesToHex(bytes.data(), bytes.size());
}

} // namespace

const std::vector<uint8_t> &Concentrator::TestFrameRecords()
{
    // Model text "KARVO_ 1" (stored last character first), two volumes of 0 (the second for
    // subunit 1), firmware version 0x0114.
    static const std::vector<uint8_t> records{0x0D, 0xFD, 0x0C, 0x08, 0x31, 0x20, 0x5F, 0x4F, 0x56, 0x52,
                                              0x41, 0x4B, 0x04, 0x13, 0x00, 0x00, 0x00, 0x00, 0x84, 0x40,
                                              0x13, 0x00, 0x00, 0x00, 0x00, 0x02, 0xFD, 0x0E, 0x14, 0x01};
    return records;
}

void Concentrator::OnHostFrame(const HostRadioFrame &frame, RadioWorld &world)
{
    std::optional<std::vector<uint8_t>> reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = Take(frame.bytes);
    }
    // Outside the lock: a transmission may hand us pending mailbox frames at once.
    if (reply)
        world.Transmit(*reply, config_.signal, config_.delay);
}

std::optional<std::vector<uint8_t>> Concentrator::Take(const std::vector<uint8_t> &bytes)
{
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(bytes);
    if (!layout || bytes[1] != kTestC || bytes[10] != kTestCi)
        return std::nullopt; // not a test frame: a concentrator only listens for those
    std::vector<uint8_t> plain;
    try
    {
        plain = RadioFrame::DecryptMode5(bytes, config_.key);
    }
    catch (const std::exception &e)
    {
        problems_.push_back(std::string("test frame does not decrypt (") + e.what() + "): " + Hex(bytes));
        return std::nullopt;
    }
    const std::vector<uint8_t> data(plain.begin() + static_cast<long>(layout->data), plain.end());
    if (data.size() < 2 || data[0] != kFiller || data[1] != kFiller)
    {
        problems_.push_back("test frame does not start with 2F 2F (wrong key?): " + Hex(plain));
        return std::nullopt;
    }
    const std::vector<uint8_t> payload(data.begin() + 2, data.end());
    testFrames_.push_back(payload);
    const std::vector<uint8_t> &records = TestFrameRecords();
    const bool recordsMatch = payload.size() >= records.size() &&
                              std::equal(records.begin(), records.end(), payload.begin()) &&
                              std::all_of(payload.begin() + static_cast<long>(records.size()), payload.end(),
                                          [](uint8_t b) { return b == kFiller; });
    if (!recordsMatch)
    {
        problems_.push_back("test frame records differ: " + Hex(payload));
        return std::nullopt;
    }
    ++answers_;
    return Answer(bytes);
}

std::vector<uint8_t> Concentrator::Answer(const std::vector<uint8_t> &testFrame) const
{
    RadioHeader header = RadioFrame::HeaderFrom(config_.address, kAnswerC, kAnswerCi);
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(testFrame);
    header.access = layout && layout->access != 0 ? testFrame[layout->access] : 0;
    header.status = config_.uplinkRssi;
    header.transport = RadioFrame::Source(testFrame);
    const uint32_t uid = config_.uid;
    const std::vector<uint8_t> data{0x04,
                                    0xFD,
                                    0x73,
                                    static_cast<uint8_t>(uid),
                                    static_cast<uint8_t>(uid >> 8),
                                    static_cast<uint8_t>(uid >> 16),
                                    static_cast<uint8_t>(uid >> 24)};
    return RadioFrame::Build(header, data);
}

std::vector<std::vector<uint8_t>> Concentrator::TestFrames() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return testFrames_;
}

size_t Concentrator::AnswerCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
}

std::vector<std::string> Concentrator::Problems() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

} // namespace ModemEmu
