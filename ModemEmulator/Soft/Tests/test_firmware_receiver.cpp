// The firmware receiver on its own, fed host frames built here from the frame layout
// of a firmware update, with a recording radio world in place of the modem.
#include "FirmwareReceiver.h"
#include "HexBytes.h"
#include "RecordingWorld.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <optional>

namespace
{

using namespace ModemEmu;
using Bytes = std::vector<uint8_t>;

const AesKey Key = Aes128Cbc::ParseKey("7C41D09A2E6B35F8A1C94E07B2D6F358");
const RadioAddress Module = RadioFrame::MakeAddress(0x78563412, 0x6AD2, 0x01, 0x07);
const RadioAddress Modem = RadioFrame::MakeAddress(0x00112233, 0x6AD2, 0x01, 0x31);

Bytes Md5(const Bytes &bytes)
{
    Bytes digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_md5(), nullptr), 1);
    digest.resize(size);
    return digest;
}

Bytes Image(size_t size)
{
    Bytes image(size);
    for (size_t i = 0; i < size; ++i)
        image[i] = static_cast<uint8_t>(i * 7 + 3);
    return image;
}

// A frame from the modem to the module, encrypted when a key is given.
HostRadioFrame HostFrame(uint8_t c, uint8_t ci, Bytes data, const std::optional<AesKey> &key, uint8_t access = 1)
{
    RadioHeader header = RadioFrame::HeaderFrom(Modem, c, ci);
    header.transport = Module;
    header.access = access;
    Bytes air = RadioFrame::Build(header, data);
    if (key)
        air = RadioFrame::EncryptMode5(air, *key);
    return HostRadioFrame{Clock::time_point{}, RadioPath::Mailbox, 1, air, Module};
}

HostRadioFrame Block(const Bytes &bytes, const std::optional<AesKey> &key)
{
    Bytes data{0x2F, 0x2F, 0x0F};
    data.insert(data.end(), bytes.begin(), bytes.end());
    return HostFrame(0x73, 0xA4, data, key);
}

HostRadioFrame Closing(uint32_t size, const Bytes &digest, const std::optional<AesKey> &key, uint8_t dif = 0x04)
{
    Bytes data{0x2F, 0x2F, dif, 0xFF, 0x64};
    for (int shift = 0; shift < 32; shift += 8)
        data.push_back(static_cast<uint8_t>(size >> shift));
    data.insert(data.end(), {0x0D, 0xFF, 0x61, 0xF0});
    data.insert(data.end(), digest.begin(), digest.end());
    return HostFrame(0x73, 0xA4, data, key);
}

HostRadioFrame Reset()
{
    return HostFrame(0x40, 0x80, {}, std::nullopt);
}

// Sends the image in blocks of 93 bytes (the last block as given by lastBlock when set),
// then the closing frame and the SND-NKE.
struct Transfer
{
    Bytes image;
    uint32_t announced;
    Bytes digest;
    std::optional<Bytes> lastBlock;
};

void Send(FirmwareReceiver &receiver, RecordingWorld &world, const Transfer &transfer, const std::optional<AesKey> &key)
{
    for (size_t at = 0; at < transfer.image.size(); at += 93)
    {
        const bool last = at + 93 >= transfer.image.size();
        const Bytes block =
            last && transfer.lastBlock
                ? *transfer.lastBlock
                : Bytes(transfer.image.begin() + static_cast<long>(at),
                        transfer.image.begin() + static_cast<long>(std::min(at + 93, transfer.image.size())));
        receiver.OnHostFrame(Block(block, key), world);
    }
    receiver.OnHostFrame(Closing(transfer.announced, transfer.digest, key), world);
    receiver.OnHostFrame(Reset(), world);
}

FirmwareReceiverConfig WithKey()
{
    FirmwareReceiverConfig config;
    config.key = Key;
    return config;
}

} // namespace

TEST(FirmwareReceiver, ChecksSizeAndDigestOfTheClosingFrame)
{
    struct Case
    {
        const char *what;
        Transfer transfer;
        bool encrypted;
        FirmwareStatus status;
        bool problem;
    };
    const Bytes image187 = Image(187);
    Bytes ending2F = Image(187);
    ending2F.back() = 0x2F;
    const Case cases[] = {
        {"three blocks", {image187, 187, Md5(image187), {}}, true, FirmwareStatus::Accepted, false},
        {"last byte like a filler", {ending2F, 187, Md5(ending2F), {}}, true, FirmwareStatus::Accepted, false},
        {"whole blocks, plain", {Image(186), 186, Md5(Image(186)), {}}, false, FirmwareStatus::Accepted, false},
        {"empty image", {{}, 0, Md5({}), {}}, true, FirmwareStatus::Accepted, false},
        {"empty image announced as one byte", {{}, 1, Md5({}), {}}, true, FirmwareStatus::SizeMismatch, false},
        {"digest of other bytes", {image187, 187, Md5(Image(186)), {}}, true, FirmwareStatus::DigestMismatch, false},
        // The padding of the last block reads like image bytes: only the digest catches a size into it.
        {"size into the padding", {image187, 188, Md5(image187), {}}, true, FirmwareStatus::DigestMismatch, false},
        {"size beyond the last block", {image187, 200, Md5(image187), {}}, true, FirmwareStatus::SizeMismatch, false},
        {"plain size beyond the last block",
         {image187, 188, Md5(image187), {}},
         false,
         FirmwareStatus::SizeMismatch,
         false},
        {"size short of the last block",
         {image187, 186, Md5(Image(186)), {}},
         true,
         FirmwareStatus::SizeMismatch,
         false},
        // Two bytes in the last block while one is announced: the second is no padding.
        {"bytes past the size",
         {image187, 187, Md5(image187), Bytes{image187.back(), 0x41}},
         true,
         FirmwareStatus::BadTransfer,
         true},
        {"plain bytes past the size",
         {image187, 187, Md5(image187), Bytes{image187.back(), 0x2F}},
         false,
         FirmwareStatus::BadTransfer,
         true},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        FirmwareReceiverConfig config;
        if (c.encrypted)
            config.key = Key;
        FirmwareReceiver receiver(config);
        RecordingWorld world;
        Send(receiver, world, c.transfer, config.key);
        EXPECT_EQ(receiver.Status(), c.status);
        EXPECT_EQ(receiver.Problems().empty(), !c.problem);
        if (c.status == FirmwareStatus::Accepted)
        {
            EXPECT_EQ(receiver.Image(), c.transfer.image);
        }
        ASSERT_EQ(world.sent.size(), 1u);
        EXPECT_EQ(world.sent[0].frame.size() > 15 && (world.sent[0].frame[14] & 0x0F) == 5, c.encrypted);
    }
}

TEST(FirmwareReceiver, AnswersTheResetWithItsStatusFrame)
{
    FirmwareReceiverConfig config = WithKey();
    config.signal = 0xB2;
    config.statusDelay = std::chrono::milliseconds(250);
    FirmwareReceiver receiver(config);
    RecordingWorld world;
    const Bytes image = Image(187);
    Send(receiver, world, {image, 187, Md5(image), {}}, Key);

    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(world.sent[0].signal, 0xB2);
    EXPECT_EQ(world.sent[0].delay, std::chrono::milliseconds(250));
    // SND-NR from the module itself, CI 0xA5, the status record then the size received.
    const Bytes plain = RadioFrame::DecryptMode5(world.sent[0].frame, Key);
    EXPECT_EQ(Bytes(plain.begin() + 1, plain.begin() + 11), ParseHex("44 D2 6A 12 34 56 78 01 07 A5"));
    EXPECT_EQ(Bytes(plain.begin() + 15, plain.begin() + 28), ParseHex("2F 2F 01 FD 17 00 04 FF 64 BB 00 00 00"));

    // One answer per transfer, however often the host resets.
    receiver.OnHostFrame(Reset(), world);
    EXPECT_EQ(world.sent.size(), 1u);
}

TEST(FirmwareReceiver, StatusFrameRecordsAndForcedStatus)
{
    FirmwareReceiverConfig config;
    config.statusRecords = 1;
    RadioHeader header = RadioFrame::HeaderFrom(Module, 0x44, 0xA5);
    header.access = 0x40;
    EXPECT_EQ(FirmwareReceiver(config).StatusFrame(3, 187), RadioFrame::Build(header, ParseHex("2F 2F 01 FD 17 03")));
    config.statusRecords = 3;
    EXPECT_THROW(FirmwareReceiver{config}, std::invalid_argument);

    config = WithKey();
    config.forcedStatus = 9;
    FirmwareReceiver receiver(config);
    RecordingWorld world;
    Send(receiver, world, {Image(5), 5, Md5(Image(5)), {}}, Key);
    EXPECT_EQ(receiver.Status(), FirmwareStatus::Accepted);
    ASSERT_EQ(world.sent.size(), 1u);
    EXPECT_EQ(RadioFrame::DecryptMode5(world.sent[0].frame, Key)[20], 9);
}

TEST(FirmwareReceiver, RefusesFramesTheHostGotWrong)
{
    struct Case
    {
        const char *what;
        std::vector<HostRadioFrame> frames;
        size_t blocks;
    };
    const AesKey otherKey = Aes128Cbc::ParseKey("00112233445566778899AABBCCDDEEFF");
    const Case cases[] = {
        {"other key", {Block(Image(93), otherKey)}, 0},
        {"plain block to a keyed module", {Block(Image(93), std::nullopt)}, 0},
        {"reset before the closing frame", {Block(Image(93), Key), Reset()}, 1},
        {"block after the closing frame",
         {Block(Image(3), Key), Closing(3, Md5(Image(3)), Key), Block(Image(3), Key)},
         1},
        // 92 bytes would pad to 93 with a filler, like a whole block ending in 0x2F.
        {"short block before the last",
         {Block(Image(50), Key), Block(Image(1), Key), Closing(51, Md5(Image(51)), Key)},
         2},
        {"closing frame without the digest", {HostFrame(0x73, 0xA4, ParseHex("2F 2F 04 FF 64 00 00 00 00"), Key)}, 0},
        {"request of another kind", {HostFrame(0x7B, 0xA0, ParseHex("2F 2F"), Key)}, 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        FirmwareReceiver receiver(WithKey());
        RecordingWorld world;
        for (const HostRadioFrame &frame : c.frames)
            receiver.OnHostFrame(frame, world);
        EXPECT_FALSE(receiver.Problems().empty());
        EXPECT_EQ(receiver.BlockCount(), c.blocks);
        EXPECT_TRUE(world.sent.empty());
    }
}
