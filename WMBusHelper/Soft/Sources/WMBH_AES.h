#ifndef WMBH_AES_H
#define WMBH_AES_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

// EVP_CIPHER_CTX without pulling the OpenSSL headers into every user.
struct evp_cipher_ctx_st;

constexpr size_t kAesBlockSize = 16;
constexpr size_t kAesKeyTextLength = 32;
using AesBlock = std::array<uint8_t, kAesBlockSize>;

// The 16 key bytes of a key text of exactly 32 hexadecimal digits; false for
// anything else (a partial key must never reach the cipher).
bool HexToKey(const std::string &keyText, AesBlock &key);

// AES-128 in CBC mode as the modules use it: one key set-up per frame, then
// the frame's blocks one after the other as a single chain.
class WMBH_AES
{
public:
    WMBH_AES();
    ~WMBH_AES();
    WMBH_AES(const WMBH_AES &) = delete;
    WMBH_AES &operator=(const WMBH_AES &) = delete;

    // Loads the key and starts a new chain at `iv`. Throws std::runtime_error:
    // "Wrong key size", "Wrong key format", "Set encryption key failed" or
    // "Set decryption key failed".
    void SetAesKey(const std::string &keyText, const AesBlock &iv, bool encrypt);

    // One 16-byte block through the chain; the direction is the one of SetAesKey.
    void AesCbcEncryptBlock(uint8_t *block);
    void AesCbcDecryptBlock(const uint8_t *in, uint8_t *out);

private:
    void ProcessBlock(const uint8_t *in, uint8_t *out, bool encrypt);

    struct ContextFree
    {
        void operator()(evp_cipher_ctx_st *ctx) const;
    };
    std::unique_ptr<evp_cipher_ctx_st, ContextFree> ctx_;
    bool ready_ = false;
    bool encrypt_ = false;
};

// Decrypts a received frame (0x68, L, C, M, A, CI, ...) into `output`.
// outputLength: the output's capacity on entry, the bytes written on return.
// true: the output holds the frame ready for the decoder (decrypted, or
// unchanged when it is not encrypted or carries no transport header).
// false: errorText gets the reason; a wrong key shows as the missing 2F 2F at
// the start of the decrypted data and is reported as such. Never throws.
bool DecryptFrame(const std::string &keyText, const uint8_t *frame, int length, uint8_t *output, int &outputLength,
                  std::string &errorText);

// Removes the link-layer block CRCs of a frame: 0x68, 10 header bytes with
// their CRC, data blocks of up to 16 bytes each with their CRC, one end byte.
// Writes 0x68, the header, the data and 0x16. outputLength is in/out as above.
bool StripFrameCrcs(const uint8_t *input, int length, uint8_t *output, int &outputLength);

#endif
