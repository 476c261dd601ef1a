#include "FrameReader.h"
#include "ModemFrame.h"

#include <gtest/gtest.h>

using namespace ModemEmu;
using Bytes = std::vector<uint8_t>;

struct WorkedFrame
{
    FrameKind kind;
    uint8_t channel;
    uint8_t bit;
    Bytes payload;
    Bytes wire;
};

TEST(ModemFrame, EncodesTheWorkedFrames)
{
    const WorkedFrame cases[] = {
        {FrameKind::Ack, 1, 1, {}, {0xFF, 0x03, 0x58, 0x85, 0x7B, 0xF5}},
        {FrameKind::Data, 0, 0, {0x02, 0x01, 0x00}, {0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5}},
        {FrameKind::Data, 0, 0, {0x06, 0x00}, {0xFF, 0x05, 0x00, 0x06, 0x00, 0xBF, 0xE5, 0xF5}},
    };
    for (const WorkedFrame &c : cases)
        EXPECT_EQ(ModemFrame(c.kind, c.channel, c.bit, c.payload).Encode(), c.wire);
}

TEST(ModemFrame, RefusesAPayloadPastOneLengthByte)
{
    EXPECT_EQ(ModemFrame(FrameKind::Data, 1, 0, Bytes(252, 0)).Encode().size(), 258u);
    EXPECT_THROW(ModemFrame(FrameKind::Data, 1, 0, Bytes(253, 0)).Encode(), std::length_error);
}

TEST(ModemFrame, DescribesCommandsWithoutReadingPastTheNameTables)
{
    EXPECT_EQ(ModemFrame(FrameKind::Data, 0, 0, {0x02, 0x01, 0x00}).Describe(),
              "[ctrl][dat read hw version][0] 02 01 00 ");
    EXPECT_EQ(ModemFrame(FrameKind::Ack, 1, 1).Describe(), "[dat][ack][1] ");
    // Command 9 and parameter 200 have no names.
    EXPECT_EQ(ModemFrame(FrameKind::Data, 0, 1, {0x09}).Describe(), "[ctrl][dat ][1] 09 ");
    EXPECT_EQ(ModemFrame(FrameKind::Data, 0, 0, {0x03, 200}).Describe(), "[ctrl][dat write ][0] 03 C8 ");
}

namespace
{

const auto t0 = Clock::time_point{} + std::chrono::hours(1);
const Bytes kRead{0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5};

std::vector<ReadEvent::Type> Types(const std::vector<ReadEvent> &events)
{
    std::vector<ReadEvent::Type> types;
    for (const ReadEvent &e : events)
        types.push_back(e.type);
    return types;
}

} // namespace

TEST(FrameReader, ReadsAFrameFedOneByteAtATime)
{
    FrameReader reader;
    std::vector<ReadEvent> events;
    for (uint8_t b : kRead)
    {
        auto more = reader.Feed(&b, 1, t0);
        events.insert(events.end(), more.begin(), more.end());
    }
    ASSERT_EQ(Types(events), std::vector<ReadEvent::Type>{ReadEvent::Frame});
    EXPECT_EQ(events[0].frame.Payload(), (Bytes{0x02, 0x01, 0x00}));
    EXPECT_EQ(events[0].raw, kRead);
    EXPECT_FALSE(reader.InFrame());
}

TEST(FrameReader, SortsOutBrokenInput)
{
    Bytes badCrc = kRead;
    badCrc[7] ^= 0x01;
    Bytes badStop = kRead;
    badStop[8] = 0x00;
    struct Case
    {
        const char *name;
        Bytes input;
        std::vector<ReadEvent::Type> expected;
    };
    const Case cases[] = {
        {"garbage then frame",
         {0x12, 0x34, 0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5},
         {ReadEvent::Garbage, ReadEvent::Frame}},
        {"bad crc", badCrc, {ReadEvent::BadCrc}},
        {"bad stop byte", badStop, {ReadEvent::BadStop}},
        // L = 2 can hold no control byte and CRC; the reader drops FF 02 and picks up the next frame.
        {"length below 3",
         {0xFF, 0x02, 0xFF, 0x06, 0x00, 0x02, 0x01, 0x00, 0xFD, 0x16, 0xF5},
         {ReadEvent::BadLength, ReadEvent::Frame}},
    };
    for (const Case &c : cases)
    {
        FrameReader reader;
        EXPECT_EQ(Types(reader.Feed(c.input.data(), c.input.size(), t0)), c.expected) << c.name;
    }
}

TEST(FrameReader, GivesUpAFrameThatStopsArriving)
{
    FrameReader reader(std::chrono::milliseconds(200));
    reader.Feed(kRead.data(), 5, t0);
    EXPECT_TRUE(reader.InFrame());
    EXPECT_TRUE(reader.Expire(t0 + std::chrono::milliseconds(199)).empty());
    auto events = reader.Expire(t0 + std::chrono::milliseconds(200));
    ASSERT_EQ(Types(events), std::vector<ReadEvent::Type>{ReadEvent::Truncated});
    EXPECT_EQ(events[0].raw, Bytes(kRead.begin(), kRead.begin() + 5));
    // The next frame is read normally.
    EXPECT_EQ(Types(reader.Feed(kRead.data(), kRead.size(), t0 + std::chrono::seconds(1))),
              std::vector<ReadEvent::Type>{ReadEvent::Frame});
}
