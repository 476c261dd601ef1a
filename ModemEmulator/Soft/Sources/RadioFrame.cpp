#include "RadioFrame.h"

#include <stdexcept>

namespace ModemEmu
{

namespace
{

struct CiClass
{
    uint8_t ci;
    HeaderKind kind;
};

// The CI classes the host's decoder accepts, plus the long-header request CIs of our modules.
constexpr CiClass kCiClasses[] = {
    {0x51, HeaderKind::None},  {0x69, HeaderKind::None},  {0x70, HeaderKind::None},  {0x71, HeaderKind::None},
    {0x78, HeaderKind::None},  {0x79, HeaderKind::None},  {0x5A, HeaderKind::Short}, {0x6A, HeaderKind::Short},
    {0x6E, HeaderKind::Short}, {0x74, HeaderKind::Short}, {0x7A, HeaderKind::Short}, {0x7B, HeaderKind::Short},
    {0x8A, HeaderKind::Short}, {0xA1, HeaderKind::Short}, {0xA3, HeaderKind::Short}, {0xA5, HeaderKind::Short},
    {0xA7, HeaderKind::Short}, {0xA9, HeaderKind::Short}, {0xAA, HeaderKind::Short}, {0x5B, HeaderKind::Long},
    {0x6B, HeaderKind::Long},  {0x6F, HeaderKind::Long},  {0x72, HeaderKind::Long},  {0x73, HeaderKind::Long},
    {0x75, HeaderKind::Long},  {0x80, HeaderKind::Long},  {0x8B, HeaderKind::Long},  {0xA0, HeaderKind::Long},
    {0xA2, HeaderKind::Long},  {0xA4, HeaderKind::Long},  {0xA6, HeaderKind::Long},  {0xA8, HeaderKind::Long},
};

constexpr size_t kCiOffset = 10;

} // namespace

HeaderKind RadioFrame::HeaderKindOf(uint8_t ci)
{
    for (const CiClass &entry : kCiClasses)
    {
        if (entry.ci == ci)
            return entry.kind;
    }
    return HeaderKind::Unknown;
}

std::optional<HeaderLayout> RadioFrame::Layout(const std::vector<uint8_t> &frame)
{
    if (frame.size() <= kCiOffset)
        return std::nullopt;
    HeaderLayout layout{HeaderKindOf(frame[kCiOffset]), 0, 0, 0};
    switch (layout.kind)
    {
    case HeaderKind::None:
        layout.data = 11;
        break;
    case HeaderKind::Short:
        layout = {HeaderKind::Short, 11, 13, 15};
        break;
    case HeaderKind::Long:
        layout = {HeaderKind::Long, 19, 21, 23};
        break;
    case HeaderKind::Unknown:
        return std::nullopt;
    }
    if (frame.size() < layout.data)
        return std::nullopt;
    return layout;
}

std::optional<RadioAddress> RadioFrame::Destination(const std::vector<uint8_t> &frame)
{
    std::optional<HeaderLayout> layout = Layout(frame);
    if (!layout || layout->kind != HeaderKind::Long)
        return std::nullopt;
    RadioAddress address{};
    std::copy(frame.begin() + 11, frame.begin() + 19, address.begin());
    return address;
}

std::optional<RadioAddress> RadioFrame::Source(const std::vector<uint8_t> &frame)
{
    if (frame.size() < 10)
        return std::nullopt;
    return RadioAddress{frame[4], frame[5], frame[6], frame[7], frame[2], frame[3], frame[8], frame[9]};
}

RadioAddress RadioFrame::MakeAddress(uint32_t id, uint16_t manufacturer, uint8_t version, uint8_t type)
{
    return RadioAddress{static_cast<uint8_t>(id),
                        static_cast<uint8_t>(id >> 8),
                        static_cast<uint8_t>(id >> 16),
                        static_cast<uint8_t>(id >> 24),
                        static_cast<uint8_t>(manufacturer),
                        static_cast<uint8_t>(manufacturer >> 8),
                        version,
                        type};
}

RadioHeader RadioFrame::HeaderFrom(const RadioAddress &address, uint8_t c, uint8_t ci)
{
    RadioHeader header;
    header.c = c;
    header.manufacturer = static_cast<uint16_t>(address[4] | address[5] << 8);
    header.id = static_cast<uint32_t>(address[0]) | static_cast<uint32_t>(address[1]) << 8 |
                static_cast<uint32_t>(address[2]) << 16 | static_cast<uint32_t>(address[3]) << 24;
    header.version = address[6];
    header.type = address[7];
    header.ci = ci;
    return header;
}

std::string RadioFrame::AddressText(const RadioAddress &address)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text = "0x";
    for (uint8_t b : address)
    {
        text.push_back(kDigits[b >> 4]);
        text.push_back(kDigits[b & 0x0F]);
    }
    return text;
}

std::vector<uint8_t> RadioFrame::Build(const RadioHeader &header, const std::vector<uint8_t> &data)
{
    const RadioAddress link = MakeAddress(header.id, header.manufacturer, header.version, header.type);
    std::vector<uint8_t> frame;
    frame.reserve(23 + data.size());
    frame = {0, header.c, link[4], link[5], link[0], link[1], link[2], link[3], link[6], link[7], header.ci};
    const HeaderKind kind = HeaderKindOf(header.ci);
    if (kind == HeaderKind::Long)
    {
        const RadioAddress transport = header.transport.value_or(link);
        frame.insert(frame.end(), transport.begin(), transport.end());
    }
    if (kind == HeaderKind::Long || kind == HeaderKind::Short)
    {
        frame.push_back(header.access);
        frame.push_back(header.status);
        frame.push_back(header.config[0]);
        frame.push_back(header.config[1]);
    }
    frame.insert(frame.end(), data.begin(), data.end());
    if (frame.size() > kMaxAirFrame)
        throw std::length_error("radio frame longer than the modem can carry");
    frame[0] = static_cast<uint8_t>(frame.size() - 1);
    return frame;
}

AesIv RadioFrame::Mode5Iv(const std::vector<uint8_t> &frame, const HeaderLayout &layout)
{
    AesIv iv{};
    std::copy(frame.begin() + 2, frame.begin() + 10, iv.begin());
    std::fill(iv.begin() + 8, iv.end(), frame[layout.access]);
    return iv;
}

std::vector<uint8_t> RadioFrame::EncryptMode5(const std::vector<uint8_t> &frame, const AesKey &key)
{
    std::optional<HeaderLayout> layout = Layout(frame);
    if (!layout || layout->config == 0)
        throw std::invalid_argument("frame has no transport header to mark encryption in");
    if (frame.size() <= layout->data)
        throw std::invalid_argument("frame has no data to encrypt");
    std::vector<uint8_t> plain(frame.begin() + static_cast<long>(layout->data), frame.end());
    while (plain.size() % 16 != 0)
        plain.push_back(0x2F);
    const size_t blocks = plain.size() / 16;
    if (blocks > 15 || layout->data + plain.size() > kMaxAirFrame)
        throw std::length_error("encrypted frame would be too long");

    std::vector<uint8_t> out(frame.begin(), frame.begin() + static_cast<long>(layout->data));
    std::vector<uint8_t> cipher = Aes128Cbc::Encrypt(key, Mode5Iv(frame, *layout), plain);
    out.insert(out.end(), cipher.begin(), cipher.end());
    out[layout->config] = static_cast<uint8_t>((out[layout->config] & 0x0F) | blocks << 4);
    out[layout->config + 1] = static_cast<uint8_t>((out[layout->config + 1] & 0xE0) | 0x05);
    out[0] = static_cast<uint8_t>(out.size() - 1);
    return out;
}

std::vector<uint8_t> RadioFrame::DecryptMode5(const std::vector<uint8_t> &frame, const AesKey &key)
{
    std::optional<HeaderLayout> layout = Layout(frame);
    if (!layout || layout->config == 0 || (frame[layout->config + 1] & 0x1F) != 0x05)
        throw std::invalid_argument("not a mode-5 frame");
    const size_t blocks = frame[layout->config] >> 4;
    if (frame.size() < layout->data + blocks * 16)
        throw std::invalid_argument("frame holds fewer blocks than announced");
    const auto begin = frame.begin() + static_cast<long>(layout->data);
    const auto end = begin + static_cast<long>(blocks * 16);
    std::vector<uint8_t> plain = Aes128Cbc::Decrypt(key, Mode5Iv(frame, *layout), std::vector<uint8_t>(begin, end));
    std::vector<uint8_t> out(frame.begin(), begin);
    out.insert(out.end(), plain.begin(), plain.end());
    out.insert(out.end(), end, frame.end());
    return out;
}

} // namespace ModemEmu
