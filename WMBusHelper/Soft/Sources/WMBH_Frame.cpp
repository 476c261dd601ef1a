#include "WMBH_Frame.h"

#include "LogStatement.h"
#include "WMBH_AES.h"
#include "WMBH_HexText.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <stdexcept>

namespace
{

constexpr uint8_t kFiller = 0x2F;

// Frame offsets: L, C, M (2), id (4), version, type, CI.
constexpr int kCField = 1;
constexpr int kLinkAddress = 2;
constexpr int kCi = 10;

struct HeaderLayout
{
    int accessNumber;
    int configWord;
    int data;
};

constexpr uint8_t kShortHeaderCi = 0x7A;
constexpr HeaderLayout kShortLayout = {11, 13, 15};
constexpr HeaderLayout kLongLayout = {19, 21, 23};

constexpr uint8_t kEndpointCis[] = {0x80, 0xA0, 0xA2, 0xA4, 0xA6};
constexpr uint8_t kAddressBytesCis[] = {0x40, 0x80, 0xA0, 0xA2, 0xA4, 0xA6, 0xA8};
constexpr uint8_t kShortHeaderCis[] = {0x40, 0x7A, 0x80, 0xA0, 0xA2, 0xA4, 0xA6, 0xA8};

template <size_t N> void RequireCi(const uint8_t (&accepted)[N], uint8_t ci)
{
    if (std::find(std::begin(accepted), std::end(accepted), ci) == std::end(accepted))
        throw std::runtime_error("CI not supported");
}

WMBusMod::WMBC_Interface &Require(WMBusMod::WMBC_Interface *modem)
{
    if (!modem)
        throw std::runtime_error("Module parameter empty");
    return *modem;
}

} // namespace

uint8_t NextAccessNumber()
{
    // Nothing in the program seeds the generator, so every run starts from the same number.
    static std::atomic<uint8_t> counter{static_cast<uint8_t>(std::rand() & 0xFF)};
    return counter.fetch_add(1);
}

WMBH_Frame::WMBH_Frame()
{
    buffer_[kLinkAddress] = 0xD2;
    buffer_[kLinkAddress + 1] = 0x6A;
    buffer_[8] = 0x01;
    buffer_[9] = 0x31;
}

WMBH_Frame::WMBH_Frame(uint8_t cField) : WMBH_Frame()
{
    buffer_[kCField] = cField;
}

void WMBH_Frame::RequireRoom(int count) const
{
    if (count > kMaxLength - length_)
        throw std::runtime_error("Frame data to large");
}

void WMBH_Frame::Append(const uint8_t *bytes, int count)
{
    if (count <= 0)
        return;
    RequireRoom(count);
    std::copy(bytes, bytes + count, buffer_.begin() + length_);
    length_ += count;
}

void WMBH_Frame::AddFillers()
{
    const uint8_t fillers[] = {kFiller, kFiller};
    Append(fillers, 2);
}

void WMBH_Frame::AddUInt32(uint32_t value)
{
    const uint8_t bytes[] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                             static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    Append(bytes, 4);
}

void WMBH_Frame::AddByte(uint8_t value)
{
    Append(&value, 1);
}

void WMBH_Frame::AddAccessNumber()
{
    AddByte(NextAccessNumber());
}

void WMBH_Frame::AddTransportHeader(uint8_t ci, EndpointAddress endpoint, bool fillers)
{
    RequireCi(kEndpointCis, ci);
    AddressBytes address{};
    for (int i = 0; i < 4; ++i)
        address[i] = static_cast<uint8_t>(endpoint >> (32 + 8 * i));
    address[4] = static_cast<uint8_t>(endpoint >> 16);
    address[5] = static_cast<uint8_t>(endpoint >> 24);
    address[6] = static_cast<uint8_t>(endpoint >> 8);
    address[7] = static_cast<uint8_t>(endpoint);
    AddTransportHeaderBytes(ci, address, fillers, 0);
}

void WMBH_Frame::AddTransportHeaderBytes(uint8_t ci, const AddressBytes &address, bool fillers, uint8_t status)
{
    RequireCi(kAddressBytesCis, ci);
    const int size = fillers ? 15 : 13;
    // Checked before the access number is drawn, so a refused header costs no number.
    RequireRoom(size);
    uint8_t header[15] = {ci};
    std::copy(address.begin(), address.end(), header + 1);
    header[9] = NextAccessNumber();
    header[10] = status;
    header[11] = 0x00;
    header[12] = 0x00;
    header[13] = kFiller;
    header[14] = kFiller;
    Append(header, size);
}

void WMBH_Frame::AddShortHeader(uint8_t ci, bool fillers, uint8_t status)
{
    RequireCi(kShortHeaderCis, ci);
    RequireRoom(fillers ? 7 : 5);
    const uint8_t header[] = {ci, NextAccessNumber(), status, 0x00, 0x00, kFiller, kFiller};
    Append(header, fillers ? 7 : 5);
}

void WMBH_Frame::SetModuleAddress(WMBusMod::WMBC_Interface *modem)
{
    const WMBusMod::ModuleAddress address = Require(modem).GetModuleAddress();
    for (int i = 0; i < 8; ++i)
        buffer_[kLinkAddress + i] = static_cast<uint8_t>(address >> (8 * i));
}

void WMBH_Frame::EncryptFrame(WMBusMod::WMBC_Interface *modem, const std::string &keyText)
{
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Encrypt with key " << keyText;
    if (length_ <= 9)
        throw std::runtime_error("Try to encrypt empty frame");
    SetModuleAddress(modem);

    const HeaderLayout &layout = buffer_[kCi] == kShortHeaderCi ? kShortLayout : kLongLayout;
    if (length_ <= layout.data)
        throw std::runtime_error("Try to encrypt empty frame");

    const int dataLength = length_ - layout.data;
    const int fillers = (static_cast<int>(kAesBlockSize) - dataLength % static_cast<int>(kAesBlockSize)) %
                        static_cast<int>(kAesBlockSize);
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Add " << fillers << " fillers";
    RequireRoom(fillers);
    std::fill_n(buffer_.begin() + length_, fillers, kFiller);
    length_ += fillers;

    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "before:" << BytesToHex(buffer_.data(), length_);
    AesBlock iv{};
    std::copy_n(buffer_.begin() + kLinkAddress, 8, iv.begin());
    std::fill(iv.begin() + 8, iv.end(), buffer_[layout.accessNumber]);
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "ivec: " << BytesToHex(iv.data(), iv.size());

    WMBH_AES aes;
    aes.SetAesKey(keyText, iv, true);
    int blocks = 0;
    for (int offset = layout.data; offset < length_; offset += static_cast<int>(kAesBlockSize), ++blocks)
        aes.AesCbcEncryptBlock(buffer_.data() + offset);

    uint8_t &first = buffer_[layout.configWord];
    uint8_t &second = buffer_[layout.configWord + 1];
    first = static_cast<uint8_t>((first & 0x0F) | (blocks << 4));
    second = static_cast<uint8_t>((second & 0xF5) | 0x05);
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "after:" << BytesToHex(buffer_.data(), length_);
}

void WMBH_Frame::RequireModemRoom() const
{
    // Refused with our own text rather than half-way through the modem exchange.
    if (length_ > kModemMaxLength)
        throw std::runtime_error("Frame data to large");
}

int WMBH_Frame::Send(WMBusMod::WMBC_Interface *modem, bool useMailbox, bool checkFull)
{
    WMBusMod::WMBC_Interface &driver = Require(modem);
    SetModuleAddress(modem);
    RequireModemRoom();
    if (!useMailbox)
    {
        buffer_[0] = static_cast<uint8_t>(length_ - 1);
        driver.SendFrame(buffer_.data(), length_);
        return 0;
    }
    if (checkFull && driver.IsMailboxFull())
        return 0;
    buffer_[0] = static_cast<uint8_t>(length_ - 1);
    return driver.SndToMailbox(buffer_.data(), length_);
}

WMBH_Frame WMBH_Frame::Prepare(WMBusMod::WMBC_Interface *modem, const std::string &keyText) const
{
    Require(modem);
    WMBH_Frame wire = *this;
    if (!keyText.empty())
        wire.EncryptFrame(modem, keyText);
    else
        wire.SetModuleAddress(modem);
    wire.RequireModemRoom();
    return wire;
}

int WMBH_Frame::EncryptAndSend(WMBusMod::WMBC_Interface *modem, const std::string &keyText, bool useMailbox,
                               bool checkFull) const
{
    return Prepare(modem, keyText).Send(modem, useMailbox, checkFull);
}

void WMBH_Frame::BuildMissingFrameRequest(const AddressBytes &address, uint8_t accessNumber,
                                          const std::vector<MissingFrameRange> &ranges)
{
    buffer_[kCField] = 0x7B;
    AddTransportHeaderBytes(0xA8, address, true, 0);
    // DIF, VIF 0xFD, VIFE: 0x08 the access number, 0x3A the offset and count of a range.
    const uint8_t accessRecord[] = {0x01, 0xFD, 0x08, accessNumber};
    Append(accessRecord, 4);
    for (const MissingFrameRange &range : ranges)
    {
        const uint8_t offsetHead[] = {0x04, 0xFD, 0x3A};
        Append(offsetHead, 3);
        AddUInt32(range.offset);
        const uint8_t countRecord[] = {0x01, 0xFD, 0x3A, range.count};
        Append(countRecord, 4);
    }
}

void WMBH_Frame::AddFirmwareBlock(EndpointAddress endpoint, uint32_t byteCount, const std::vector<uint8_t> &digest,
                                  bool fixDif)
{
    buffer_[kCField] = 0x73;
    AddTransportHeader(0xA4, endpoint, true);
    // Modules of the first version read the size record only with DIF 0x03, still with 4 bytes.
    const uint8_t sizeHead[] = {static_cast<uint8_t>(fixDif ? 0x04 : 0x03), 0xFF, 0x64};
    Append(sizeHead, 3);
    AddUInt32(byteCount);
    const uint8_t digestHead[] = {0x0D, 0xFF, 0x61, 0xF0};
    Append(digestHead, 4);
    Append(digest.data(), static_cast<int>(digest.size()));
}

void SendSndNke(WMBusMod::WMBC_Interface *modem, EndpointAddress endpoint)
{
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Send SND-NKE";
    WMBH_Frame frame(0x40);
    frame.AddTransportHeader(0x80, endpoint, false);
    frame.Send(&Require(modem), true, false);
}
