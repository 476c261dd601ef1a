#include "FakeModem.h"
#include "TestSupport.h"
#include "WMBH_AES.h"
#include "WMBH_Frame.h"

#include <gtest/gtest.h>

namespace
{

const char *const kKey = "7C41D09A2E6B35F8A1C94E07B2D6F358";
// The modem's own link address in air order (FakeModem's default).
const char *const kModemLink = "D26A785634120131";
// id 0x12345678, manufacturer 0x6AD2, version 0x01, type 0x07.
constexpr EndpointAddress kEndpoint = 0x12345678'6AD2'01'07ULL;
const AddressBytes kAddress = {0x12, 0x34, 0x56, 0x78, 0xD2, 0x6A, 0x01, 0x07};
// The data of the test frame: model "KARVO_ 1", two volumes of 0, firmware version 0x0114.
const char *const kTestFrameData = "0DFD0C0831205F4F5652414B 041300000000 84401300000000 02FD0E1401";

Bytes FrameBytes(const WMBH_Frame &frame)
{
    return Bytes(frame.Data(), frame.Data() + frame.Length());
}

// The wire frame as a receiver hands it to DecryptFrame: 0x68 in front.
Bytes AsReceived(const Bytes &wire)
{
    return Concat({0x68}, wire);
}

Bytes DecryptOrFail(const Bytes &received, const std::string &key)
{
    uint8_t out[256];
    int outLength = sizeof out;
    std::string error;
    const bool ok = DecryptFrame(key, received.data(), static_cast<int>(received.size()), out, outLength, error);
    EXPECT_TRUE(ok) << error;
    return Bytes(out, out + outLength);
}

} // namespace

TEST(WMBH_Frame, FreshFrameHoldsTheDefaults)
{
    EXPECT_EQ(FromHex("0000D26A000000000131"), FrameBytes(WMBH_Frame()));
    EXPECT_EQ(FromHex("0046D26A000000000131"), FrameBytes(WMBH_Frame(0x46)));
}

TEST(WMBH_Frame, AccessNumbersFollowEachOtherAndWrap)
{
    WMBH_Frame first(0x46);
    first.AddShortHeader(0x7A, false, 0);
    WMBH_Frame second(0x46);
    second.AddShortHeader(0x7A, false, 0);
    EXPECT_EQ(static_cast<uint8_t>(first.Data()[11] + 1), second.Data()[11]);

    while (NextAccessNumber() != 255)
    {
    }
    EXPECT_EQ(0, NextAccessNumber());
}

TEST(WMBH_Frame, TransportHeadersLayOutTheirBytes)
{
    WMBH_Frame endpoint(0x73);
    endpoint.AddTransportHeader(0xA4, kEndpoint, true);
    const uint8_t acc1 = endpoint.Data()[19];
    EXPECT_EQ(Concat(FromHex("0073D26A000000000131 A4 78563412D26A0107"), {acc1, 0x00, 0x00, 0x00, 0x2F, 0x2F}),
              FrameBytes(endpoint));

    WMBH_Frame bytes(0x06);
    bytes.AddTransportHeaderBytes(0x80, kAddress, false, 0xC4);
    const uint8_t acc2 = bytes.Data()[19];
    EXPECT_EQ(Concat(FromHex("0006D26A000000000131 80 12345678D26A0107"), {acc2, 0xC4, 0x00, 0x00}), FrameBytes(bytes));

    WMBH_Frame shortHeader(0x46);
    shortHeader.AddShortHeader(0x7A, true, 0x01);
    const uint8_t acc3 = shortHeader.Data()[11];
    EXPECT_EQ(Concat(FromHex("0046D26A000000000131 7A"), {acc3, 0x01, 0x00, 0x00, 0x2F, 0x2F}),
              FrameBytes(shortHeader));
}

TEST(WMBH_Frame, HeadersRefuseCisOutsideTheirList)
{
    struct Case
    {
        const char *what;
        void (*add)(WMBH_Frame &);
    };
    const Case cases[] = {
        {"short 0x72", [](WMBH_Frame &f) { f.AddShortHeader(0x72, true, 0); }},
        {"endpoint 0xA8", [](WMBH_Frame &f) { f.AddTransportHeader(0xA8, kEndpoint, true); }},
        {"endpoint 0x40", [](WMBH_Frame &f) { f.AddTransportHeader(0x40, kEndpoint, true); }},
        {"bytes 0x7A", [](WMBH_Frame &f) { f.AddTransportHeaderBytes(0x7A, kAddress, true, 0); }},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        WMBH_Frame frame(0x7B);
        EXPECT_EQ("CI not supported", ErrorOf([&] { c.add(frame); }));
        EXPECT_EQ(10, frame.Length());
    }
}

TEST(WMBH_Frame, AppendStopsAtTheFrameLimit)
{
    WMBH_Frame frame;
    const Bytes block(240, 0x55);
    frame.Append(block.data(), 240);
    EXPECT_EQ(250, frame.Length());
    const uint8_t one = 0x01;
    EXPECT_EQ("Frame data to large", ErrorOf([&] { frame.Append(&one, 1); }));
    EXPECT_EQ("Frame data to large", ErrorOf([&] { frame.AddFillers(); }));
    EXPECT_EQ("Frame data to large", ErrorOf([&] { frame.AddUInt32(1); }));
    EXPECT_EQ(250, frame.Length());

    // A header without room draws no access number.
    WMBH_Frame full;
    full.Append(block.data(), 230);
    const uint8_t before = NextAccessNumber();
    EXPECT_EQ("Frame data to large", ErrorOf([&] { full.AddTransportHeaderBytes(0xA0, kAddress, true, 0); }));
    EXPECT_EQ(static_cast<uint8_t>(before + 1), NextAccessNumber());
}

TEST(WMBH_Frame, MissingFrameRequestCarriesItsRecords)
{
    WMBH_Frame frame;
    frame.BuildMissingFrameRequest(kAddress, 0x17, {{4, 2}});
    const uint8_t acc = frame.Data()[19];
    EXPECT_EQ(Concat(Concat(FromHex("007BD26A000000000131 A8 12345678D26A0107"), {acc}),
                     FromHex("00 0000 2F2F 01FD0817 04FD3A04000000 01FD3A02")),
              FrameBytes(frame));

    WMBH_Frame accessOnly;
    accessOnly.BuildMissingFrameRequest(kAddress, 0x05, {});
    EXPECT_EQ(FromHex("01FD0805"), Bytes(accessOnly.Data() + 25, accessOnly.Data() + accessOnly.Length()));
}

TEST(WMBH_Frame, LongMissingFrameListsNeverLeaveTheBuffer)
{
    FakeModem modem;
    const std::vector<MissingFrameRange> twenty(20, MissingFrameRange{0x01020304, 9});
    WMBH_Frame fits;
    fits.BuildMissingFrameRequest(kAddress, 1, twenty);
    EXPECT_EQ(249, fits.Length());
    // Its padded size would pass both the buffer and the modem's limit.
    EXPECT_EQ("Frame data to large", ErrorOf([&] { fits.EncryptAndSend(&modem, kKey, true, false); }));
    EXPECT_EQ("Frame data to large", ErrorOf([&] { fits.EncryptAndSend(&modem, "", true, false); }));
    EXPECT_TRUE(modem.mailbox.empty());

    std::vector<MissingFrameRange> twentyOne = twenty;
    twentyOne.push_back({5, 1});
    WMBH_Frame tooMany;
    EXPECT_EQ("Frame data to large", ErrorOf([&] { tooMany.BuildMissingFrameRequest(kAddress, 1, twentyOne); }));
}

TEST(WMBH_Frame, EncryptFrameMatchesReferenceVector)
{
    // Laid out by hand so that the access number (0x2A) is known: a configuration read with 15 payload bytes,
    // 17 data bytes with the fillers, so 15 more fillers and two blocks.
    FakeModem modem;
    WMBH_Frame frame(0x7B);
    const Bytes plain = FromHex("A0 12345678D26A0107 2A 00 0000 2F2F 0102030405060708090A0B0C0D0E0F");
    frame.Append(plain.data(), static_cast<int>(plain.size()));
    frame.EncryptFrame(&modem, kKey);
    EXPECT_EQ(FromHex(std::string("007B") + kModemLink +
                      "A0 12345678D26A0107 2A 00 2005"
                      "8E72107FE82D12E6C93375F773A3E099 B6A691F838BF5E91D9051A5037BB4908"),
              FrameBytes(frame));
}

TEST(WMBH_Frame, EncryptedFramesDecryptBack)
{
    FakeModem modem;
    WMBH_Frame test(0x46);
    test.AddShortHeader(0x7A, true, 0);
    const Bytes data = FromHex(kTestFrameData);
    test.Append(data.data(), static_cast<int>(data.size()));

    WMBH_Frame request(0x7B);
    request.AddTransportHeaderBytes(0xA2, kAddress, true, 0);
    const Bytes payload = FromHex("0C1378563412");
    request.Append(payload.data(), static_cast<int>(payload.size()));

    struct Case
    {
        const char *what;
        const WMBH_Frame &frame;
        size_t dataStart;
        uint8_t blocks;
    };
    for (const Case &c : {Case{"test frame", test, 15, 2}, Case{"configuration write", request, 23, 1}})
    {
        SCOPED_TRACE(c.what);
        modem.direct.clear();
        c.frame.EncryptAndSend(&modem, kKey, false, false);
        ASSERT_EQ(1u, modem.direct.size());
        const Bytes &wire = modem.direct[0];
        ASSERT_EQ(0u, (wire.size() - c.dataStart) % 16);
        EXPECT_EQ(wire.size() - 1, wire[0]);
        EXPECT_EQ(FromHex(kModemLink), Bytes(wire.begin() + 2, wire.begin() + 10));
        EXPECT_EQ(c.blocks << 4, wire[c.dataStart - 2]);
        EXPECT_EQ(0x05, wire[c.dataStart - 1] & 0x0F);

        const Bytes out = DecryptOrFail(AsReceived(wire), kKey);
        const Bytes original = FrameBytes(c.frame);
        Bytes expected = Concat(AsReceived(original), Bytes(wire.size() - original.size(), 0x2F));
        std::copy(wire.begin(), wire.begin() + 10, expected.begin() + 1);
        expected[c.dataStart + 1 - 2] = wire[c.dataStart - 2];
        expected[c.dataStart + 1 - 1] = wire[c.dataStart - 1];
        EXPECT_EQ(expected, out);
    }
}

TEST(WMBH_Frame, EncryptFrameRefusesWhatItCannotEncrypt)
{
    FakeModem modem;
    WMBH_Frame headerOnly(0x7B);
    headerOnly.AddTransportHeaderBytes(0xA0, kAddress, false, 0);
    WMBH_Frame request(0x7B);
    request.AddTransportHeaderBytes(0xA0, kAddress, true, 0);
    WMBH_Frame nearlyFull(0x46);
    nearlyFull.AddShortHeader(0x7A, true, 0);
    const Bytes block(230, 0x11); // 232 data bytes would pad to 240 and carry the frame past its limit
    nearlyFull.Append(block.data(), 230);

    struct Case
    {
        const char *what;
        WMBH_Frame frame;
        std::string key;
        const char *error;
    };
    const std::string key(kKey);
    const Case cases[] = {
        {"fresh frame", WMBH_Frame(0x7B), key, "Try to encrypt empty frame"},
        {"header without data", headerOnly, key, "Try to encrypt empty frame"},
        {"key of 31 digits", request, key.substr(1), "Wrong key size"},
        {"key of 33 digits", request, key + "0", "Wrong key size"},
        {"key with a non-hex digit", request, "Z" + key.substr(1), "Wrong key format"},
        {"padding past the limit", nearlyFull, key, "Frame data to large"},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        WMBH_Frame frame = c.frame;
        EXPECT_EQ(c.error, ErrorOf([&] { frame.EncryptFrame(&modem, c.key); }));
    }
}

TEST(WMBH_Frame, EncryptAndSendLeavesTheFramePlainForARetry)
{
    FakeModem modem;
    WMBH_Frame frame(0x7B);
    frame.AddTransportHeaderBytes(0xA6, kAddress, true, 0);
    const Bytes plain = FrameBytes(frame);
    EXPECT_EQ(1, frame.EncryptAndSend(&modem, kKey, true, false));
    EXPECT_EQ(2, frame.EncryptAndSend(&modem, kKey, true, false));
    EXPECT_EQ(plain, FrameBytes(frame));
    ASSERT_EQ(2u, modem.mailbox.size());
    EXPECT_EQ(modem.mailbox[0], modem.mailbox[1]);

    // Without a key the frame goes out plain, with the modem's link address.
    frame.EncryptAndSend(&modem, "", false, false);
    Bytes expected = plain;
    expected[0] = static_cast<uint8_t>(plain.size() - 1);
    const Bytes link = FromHex(kModemLink);
    std::copy(link.begin(), link.end(), expected.begin() + 2);
    ASSERT_EQ(1u, modem.direct.size());
    EXPECT_EQ(expected, modem.direct[0]);
}

// Prepare gives the frame as EncryptAndSend puts it on the air, without a word to the modem, so
// that a frame the modem would not take is refused before anything is sent.
TEST(WMBH_Frame, PrepareIsTheWireFrameAndSendsNothing)
{
    FakeModem modem;
    WMBH_Frame frame(0x7B);
    frame.AddTransportHeaderBytes(0xA0, kAddress, true, 0);
    const Bytes plain = FrameBytes(frame);
    WMBH_Frame wire = frame.Prepare(&modem, kKey);
    EXPECT_EQ(plain, FrameBytes(frame));
    EXPECT_TRUE(modem.direct.empty());
    EXPECT_TRUE(modem.mailbox.empty());
    wire.Send(&modem, true, false);
    frame.EncryptAndSend(&modem, kKey, true, false);
    ASSERT_EQ(2u, modem.mailbox.size());
    EXPECT_EQ(modem.mailbox[0], modem.mailbox[1]);

    // 220 data bytes fit plain (a frame of 243 bytes), but not once filled up to 224 for the
    // cipher (247 bytes: one more than the modem takes).
    WMBH_Frame nearlyFull(0x7B);
    nearlyFull.AddTransportHeaderBytes(0xA0, kAddress, true, 0);
    const Bytes data(218, 0x11);
    nearlyFull.Append(data.data(), static_cast<int>(data.size()));
    EXPECT_NO_THROW(nearlyFull.Prepare(&modem, ""));
    EXPECT_EQ("Frame data to large", ErrorOf([&] { nearlyFull.Prepare(&modem, kKey); }));
    EXPECT_EQ(2u, modem.mailbox.size());
}

TEST(WMBH_Frame, SendGoesDirectOrThroughTheMailbox)
{
    struct Case
    {
        const char *what;
        bool useMailbox;
        bool checkFull;
        uint8_t freeSpace;
        int result;
        size_t direct;
        size_t mailbox;
    };
    const Case cases[] = {
        {"direct", false, false, 0, 0, 1, 0},
        {"mailbox", true, false, 0, 7, 0, 1},
        {"mailbox with room", true, true, 3, 7, 0, 1},
        {"full mailbox", true, true, 0, 0, 0, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        FakeModem modem;
        modem.nextMessageId = 7;
        modem.freeAfter = c.freeSpace;
        WMBH_Frame frame(0x46);
        frame.AddShortHeader(0x7A, false, 0);
        EXPECT_EQ(c.result, frame.Send(&modem, c.useMailbox, c.checkFull));
        EXPECT_EQ(c.direct, modem.direct.size());
        EXPECT_EQ(c.mailbox, modem.mailbox.size());
        for (const auto *sent : {&modem.direct, &modem.mailbox})
            for (const Bytes &wire : *sent)
                EXPECT_EQ(Concat({14, 0x46}, FromHex(kModemLink)), Bytes(wire.begin(), wire.begin() + 10));
    }
}

TEST(WMBH_Frame, SendRefusesFramesTheModemCannotTake)
{
    FakeModem modem;
    WMBH_Frame frame;
    const Bytes block(236, 0);
    frame.Append(block.data(), 236);
    EXPECT_NO_THROW(frame.Send(&modem, false, false));
    frame.AddByte(0);
    EXPECT_EQ("Frame data to large", ErrorOf([&] { frame.Send(&modem, true, false); }));
    EXPECT_EQ(1u, modem.direct.size());
    EXPECT_TRUE(modem.mailbox.empty());
}

TEST(WMBH_Frame, NullModemIsRefused)
{
    WMBH_Frame frame(0x7B);
    frame.AddTransportHeaderBytes(0xA0, kAddress, true, 0);
    EXPECT_EQ("Module parameter empty", ErrorOf([&] { frame.Send(nullptr, false, false); }));
    EXPECT_EQ("Module parameter empty", ErrorOf([&] { frame.EncryptAndSend(nullptr, kKey, true, false); }));
    EXPECT_EQ("Module parameter empty", ErrorOf([&] { frame.EncryptFrame(nullptr, kKey); }));
    EXPECT_EQ("Module parameter empty", ErrorOf([&] { frame.SetModuleAddress(nullptr); }));
    EXPECT_EQ("Module parameter empty", ErrorOf([&] { SendSndNke(nullptr, kEndpoint); }));
}

TEST(WMBH_Frame, SndNkeIsQueuedPlain)
{
    FakeModem modem;
    SendSndNke(&modem, kEndpoint);
    ASSERT_EQ(1u, modem.mailbox.size());
    const Bytes &wire = modem.mailbox[0];
    ASSERT_EQ(23u, wire.size());
    EXPECT_EQ(Concat(Concat(FromHex(std::string("1640") + kModemLink + "80 78563412D26A0107"), {wire[19]}),
                     FromHex("00 0000")),
              wire);
}

TEST(WMBH_Frame, ClosingFrameOfAnUpdate)
{
    const Bytes digest = FromHex("00112233445566778899AABBCCDDEEFF");
    for (bool fixDif : {true, false})
    {
        SCOPED_TRACE(fixDif);
        WMBH_Frame frame;
        frame.AddFirmwareBlock(kEndpoint, 187, digest, fixDif);
        const uint8_t acc = frame.Data()[19];
        EXPECT_EQ(
            Concat(Concat(FromHex("0073D26A000000000131 A4 78563412D26A0107"), {acc}),
                   Concat(FromHex(std::string("00 0000 2F2F ") + (fixDif ? "04" : "03") + "FF64 BB000000 0DFF61F0"),
                          digest)),
            FrameBytes(frame));
    }
}
