#include "Fault.h"
#include "HexBytes.h"
#include "MeterModule.h"
#include "RadioFrame.h"

#include <gtest/gtest.h>

using namespace ModemEmu;
using Bytes = std::vector<uint8_t>;

namespace
{

const AesKey kKey = Aes128Cbc::ParseKey("0102030405060708090A0B0C0D0E0F11");

RadioHeader LongHeader()
{
    RadioHeader header;
    header.c = 0x7B;
    header.ci = 0xA0;
    header.access = 0x21;
    header.transport = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);
    header.id = 0x00112233;
    header.type = 0x31;
    return header;
}

} // namespace

TEST(RadioFrame, BuildsEachHeaderKindWithItsLength)
{
    RadioHeader shortHeader;
    shortHeader.access = 0x2A;
    EXPECT_EQ(RadioFrame::Build(shortHeader, {0x2F, 0x2F}), ParseHex("10 44 D26A 12345678 01 07 7A 2A 00 0000 2F2F"));
    EXPECT_EQ(RadioFrame::Build(LongHeader(), {0x2F, 0x2F}),
              ParseHex("18 7B D26A 33221100 01 31 A0 12345678 D26A 01 07 21 00 0000 2F2F"));
    RadioHeader none;
    none.ci = 0x78;
    EXPECT_EQ(RadioFrame::Build(none, {0x01}), ParseHex("0B 44 D26A 12345678 01 07 78 01"));
    EXPECT_THROW(RadioFrame::Build(shortHeader, Bytes(RadioFrame::kMaxAirFrame - 14, 0)), std::length_error);
    EXPECT_EQ(RadioFrame::Build(shortHeader, Bytes(RadioFrame::kMaxAirFrame - 15, 0)).size(), RadioFrame::kMaxAirFrame);
}

TEST(RadioFrame, FindsDestinationAndSource)
{
    const Bytes request = RadioFrame::Build(LongHeader(), {0x2F, 0x2F});
    EXPECT_EQ(RadioFrame::Destination(request), LongHeader().transport);
    EXPECT_EQ(RadioFrame::AddressText(*RadioFrame::Destination(request)), "0x12345678d26a0107");
    EXPECT_EQ(RadioFrame::Source(request), RadioFrame::MakeAddress(0x00112233, 0x6AD2, 0x01, 0x31));

    RadioHeader shortHeader;
    EXPECT_FALSE(RadioFrame::Destination(RadioFrame::Build(shortHeader, {})));
    // A long-header CI on a frame cut before its address names nobody.
    EXPECT_FALSE(RadioFrame::Destination(Bytes(request.begin(), request.begin() + 15)));
    EXPECT_FALSE(RadioFrame::Source(Bytes(9, 0)));
    EXPECT_FALSE(RadioFrame::Layout(ParseHex("0A 44 D26A 12345678 01 07 8C")));
}

TEST(RadioFrame, EncryptsThePublishedModeFiveExample)
{
    const Bytes plain =
        ParseHex("2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F");
    const Bytes encrypted =
        ParseHex("2E4493157856341233037A2A0020055923C95AAA26D1B2E7493B013EC4A6F6D3529B520EDFF0EA6DEFC99D6D69EBF3");
    EXPECT_EQ(RadioFrame::EncryptMode5(plain, kKey), encrypted);
    // Decryption keeps the configuration word that says what was done.
    Bytes decrypted = RadioFrame::DecryptMode5(encrypted, kKey);
    EXPECT_EQ(decrypted[13], 0x20);
    EXPECT_EQ(decrypted[14], 0x05);
    decrypted[13] = decrypted[14] = 0;
    EXPECT_EQ(decrypted, plain);
}

TEST(RadioFrame, EncryptionPadsAndMarksTheBlockCount)
{
    // 17 data bytes after a long header: 15 fillers, two blocks.
    Bytes data{0x2F, 0x2F};
    data.resize(17, 0x42);
    const Bytes plain = RadioFrame::Build(LongHeader(), data);
    const Bytes encrypted = RadioFrame::EncryptMode5(plain, kKey);
    ASSERT_EQ(encrypted.size(), 23u + 32u);
    EXPECT_EQ(encrypted[0], encrypted.size() - 1);
    EXPECT_EQ(encrypted[21], 0x20);
    EXPECT_EQ(encrypted[22], 0x05);
    const Bytes decrypted = RadioFrame::DecryptMode5(encrypted, kKey);
    EXPECT_EQ(Bytes(decrypted.begin() + 23, decrypted.begin() + 40), data);
    EXPECT_EQ(decrypted.back(), 0x2F);
}

TEST(RadioFrame, RefusesFramesItCannotEncryptOrDecrypt)
{
    RadioHeader none;
    none.ci = 0x78;
    EXPECT_THROW(RadioFrame::EncryptMode5(RadioFrame::Build(none, {0x01}), kKey), std::invalid_argument);
    EXPECT_THROW(RadioFrame::EncryptMode5(RadioFrame::Build(LongHeader(), {}), kKey), std::invalid_argument);
    EXPECT_THROW(RadioFrame::EncryptMode5(RadioFrame::Build(LongHeader(), Bytes(228, 0x2F)), kKey), std::length_error);

    // Not mode 5, and more blocks announced than present.
    EXPECT_THROW(RadioFrame::DecryptMode5(RadioFrame::Build(LongHeader(), Bytes(16, 0)), kKey), std::invalid_argument);
    RadioHeader lying = LongHeader();
    lying.config = {0x30, 0x05};
    EXPECT_THROW(RadioFrame::DecryptMode5(RadioFrame::Build(lying, Bytes(32, 0)), kKey), std::invalid_argument);
}

TEST(HexAndKeys, RejectMalformedText)
{
    EXPECT_EQ(ParseHex("0a:FF-10 20"), (Bytes{0x0A, 0xFF, 0x10, 0x20}));
    EXPECT_EQ(ParseHex(""), Bytes{});
    for (const char *bad : {"0", "0G", "0 1", "12 3"})
        EXPECT_THROW(ParseHex(bad), std::invalid_argument) << bad;
    for (const char *bad :
         {"0102030405060708090A0B0C0D0E0F1", "0102030405060708090A0B0C0D0E0F1122", "01 2030405060708090A0B0C0D0E0F11"})
        EXPECT_THROW(Aes128Cbc::ParseKey(bad), std::invalid_argument) << bad;
}

TEST(FaultText, ParsesTheProgramsFaultOption)
{
    Fault late = ParseFault("late-ack@0:3:250");
    EXPECT_EQ(late.kind, FaultKind::LateAck);
    EXPECT_EQ(late.channel, 0);
    EXPECT_EQ(late.count, 3);
    EXPECT_EQ(late.delay, std::chrono::milliseconds(250));
    EXPECT_EQ(ParseFault("silent:0").count, 0);
    EXPECT_EQ(ParseFault("cut-short:1:7").keepBytes, 7u);
    EXPECT_EQ(ParseFault("garbage:2:0102").garbage, (Bytes{0x01, 0x02}));
    EXPECT_EQ(ParseFault("bad-crc").count, 1);
    for (const char *bad : {"", "bogus", "nak:x", "nak:1:5", "bad-crc@3", "late-ack:1:-5", "garbage:1:", "nak:1:2:3"})
        EXPECT_THROW(ParseFault(bad), std::invalid_argument) << bad;
}

TEST(MeterModule, RefusesFramesItCouldNotSend)
{
    MeterConfig config;
    EXPECT_THROW(MeterModule{config}, std::invalid_argument); // no frames
    config.frames = {ParseHex("0B 44 D26A 12345678 01 07 78 01")};
    config.period = std::chrono::milliseconds(0);
    EXPECT_THROW(MeterModule{config}, std::invalid_argument);
    config.period = std::chrono::milliseconds(10);
    EXPECT_NO_THROW(MeterModule{config});
    config.key = kKey; // no header to mark encryption in
    EXPECT_THROW(MeterModule{config}, std::invalid_argument);
    config.key.reset();
    config.frames = {ParseHex("0C 44 D26A 12345678 01 07 78 01")}; // L one too many
    EXPECT_THROW(MeterModule{config}, std::invalid_argument);
}
