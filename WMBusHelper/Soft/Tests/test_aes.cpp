#include "FakeModem.h"
#include "TestSupport.h"
#include "WMBH_AES.h"

#include <gtest/gtest.h>

#include <memory>

namespace
{

// Published example telegrams as they go on the air (L first), with their keys.
const char *const kV2 =
    "2E44931578563412330333637A2A0020255923C95AAA26D1B2E7493BC2AD013EC4A6F6D3529B520EDFF0EA6DEFC955B29D6D69EB"
    "F3EC8A";
const char *const kV3 =
    "2E4493157856341233037A2A0020055923C95AAA26D1B2E7493B013EC4A6F6D3529B520EDFF0EA6DEFC99D6D69EBF3";
const char *const kV3Plain =
    "2E4493157856341233037A2A0000002F2F0C1427048502046D32371F1502FD1700002F2F2F2F2F2F2F2F2F2F2F2F2F";
const char *const kV3Key = "0102030405060708090A0B0C0D0E0F11";
const char *const kV4 =
    "304493444433221155378C00757288776655934455080004100500DFE2A782146D1513581CD2F83F39040CFD1078563412";
const char *const kV7 =
    "3944FA122162092002067A3600202567C94D48D00DC47B11213E23383DB51968A705AAFA60C60E263D50CD259D7C9A03FD0C08"
    "000002FD0B0011";
const char *const kV8 =
    "5E44B40958956923101B7A7F085005816AFB5F6F40EC742610B93C109973EDD8C098F505D5DFCFD53DFD72708178E4B81436CB"
    "753C6DFF5094C48C26607C66419628D424CE41F38F9BD927757D82FA43396AA59A77C694ACADAB776460D472";
const char *const kV9 =
    "6044B8059430040001037A1D005085E2B670BCF1A5C87E0C1A51DA18924EF984613DA2A9CD39D8F4C7208326C76D42DBEADF80"
    "D574192B71BD7C4F56A7F1513151768A9DB804883B28CB085CA2D0F7438C361CB9E2734712ED9BFBB2A14EF55208";
const char *const kV13 = "2C44A7320613996707047A2A1000202F2F0C06000000000C14000000000C22381701000B5A1702000B5E1702006E";
const char *const kV14 = "24442D2C692845631B168D3050209CD621B006B1140AEF4953AE5B86FAFC0B00E70705B84689";

Bytes WithByte(Bytes frame, size_t offset, uint8_t value)
{
    frame[offset] = value;
    return frame;
}

Bytes Prefix(const Bytes &frame, size_t count)
{
    return Bytes(frame.begin(), frame.begin() + count);
}

// 0x68 before the radio frame, as the reception hands it over.
Bytes Received(const char *hex)
{
    return Concat({0x68}, FromHex(hex));
}

struct Decrypted
{
    bool ok;
    Bytes out;
    int outLength;
    std::string error;
};

// Input and output in buffers of exactly their size, so that the sanitizer sees any stray access.
Decrypted Decrypt(const Bytes &frame, const std::string &key, int capacity = 256)
{
    std::unique_ptr<uint8_t[]> in(new uint8_t[frame.size() + 1]);
    std::copy(frame.begin(), frame.end(), in.get());
    std::unique_ptr<uint8_t[]> out(new uint8_t[capacity]);
    int outLength = capacity;
    std::string error;
    const bool ok = DecryptFrame(key, frame.empty() ? nullptr : in.get(), static_cast<int>(frame.size()), out.get(),
                                 outLength, error);
    return {ok, Bytes(out.get(), out.get() + std::max(outLength, 0)), outLength, error};
}

struct GoodTelegram
{
    const char *name;
    const char *hex;
    const char *key;
    size_t dataStart;      // offset of the first encrypted byte in the received frame
    const char *plainHead; // the first decrypted bytes as their publishers decoded them
    size_t plainTail;      // bytes after the encrypted blocks that are plain already
};

const GoodTelegram kGoodTelegrams[] = {
    {"V3", kV3, kV3Key, 16, "2F2F0C1427048502046D32371F1502FD", 0},
    // Extended link layer (CI 8C) before a long header: the meter's transport address forms the vector.
    {"V4", kV4, "000102030405060708090A0B0C0D0E0F", 27, "2F2F0B6E341200426CFE044B6E563402", 7},
    {"V7", kV7, "BEDB81B52C29B5C143388CBB0D15A051", 16, "2F2F046D282A9E2704136A00000002FD", 11},
    {"V8", kV8, "6C649F296476D737CACB75A2D639CE14", 16, "2F2F02652B0842652F088201659E0722", 0},
    {"V9", kV9, "00000000000000000000000000000000", 16, "2F2F0C7896221603046D122DAF290C94", 2},
};

} // namespace

TEST(DecryptFrame, PublishedTelegramsDecrypt)
{
    for (const GoodTelegram &t : kGoodTelegrams)
    {
        SCOPED_TRACE(t.name);
        const Bytes frame = Received(t.hex);
        const Decrypted d = Decrypt(frame, t.key);
        ASSERT_TRUE(d.ok) << d.error;
        ASSERT_EQ(frame.size(), d.out.size());
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + t.dataStart), Bytes(d.out.begin(), d.out.begin() + t.dataStart));
        const Bytes head = FromHex(t.plainHead);
        EXPECT_EQ(head, Bytes(d.out.begin() + t.dataStart, d.out.begin() + t.dataStart + head.size()));
        EXPECT_EQ(Bytes(frame.end() - t.plainTail, frame.end()), Bytes(d.out.end() - t.plainTail, d.out.end()));
        EXPECT_EQ("", d.error);
    }
}

TEST(DecryptFrame, ModeFiveFrameDecryptsToItsPlainTwin)
{
    const Bytes plain = Received(kV3Plain);
    testing::internal::CaptureStdout();
    const Decrypted d = Decrypt(Received(kV3), kV3Key);
    EXPECT_EQ("AES with iv\n", testing::internal::GetCapturedStdout());
    ASSERT_TRUE(d.ok);
    // Only the configuration word still tells that the frame came encrypted.
    Bytes expected = plain;
    expected[14] = 0x20;
    expected[15] = 0x05;
    EXPECT_EQ(expected, d.out);

    // Bits 13-15 of the word (0x20 in its second byte) are no part of the mode.
    const Decrypted flagged = Decrypt(WithByte(Received(kV3), 15, 0x25), kV3Key);
    EXPECT_TRUE(flagged.ok) << flagged.error;
}

TEST(DecryptFrame, WrongKeyIsReportedAsSuch)
{
    const Decrypted d = Decrypt(Received(kV3), "0102030405060708090A0B0C0D0E0F12");
    EXPECT_FALSE(d.ok);
    EXPECT_EQ("Decryption failed: check the AES key", d.error);
    EXPECT_EQ(48, d.outLength);
}

TEST(DecryptFrame, UnencryptedFramesPassUnchanged)
{
    // V13 carries mode 0 and one stray byte past its L; the CIs without header (0x70, 0x71, and 0x78
    // and 0x79 of meters that send no transport header at all) have nothing to decrypt.
    Bytes noHeader = Received(kV13);
    noHeader[11] = 0x70;
    for (const Bytes &frame : {Received(kV13), Received(kV3Plain), noHeader, WithByte(noHeader, 11, 0x71),
                               WithByte(noHeader, 11, 0x78), WithByte(noHeader, 11, 0x79)})
    {
        const Decrypted d = Decrypt(frame, "");
        EXPECT_TRUE(d.ok) << d.error;
        EXPECT_EQ(frame, d.out);
    }
    testing::internal::CaptureStdout();
    Decrypt(noHeader, "");
    EXPECT_EQ(" no header\n", testing::internal::GetCapturedStdout());
}

TEST(DecryptFrame, ModeFourChainsFromZeroVector)
{
    Bytes frame = Received(kV3Plain);
    frame[14] = 0x20; // two blocks
    frame[15] = 0x04;
    const Bytes plain = frame;
    WMBH_AES aes;
    aes.SetAesKey(kV3Key, AesBlock{}, true);
    aes.AesCbcEncryptBlock(frame.data() + 16);
    aes.AesCbcEncryptBlock(frame.data() + 32);

    testing::internal::CaptureStdout();
    const Decrypted d = Decrypt(frame, kV3Key);
    // A line of its own, so it cannot glue onto the document printed after it.
    EXPECT_EQ("AES with zero iv\n", testing::internal::GetCapturedStdout());
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(plain, d.out);
}

TEST(DecryptFrame, RefusesFramesItCannotHandle)
{
    const Bytes v3 = Received(kV3);
    const int whole = -1; // the frame is handed on unchanged for the error document
    struct Case
    {
        const char *what;
        Bytes frame;
        std::string key;
        int capacity;
        const char *error;
        int outLength;
    };
    const Case cases[] = {
        {"block CRCs still inside", Received(kV2), kV3Key, 256, "Unsupported CI field 0x33", whole},
        {"AES-CTR behind CI 8D", Received(kV14), "4E5508544202058100DFEFA06B0934A5", 256, "Unsupported CI field 0xB1",
         whole},
        {"maker's CI from another maker", WithByte(Received(kV13), 11, 0xA1), "", 256, "Unsupported CI field 0xA1",
         whole},
        {"L below 10", WithByte(v3, 1, 9), kV3Key, 256, "Length error", 0},
        {"no CI in the buffer", Prefix(v3, 11), kV3Key, 256, "Length error", 0},
        {"small output", v3, kV3Key, 254, "Output buffer length", 0},
        {"no start byte", WithByte(v3, 0, 0x10), kV3Key, 256, "Start character not found", 0},
        {"header cut short", Prefix(v3, 15), kV3Key, 256, "Buffer length error", 0},
        {"extended link layer cut short", Prefix(Received(kV4), 13), "", 256, "Buffer length error", 0},
        {"more blocks announced than sent", WithByte(v3, 14, 0x30), kV3Key, 256, "Encrypted length error", whole},
        {"unknown mode", WithByte(v3, 15, 0x07), kV3Key, 256, "Unsupported encryption", whole},
        // The mode is five bits (8-12 of the word): 21 is no mode 5, nor 20 a mode 4; the bits
        // above them are no part of it.
        {"mode 21", WithByte(v3, 15, 0x15), kV3Key, 256, "Unsupported encryption", whole},
        {"mode 20", WithByte(v3, 15, 0x14), kV3Key, 256, "Unsupported encryption", whole},
        {"mode 8", WithByte(v3, 15, 0x08), kV3Key, 256, "Unsupported encryption", whole},
        {"mode 13", WithByte(v3, 15, 0x0D), kV3Key, 256, "Unsupported encryption", whole},
        {"key of 31 digits", v3, std::string(kV3Key).substr(1), 256, "Wrong key size 31", 0},
        {"key of 33 digits", v3, std::string(kV3Key) + "0", 256, "Wrong key size 33", 0},
        {"key with a non-hex digit", v3, "0102030405060708090A0B0C0D0E0FG1", 256, "Wrong key format", 0},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        const Decrypted d = Decrypt(c.frame, c.key, c.capacity);
        EXPECT_FALSE(d.ok);
        EXPECT_EQ(c.error, d.error);
        if (c.outLength == whole)
            EXPECT_EQ(c.frame, d.out);
        else
            EXPECT_EQ(c.outLength, d.outLength);
    }
}

TEST(DecryptFrame, NullFrameIsRefused)
{
    uint8_t out[256];
    int outLength = 256;
    std::string error;
    EXPECT_FALSE(DecryptFrame(kV3Key, nullptr, 10, out, outLength, error));
    EXPECT_EQ("null buffer", error);
    EXPECT_EQ(0, outLength);
}

TEST(DecryptFrame, EveryTruncationFailsCleanly)
{
    // Whatever L and the configuration word claim, no prefix of a frame may be read past its end.
    for (const char *hex : {kV2, kV3, kV4, kV7, kV9, kV13, kV14})
    {
        const Bytes frame = Received(hex);
        for (size_t n = 0; n < frame.size(); ++n)
            Decrypt(Prefix(frame, n), kV3Key);
    }
}

TEST(StripFrameCrcs, FormatAFrameBecomesItsStrippedTwin)
{
    // V2 is V3 with its block CRCs still inside (and another flag in the configuration word).
    const Bytes input = Concat(Received(kV2), {0x16});
    uint8_t out[256];
    int outLength = sizeof out;
    ASSERT_TRUE(StripFrameCrcs(input.data(), static_cast<int>(input.size()), out, outLength));
    const Bytes expected = Concat(WithByte(Received(kV3), 15, 0x25), {0x16});
    EXPECT_EQ(expected, Bytes(out, out + outLength));

    const Decrypted d = Decrypt(Bytes(out, out + outLength), kV3Key);
    EXPECT_TRUE(d.ok);
    EXPECT_EQ(FromHex("2F2F0C1427048502"), Bytes(d.out.begin() + 16, d.out.begin() + 24));
}

TEST(StripFrameCrcs, RefusesBrokenInput)
{
    const Bytes good = Concat(Received(kV2), {0x16});
    struct Case
    {
        const char *what;
        Bytes input;
        int capacity;
    };
    const Case cases[] = {
        {"header CRC", WithByte(good, 12, 0x00), 256},
        {"data CRC of the first block", WithByte(good, 29, 0x00), 256},
        {"data CRC of the last block", WithByte(good, good.size() - 2, 0x00), 256},
        {"no start byte", WithByte(good, 0, 0x00), 256},
        {"too short", Prefix(good, 12), 256},
        {"output too small", good, 40},
        {"output below the minimum", good, 12},
    };
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.what);
        std::unique_ptr<uint8_t[]> out(new uint8_t[c.capacity]);
        int outLength = c.capacity;
        EXPECT_FALSE(StripFrameCrcs(c.input.data(), static_cast<int>(c.input.size()), out.get(), outLength));
    }
    for (size_t n = 0; n < good.size(); ++n)
    {
        const Bytes input = Prefix(good, n);
        std::unique_ptr<uint8_t[]> in(new uint8_t[n + 1]);
        std::copy(input.begin(), input.end(), in.get());
        uint8_t out[256];
        int outLength = sizeof out;
        StripFrameCrcs(in.get(), static_cast<int>(n), out, outLength);
    }
}

TEST(AesKey, OnlyThirtyTwoHexDigitsMakeAKey)
{
    AesBlock key{};
    EXPECT_TRUE(HexToKey("00112233445566778899aabbccddeeFF", key));
    EXPECT_EQ(FromHex("00112233445566778899AABBCCDDEEFF"), Bytes(key.begin(), key.end()));

    struct Case
    {
        std::string text;
        const char *error;
    };
    const Case cases[] = {
        {std::string(31, '0'), "Wrong key size"},
        {std::string(33, '0'), "Wrong key size"},
        {"", "Wrong key size"},
        {"0011223344556677 899aabbccddeeff", "Wrong key format"},
        {"0x112233445566778899aabbccddeeff", "Wrong key format"},
    };
    WMBH_AES aes;
    for (const Case &c : cases)
    {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(HexToKey(c.text, key));
        try
        {
            aes.SetAesKey(c.text, AesBlock{}, true);
            ADD_FAILURE() << "no exception";
        }
        catch (const std::runtime_error &e)
        {
            EXPECT_STREQ(c.error, e.what());
        }
    }
}
