#include "mbus-crc16.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace
{

std::vector<unsigned char> Bytes(std::initializer_list<int> values)
{
    std::vector<unsigned char> v;
    for (int x : values)
        v.push_back(static_cast<unsigned char>(x));
    return v;
}

TEST(Crc16, CheckValueOfCatalogue)
{
    const char *text = "123456789";
    EXPECT_EQ(0xC2B7, mbus_crc16(reinterpret_cast<const unsigned char *>(text), 9, MBUS_CRC16_PLAIN));
}

TEST(Crc16, EmptyInputIsComplementOfInitialValueInEveryMode)
{
    unsigned char b = 0;
    for (int mode : {0, 1, 2, 3, 4, 99})
        EXPECT_EQ(0xFFFF, mbus_crc16(&b, 0, mode)) << "mode " << mode;
}

TEST(Crc16, ModemFramesCarryTheirCrcHighByteFirst)
{
    // Control byte and payload of the modem's worked frames, with their CRCs.
    struct Case
    {
        std::vector<unsigned char> covered;
        uint16_t crc;
    } cases[] = {
        {Bytes({0x58}), 0x857B},
        {Bytes({0x00, 0x02, 0x01, 0x00}), 0xFD16},
        {Bytes({0x00, 0x06, 0x00}), 0xBFE5},
    };
    for (const auto &c : cases)
        EXPECT_EQ(c.crc, mbus_crc16(c.covered.data(), c.covered.size(), MBUS_CRC16_PLAIN));
}

TEST(Crc16, SkipFillModeIgnoresOnlyTheTrailingRun)
{
    auto data = Bytes({0x12, 0x2F, 0x34});
    uint16_t plain = mbus_crc16(data.data(), data.size(), MBUS_CRC16_PLAIN);
    for (size_t fill : {0u, 1u, 5u, 40u})
    {
        auto padded = data;
        padded.insert(padded.end(), fill, 0x2F);
        EXPECT_EQ(plain, mbus_crc16(padded.data(), padded.size(), MBUS_CRC16_SKIP_FILL)) << fill;
    }
    // A 0x2F inside the data counts.
    auto inner = Bytes({0x12, 0x34});
    EXPECT_NE(mbus_crc16(inner.data(), inner.size(), MBUS_CRC16_PLAIN),
              mbus_crc16(data.data(), data.size(), MBUS_CRC16_SKIP_FILL));
    auto onlyFill = Bytes({0x2F, 0x2F, 0x2F});
    EXPECT_EQ(0xFFFF, mbus_crc16(onlyFill.data(), onlyFill.size(), MBUS_CRC16_SKIP_FILL));
}

TEST(Crc16, FirstMinusTwoModeChangesOnlyTheFirstByte)
{
    auto data = Bytes({0x44, 0x10, 0x20});
    auto reduced = Bytes({0x42, 0x10, 0x20});
    EXPECT_EQ(mbus_crc16(reduced.data(), 3, MBUS_CRC16_PLAIN), mbus_crc16(data.data(), 3, MBUS_CRC16_FIRST_MINUS_2));
    auto wrap = Bytes({0x01});
    auto wrapped = Bytes({0xFF});
    EXPECT_EQ(mbus_crc16(wrapped.data(), 1, MBUS_CRC16_PLAIN), mbus_crc16(wrap.data(), 1, MBUS_CRC16_FIRST_MINUS_2));
}

TEST(Crc16, AppendWritesLowByteFirstAndCheckReadsHighByteFirst)
{
    unsigned char buf[5] = {0x00, 0x02, 0x01, 0x00, 0x00};
    unsigned char frame[6];
    std::memcpy(frame, buf, 4);
    mbus_crc16_append(frame, 4);
    EXPECT_EQ(0x16, frame[4]);
    EXPECT_EQ(0xFD, frame[5]);

    // check(n) covers n - 1 bytes and finds the CRC at n - 1 (high) and n (low).
    unsigned char checked[6] = {0x00, 0x02, 0x01, 0x00, 0xFD, 0x16};
    EXPECT_EQ(1, mbus_crc16_check(checked, 5));
    checked[5] ^= 1;
    EXPECT_EQ(0, mbus_crc16_check(checked, 5));
    EXPECT_EQ(0, mbus_crc16_check(checked, 0));
}

} // namespace
