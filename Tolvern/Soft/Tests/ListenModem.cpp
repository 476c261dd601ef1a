#include "ListenModem.h"

#include "RadioFrame.h"
#include "mbus-crc16.h"

#include <chrono>

void ListenModem::SetUp()
{
    modem.Start();
}

namespace
{

bool Unmangled(const ModemEmu::RecordedFrame &frame)
{
    return frame.raw == frame.frame.Encode();
}

// FF 03, kind "ack" with the frame's channel and alternating bit, the CRC over that
// control byte (high byte first), F5.
Bytes LinkAck(uint8_t channel, uint8_t bit)
{
    const uint8_t control = static_cast<uint8_t>(0x40 | channel << 4 | bit << 3);
    const uint16_t crc = mbus_crc16(&control, 1, MBUS_CRC16_PLAIN);
    return {0xFF, 0x03, control, static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF), 0xF5};
}

} // namespace

void ListenModem::ExpectEveryFrameAcknowledged()
{
    // The one worked example pins the layout independently of the CRC helper.
    ASSERT_EQ(LinkAck(1, 1), (Bytes{0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5}));

    using ModemEmu::Direction;
    auto expectedAndSent = [this]()
    {
        std::vector<Bytes> expected;
        std::vector<Bytes> sent;
        for (const ModemEmu::RecordedFrame &frame : modem.Record().Frames())
        {
            if (frame.direction == Direction::ToHost && frame.frame.Kind() == ModemEmu::FrameKind::Data &&
                Unmangled(frame))
            {
                expected.push_back(LinkAck(frame.frame.Channel(), frame.frame.Flag()));
            }
            if (frame.direction == Direction::FromHost && frame.frame.Kind() != ModemEmu::FrameKind::Data)
            {
                sent.push_back(frame.raw);
            }
        }
        return std::make_pair(expected, sent);
    };
    modem.Record().WaitUntil(
        [&]()
        {
            const auto both = expectedAndSent();
            return both.first.size() == both.second.size();
        },
        std::chrono::seconds(3));
    const auto both = expectedAndSent();
    EXPECT_FALSE(both.first.empty());
    EXPECT_EQ(both.second, both.first);
}

Bytes MeterFrame(uint8_t c, uint8_t access, const Bytes &data, uint8_t ci, uint16_t manufacturer)
{
    ModemEmu::RadioHeader header;
    header.c = c;
    header.ci = ci;
    header.access = access;
    header.manufacturer = manufacturer;
    return ModemEmu::RadioFrame::Build(header, data);
}

Bytes MeterData()
{
    return {0x2F, 0x2F, 0x0C, 0x13, 0x78, 0x56, 0x34, 0x12, 0x04, 0x6D,
            0x32, 0x37, 0x1F, 0x15, 0x02, 0xFD, 0x17, 0x00, 0x00};
}
