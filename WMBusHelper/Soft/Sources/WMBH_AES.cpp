#include "WMBH_AES.h"

#include "LogStatement.h"
#include "WMBH_Cursor.h"
#include "WMBH_HexText.h"
#include "mbus-crc16.h"
#include "mbus-security-mode.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <stdexcept>

namespace
{

constexpr uint8_t kStartByte = 0x68;
constexpr uint8_t kFiller = 0x2F;
constexpr int kMinOutputCapacity = 255;

// Offsets in a received frame: 0x68, L, C, M (2), id (4), version, type, CI.
constexpr size_t kLField = 1;
constexpr size_t kLinkAddress = 3;
constexpr size_t kLinkAddressSize = 8;
constexpr size_t kFirstCi = 11;
constexpr uint8_t kMakerManufacturerLow = 0xD2;
constexpr uint8_t kMakerManufacturerHigh = 0x6A;

struct ExtendedLinkLayer
{
    uint8_t ci;
    uint8_t bytesBeforeApplicationCi; // the extended-link CI itself included
};

constexpr ExtendedLinkLayer kExtendedLinkLayers[] = {
    {0x8C, 3},
    {0x8D, 9},
    {0x8E, 11},
    {0x8F, 17},
};

enum class Header
{
    None,
    Short,
    Long
};

struct CiClass
{
    uint8_t ci;
    Header header;
    bool makerOnly; // the maker's own CI codes count only with the maker's M-field
};

constexpr CiClass kCiClasses[] = {
    {0x70, Header::None, false},  {0x71, Header::None, false},  {0x78, Header::None, false},
    {0x79, Header::None, false},  {0x6E, Header::Short, false},
    {0x74, Header::Short, false}, {0x7A, Header::Short, false}, {0x5A, Header::Short, false},
    {0x6A, Header::Short, false}, {0x7B, Header::Short, false}, {0x8A, Header::Short, false},
    {0xA1, Header::Short, true},  {0xA3, Header::Short, true},  {0xA5, Header::Short, true},
    {0xA7, Header::Short, true},  {0xA9, Header::Short, true},  {0xAA, Header::Short, true},
    {0x6F, Header::Long, false},  {0x72, Header::Long, false},  {0x75, Header::Long, false},
    {0x5B, Header::Long, false},  {0x80, Header::Long, false},  {0x84, Header::Long, false},
    {0x85, Header::Long, false},  {0x8B, Header::Long, false},  {0x6B, Header::Long, false},
    {0x6C, Header::Long, false},  {0x6D, Header::Long, false},  {0x73, Header::Long, false},
    {0xA0, Header::Long, true},   {0xA2, Header::Long, true},   {0xA4, Header::Long, true},
    {0xA6, Header::Long, true},   {0xA8, Header::Long, true},
};

size_t ExtendedLinkLayerSize(uint8_t ci)
{
    for (const auto &entry : kExtendedLinkLayers)
        if (entry.ci == ci)
            return entry.bytesBeforeApplicationCi;
    return 0;
}

const CiClass *FindCiClass(uint8_t ci, bool makerFrame)
{
    for (const auto &entry : kCiClasses)
        if (entry.ci == ci && (makerFrame || !entry.makerOnly))
            return &entry;
    return nullptr;
}

// Mode 5 chains from the sender's address (M, id, version, type) and 8 copies of the access number.
// The maker's own requests carry the modem's link address, as the builder encrypts them; every other
// long header names the meter in its transport address, and that is what the meter encrypted with.
// The caller has checked that the frame holds the whole header.
AesBlock ModeFiveVector(const uint8_t *frame, const CiClass &ciClass, size_t extended, uint8_t accessNumber)
{
    AesBlock iv{};
    if (ciClass.header == Header::Long && !ciClass.makerOnly)
    {
        const uint8_t *transport = frame + kFirstCi + extended + 1; // id (4), M (2), version, type
        constexpr uint8_t kAirOrder[kLinkAddressSize] = {4, 5, 0, 1, 2, 3, 6, 7};
        for (size_t i = 0; i < kLinkAddressSize; ++i)
            iv[i] = transport[kAirOrder[i]];
    }
    else
    {
        std::copy(frame + kLinkAddress, frame + kLinkAddress + kLinkAddressSize, iv.begin());
    }
    std::fill(iv.begin() + kLinkAddressSize, iv.end(), accessNumber);
    return iv;
}

// Reports one failure of DecryptFrame the same way everywhere.
bool Refuse(std::string &errorText, const std::string &message)
{
    LOG_LINE(LogLevel::Error, LogModule::WMBH) << message;
    errorText = message;
    return false;
}

} // namespace

bool HexToKey(const std::string &keyText, AesBlock &key)
{
    std::vector<unsigned char> bytes;
    if (keyText.size() != kAesKeyTextLength || !HexToBytes(keyText, bytes))
        return false;
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return true;
}

void WMBH_AES::ContextFree::operator()(evp_cipher_ctx_st *ctx) const
{
    EVP_CIPHER_CTX_free(ctx);
}

WMBH_AES::WMBH_AES() : ctx_(EVP_CIPHER_CTX_new())
{
    if (!ctx_)
        throw std::runtime_error("Cipher context not available");
}

WMBH_AES::~WMBH_AES() = default;

void WMBH_AES::SetAesKey(const std::string &keyText, const AesBlock &iv, bool encrypt)
{
    ready_ = false;
    if (keyText.size() != kAesKeyTextLength)
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH) << "Wrong key size " << keyText.size();
        throw std::runtime_error("Wrong key size");
    }
    AesBlock key{};
    if (!HexToKey(keyText, key))
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH) << "Key is not 32 hexadecimal digits";
        throw std::runtime_error("Wrong key format");
    }
    // The frame is padded with 0x2F fillers by the builder, never by the cipher.
    const bool ok =
        EVP_CipherInit_ex(ctx_.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0) == 1 &&
        EVP_CIPHER_CTX_set_padding(ctx_.get(), 0) == 1;
    if (!ok)
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH)
            << (encrypt ? "Can't set encryption key" : "Can't set decryption key");
        throw std::runtime_error(encrypt ? "Set encryption key failed" : "Set decryption key failed");
    }
    encrypt_ = encrypt;
    ready_ = true;
}

void WMBH_AES::AesCbcEncryptBlock(uint8_t *block)
{
    ProcessBlock(block, block, true);
}

void WMBH_AES::AesCbcDecryptBlock(const uint8_t *in, uint8_t *out)
{
    ProcessBlock(in, out, false);
}

void WMBH_AES::ProcessBlock(const uint8_t *in, uint8_t *out, bool encrypt)
{
    if (!ready_ || encrypt != encrypt_)
        throw std::logic_error("AES key not set up for this direction");
    // Through a temporary so that in-place operation never depends on OpenSSL's aliasing rules.
    AesBlock result{};
    int written = 0;
    if (EVP_CipherUpdate(ctx_.get(), result.data(), &written, in, static_cast<int>(kAesBlockSize)) != 1 ||
        written != static_cast<int>(kAesBlockSize))
        throw std::runtime_error(encrypt ? "Encryption failed" : "Decryption failed");
    std::copy(result.begin(), result.end(), out);
}

bool DecryptFrame(const std::string &keyText, const uint8_t *frame, int length, uint8_t *output, int &outputLength,
                  std::string &errorText)
{
    const int capacity = outputLength;
    outputLength = 0;
    if (!frame)
        return Refuse(errorText, "null buffer");

    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
    WMBH_Cursor in(frame, size);
    uint8_t lField = 0;
    uint8_t firstCi = 0;
    if (!in.PeekAt(kLField, lField) || lField < 10 || !in.PeekAt(kFirstCi, firstCi))
        return Refuse(errorText, "Length error");
    if (!output || capacity < kMinOutputCapacity || capacity < length)
        return Refuse(errorText, "Output buffer length");
    if (frame[0] != kStartByte)
        return Refuse(errorText, "Start character not found");

    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "in: " << BytesToHex(frame, size);
    std::fill(output, output + capacity, 0);

    auto copyUnchanged = [&]()
    {
        std::copy(frame, frame + size, output);
        outputLength = static_cast<int>(size);
    };

    const size_t extended = ExtendedLinkLayerSize(firstCi);
    uint8_t ci = 0;
    if (!in.PeekAt(kFirstCi + extended, ci))
        return Refuse(errorText, "Buffer length error");

    const bool makerFrame =
        frame[kLinkAddress] == kMakerManufacturerLow && frame[kLinkAddress + 1] == kMakerManufacturerHigh;
    const CiClass *ciClass = FindCiClass(ci, makerFrame);
    if (!ciClass)
    {
        char message[40];
        std::snprintf(message, sizeof message, "Unsupported CI field 0x%02X", ci);
        errorText = message;
        copyUnchanged();
        return false;
    }
    if (ciClass->header == Header::None)
    {
        std::cout << " no header\n" << std::flush;
        if (size < extended + 8)
            return Refuse(errorText, "Buffer length error");
        copyUnchanged();
        return true;
    }

    const size_t accessNumber = extended + (ciClass->header == Header::Short ? 12 : 20);
    const size_t dataStart = accessNumber + 4;
    uint8_t configFirst = 0;
    uint8_t configSecond = 0;
    if (size < dataStart || !in.PeekAt(accessNumber + 2, configFirst) || !in.PeekAt(accessNumber + 3, configSecond))
        return Refuse(errorText, "Buffer length error");
    const size_t blocks = configFirst >> 4;
    const int mode = MbusSecurityMode(configSecond);

    AesBlock iv{};
    switch (mode)
    {
    case 0:
        LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Not encrypted, return";
        copyUnchanged();
        return true;
    case 4:
        std::cout << "AES with zero iv\n" << std::flush;
        break;
    case 5:
        std::cout << "AES with iv\n" << std::flush;
        iv = ModeFiveVector(frame, *ciClass, extended, frame[accessNumber]);
        break;
    default:
        // Handing ciphertext to the decoder as if it were plain would only produce nonsense records.
        copyUnchanged();
        return Refuse(errorText, "Unsupported encryption");
    }

    if (keyText.size() != kAesKeyTextLength)
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH) << "Wrong key size " << keyText.size();
        errorText = "Wrong key size " + std::to_string(keyText.size());
        return false;
    }
    AesBlock key{};
    if (!HexToKey(keyText, key))
        return Refuse(errorText, "Wrong key format");

    const size_t encryptedEnd = dataStart + blocks * kAesBlockSize;
    if (encryptedEnd > size)
    {
        copyUnchanged();
        return Refuse(errorText, "Encrypted length error");
    }

    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "ivec: " << BytesToHex(iv.data(), iv.size());
    try
    {
        WMBH_AES aes;
        aes.SetAesKey(keyText, iv, false);
        std::copy(frame, frame + dataStart, output);
        for (size_t offset = dataStart; offset < encryptedEnd; offset += kAesBlockSize)
            aes.AesCbcDecryptBlock(frame + offset, output + offset);
        std::copy(frame + encryptedEnd, frame + size, output + encryptedEnd);
    }
    catch (const std::exception &e)
    {
        std::fill(output, output + capacity, 0);
        return Refuse(errorText, e.what());
    }
    outputLength = static_cast<int>(size);

    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "out: " << BytesToHex(output, size);
    LOG_LINE(LogLevel::Trace, LogModule::WMBH) << "Decrypt finished";
    if (size >= dataStart + 2 && output[dataStart] == kFiller && output[dataStart + 1] == kFiller)
        return true;
    // Only a wrong key (or a frame garbled on the way) leaves no 2F 2F in front: say so, or the
    // frame would show as one that simply holds no records.
    errorText = "Decryption failed: check the AES key";
    return false;
}

bool StripFrameCrcs(const uint8_t *input, int length, uint8_t *output, int &outputLength)
{
    constexpr size_t kHeaderEnd = 11; // 0x68 and the 10 bytes of the first block
    constexpr size_t kMinimum = 13;
    auto refuse = [](const char *message)
    {
        LOG_LINE(LogLevel::Error, LogModule::WMBH) << message;
        return false;
    };
    if (!input || !output)
        return refuse("input param error");
    const size_t size = length > 0 ? static_cast<size_t>(length) : 0;
    const size_t capacity = outputLength > 0 ? static_cast<size_t>(outputLength) : 0;
    if (size < kMinimum)
        return refuse("input length error");
    if (capacity < kMinimum)
        return refuse("output length error");
    if (input[0] != kStartByte)
        return refuse("Start character not found");

    // Each block is followed by its CRC, high byte first.
    WMBH_Cursor in(input, size);
    auto readBlock = [&in](size_t count, const uint8_t *&block)
    {
        const uint8_t *crc = nullptr;
        if (!in.Take(count, block) || !in.Take(2, crc))
            return false;
        const uint16_t expected = mbus_crc16(block, count, MBUS_CRC16_PLAIN);
        return crc[0] == (expected >> 8) && crc[1] == (expected & 0xFF);
    };
    const uint8_t *header = nullptr;
    in.Skip(1);
    if (!readBlock(kHeaderEnd - 1, header))
        return refuse("header CRC error!");

    std::copy(input, input + kHeaderEnd, output);
    size_t written = kHeaderEnd;
    // Blocks run up to the last byte; the last one is shorter when fewer than 16 bytes remain
    // before its CRC and the end byte.
    while (in.Remaining() > 1)
    {
        if (in.Remaining() <= 3)
            return refuse("input length error");
        const size_t count = std::min(kAesBlockSize, in.Remaining() - 3);
        const uint8_t *block = nullptr;
        if (!readBlock(count, block))
            return refuse("data CRC error!");
        if (written + count + 1 > capacity)
            return refuse("output buffer to small");
        std::copy(block, block + count, output + written);
        written += count;
    }
    output[written++] = 0x16;
    outputLength = static_cast<int>(written);
    return true;
}
