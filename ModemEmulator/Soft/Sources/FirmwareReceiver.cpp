#include "FirmwareReceiver.h"

#include "ByteCursor.h"
#include "WMBH_HexText.h"

#include <openssl/evp.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace ModemEmu
{

namespace
{

constexpr uint8_t kBlockC = 0x73;
constexpr uint8_t kBlockCi = 0xA4;
constexpr uint8_t kResetC = 0x40;
constexpr uint8_t kResetCi = 0x80;
constexpr uint8_t kStatusC = 0x44;
constexpr uint8_t kStatusCi = 0xA5;
constexpr uint8_t kFiller = 0x2F;
constexpr uint8_t kManufacturerData = 0x0F;
constexpr size_t kBlockSize = 93;
constexpr size_t kDigestSize = 16;
// Size record: DIF, VIF 0xFF, VIFE 0x64, four bytes; digest record: DIF 0x0D, VIF 0xFF, VIFE 0x61, LVAR 0xF0.
constexpr uint8_t kVendorVif = 0xFF;
constexpr uint8_t kSizeVife = 0x64;
constexpr uint8_t kDigestDif = 0x0D;
constexpr uint8_t kDigestVife = 0x61;
constexpr uint8_t kDigestLvar = 0xF0;

std::string Hex(const std::vector<uint8_t> &bytes)
{
    return BytesToHex(bytes.data(), bytes.size());
}

std::vector<uint8_t> Md5(const std::vector<uint8_t> &bytes)
{
    struct Free
    {
        void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
    };
    std::unique_ptr<EVP_MD_CTX, Free> context(EVP_MD_CTX_new());
    std::vector<uint8_t> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
        EVP_DigestUpdate(context.get(), bytes.data(), bytes.size()) != 1 ||
        EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1)
        throw std::runtime_error("MD5 failed");
    digest.resize(size);
    return digest;
}

uint32_t ReadUInt32(const std::vector<uint8_t> &bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

bool AllFillers(const uint8_t *begin, const uint8_t *end)
{
    return std::all_of(begin, end, [](uint8_t b) { return b == kFiller; });
}

} // namespace

FirmwareReceiver::FirmwareReceiver(FirmwareReceiverConfig config) : config_(std::move(config))
{
    if (config_.statusRecords < 0 || config_.statusRecords > 2)
        throw std::invalid_argument("a status frame holds 0 to 2 records");
}

void FirmwareReceiver::OnHostFrame(const HostRadioFrame &frame, RadioWorld &world)
{
    std::optional<std::vector<uint8_t>> reply;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        reply = Take(frame.bytes);
    }
    // Outside the lock: a transmission may hand us pending mailbox frames at once.
    if (reply)
        world.Transmit(*reply, config_.signal, *config_.statusDelay);
}

std::optional<std::vector<uint8_t>> FirmwareReceiver::Take(const std::vector<uint8_t> &bytes)
{
    const std::optional<HeaderLayout> layout = RadioFrame::Layout(bytes);
    if (!layout || layout->kind != HeaderKind::Long)
    {
        Problem("frame without a long transport header: " + Hex(bytes));
        return std::nullopt;
    }
    const uint8_t c = bytes[1];
    const uint8_t ci = bytes[10];
    if (c == kResetC && ci == kResetCi)
    {
        reset_ = true;
        if (!closing_)
        {
            Problem("SND-NKE before the closing frame");
            return std::nullopt;
        }
        if (!config_.statusDelay || statusSent_)
            return std::nullopt;
        statusSent_ = true;
        const uint8_t status = config_.forcedStatus.value_or(static_cast<uint8_t>(*status_));
        std::vector<uint8_t> air = StatusFrame(status, closing_->size);
        return config_.key ? RadioFrame::EncryptMode5(air, *config_.key) : air;
    }
    if (c != kBlockC || ci != kBlockCi)
    {
        Problem("unexpected frame: " + Hex(bytes));
        return std::nullopt;
    }
    std::optional<std::vector<uint8_t>> data = PlainData(bytes, *layout);
    if (!data)
        return std::nullopt;
    if (statusSent_)
        StartOver();
    if (closing_)
        Problem("firmware frame after the closing frame: " + Hex(bytes));
    else if (!data->empty() && data->front() == kManufacturerData)
        TakeBlock(std::vector<uint8_t>(data->begin() + 1, data->end()));
    else
        TakeClosing(*data);
    return std::nullopt;
}

std::optional<std::vector<uint8_t>> FirmwareReceiver::PlainData(const std::vector<uint8_t> &bytes,
                                                                const HeaderLayout &layout)
{
    const uint8_t mode = bytes[layout.config + 1] & 0x0F;
    std::vector<uint8_t> plain = bytes;
    if (config_.key)
    {
        if (mode != 5)
        {
            Problem("firmware frame not in mode 5: " + Hex(bytes));
            return std::nullopt;
        }
        try
        {
            plain = RadioFrame::DecryptMode5(bytes, *config_.key);
        }
        catch (const std::exception &e)
        {
            Problem(std::string("firmware frame does not decrypt (") + e.what() + "): " + Hex(bytes));
            return std::nullopt;
        }
    }
    else if (mode != 0)
    {
        Problem("encrypted firmware frame to a module without a key: " + Hex(bytes));
        return std::nullopt;
    }
    ByteCursor cursor(plain.data() + layout.data, plain.size() - layout.data);
    uint8_t first = 0;
    uint8_t second = 0;
    if (!cursor.ReadByte(first) || !cursor.ReadByte(second) || first != kFiller || second != kFiller)
    {
        Problem("firmware frame data do not start with 2F 2F: " + Hex(plain));
        return std::nullopt;
    }
    return cursor.Rest();
}

void FirmwareReceiver::StartOver()
{
    blocks_.clear();
    image_.clear();
    closing_.reset();
    status_.reset();
    reset_ = false;
    statusSent_ = false;
}

void FirmwareReceiver::TakeBlock(const std::vector<uint8_t> &payload)
{
    if (payload.empty())
        Problem("firmware block without image bytes");
    blocks_.push_back(payload);
}

void FirmwareReceiver::TakeClosing(const std::vector<uint8_t> &data)
{
    ByteCursor cursor(data);
    uint8_t dif = 0;
    uint8_t vif = 0;
    uint8_t vife = 0;
    uint8_t lvar = 0;
    std::vector<uint8_t> size;
    FirmwareClosing closing{};
    if (!cursor.ReadByte(dif) || (dif != 0x04 && dif != 0x03) || !cursor.ReadByte(vif) || vif != kVendorVif ||
        !cursor.ReadByte(vife) || vife != kSizeVife || !cursor.ReadBytes(4, size))
    {
        Problem("closing frame without its size record: " + Hex(data));
        closing_ = FirmwareClosing{0, 0, {}};
        status_ = FirmwareStatus::BadTransfer;
        return;
    }
    closing.sizeDif = dif;
    closing.size = ReadUInt32(size);
    if (!cursor.ReadByte(dif) || dif != kDigestDif || !cursor.ReadByte(vif) || vif != kVendorVif ||
        !cursor.ReadByte(vife) || vife != kDigestVife || !cursor.ReadByte(lvar) || lvar != kDigestLvar ||
        !cursor.ReadBytes(kDigestSize, closing.digest))
    {
        Problem("closing frame without its digest record: " + Hex(data));
        closing_ = closing;
        status_ = FirmwareStatus::BadTransfer;
        return;
    }
    const std::vector<uint8_t> rest = cursor.Rest();
    if (!AllFillers(rest.data(), rest.data() + rest.size()))
        Problem("closing frame carries more than its two records: " + Hex(data));
    closing_ = closing;
    status_ = Check(closing);
}

FirmwareStatus FirmwareReceiver::Check(const FirmwareClosing &closing)
{
    image_.clear();
    const size_t count = blocks_.size();
    if (count == 0 && closing.size != 0)
        return FirmwareStatus::SizeMismatch;
    if (count == 0)
        return Md5(image_) == closing.digest ? FirmwareStatus::Accepted : FirmwareStatus::DigestMismatch;
    for (size_t i = 0; i + 1 < count; ++i)
    {
        if (blocks_[i].size() != kBlockSize)
        {
            Problem("firmware block " + std::to_string(i) + " holds " + std::to_string(blocks_[i].size()) +
                    " bytes, not 93");
            return FirmwareStatus::BadTransfer;
        }
    }
    // The last block may be padded to whole AES blocks, so only the announced size tells where
    // the image ends; what lies beyond it must be padding.
    const std::vector<uint8_t> &last = blocks_.back();
    const size_t full = kBlockSize * (count - 1);
    const size_t room = std::min(kBlockSize, last.size());
    if (closing.size <= full || closing.size > full + room)
        return FirmwareStatus::SizeMismatch;
    const size_t used = closing.size - full;
    if (config_.key ? !AllFillers(last.data() + used, last.data() + last.size()) : used != last.size())
    {
        Problem("last firmware block carries bytes past the announced size");
        return FirmwareStatus::BadTransfer;
    }
    for (size_t i = 0; i + 1 < count; ++i)
        image_.insert(image_.end(), blocks_[i].begin(), blocks_[i].end());
    image_.insert(image_.end(), last.begin(), last.begin() + static_cast<long>(used));
    return Md5(image_) == closing.digest ? FirmwareStatus::Accepted : FirmwareStatus::DigestMismatch;
}

std::vector<uint8_t> FirmwareReceiver::StatusFrame(uint8_t status, uint32_t size) const
{
    RadioHeader header = RadioFrame::HeaderFrom(config_.address, kStatusC, kStatusCi);
    header.access = access_;
    std::vector<uint8_t> data{kFiller, kFiller};
    if (config_.statusRecords >= 1)
        data.insert(data.end(), {0x01, 0xFD, 0x17, status}); // error flag
    if (config_.statusRecords >= 2)
        data.insert(data.end(),
                    {0x04, kVendorVif, kSizeVife, static_cast<uint8_t>(size), static_cast<uint8_t>(size >> 8),
                     static_cast<uint8_t>(size >> 16), static_cast<uint8_t>(size >> 24)});
    return RadioFrame::Build(header, data);
}

void FirmwareReceiver::Problem(std::string text)
{
    problems_.push_back(std::move(text));
}

size_t FirmwareReceiver::BlockCount() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return blocks_.size();
}

std::vector<uint8_t> FirmwareReceiver::Image() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    if (closing_)
        return image_;
    std::vector<uint8_t> image;
    for (const std::vector<uint8_t> &block : blocks_)
        image.insert(image.end(), block.begin(), block.end());
    return image;
}

std::optional<FirmwareClosing> FirmwareReceiver::Closing() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return closing_;
}

std::optional<FirmwareStatus> FirmwareReceiver::Status() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

bool FirmwareReceiver::ResetSeen() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return reset_;
}

bool FirmwareReceiver::StatusSent() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return statusSent_;
}

std::vector<std::string> FirmwareReceiver::Problems() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return problems_;
}

} // namespace ModemEmu
