#include "Aes128Cbc.h"

#include "HexBytes.h"

#include <memory>
#include <openssl/evp.h>
#include <stdexcept>

namespace ModemEmu
{

namespace
{

struct CipherCtxFree
{
    void operator()(EVP_CIPHER_CTX *ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

} // namespace

std::vector<uint8_t> Aes128Cbc::Run(bool encrypt, const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &in)
{
    if (in.size() % 16 != 0)
        throw std::runtime_error("AES-CBC data is not a whole number of blocks");
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx || EVP_CipherInit_ex(ctx.get(), EVP_aes_128_cbc(), nullptr, key.data(), iv.data(), encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        throw std::runtime_error("AES-CBC set-up failed");
    std::vector<uint8_t> out(in.size() + 16);
    int written = 0;
    int tail = 0;
    if (EVP_CipherUpdate(ctx.get(), out.data(), &written, in.data(), static_cast<int>(in.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), out.data() + written, &tail) != 1)
        throw std::runtime_error("AES-CBC failed");
    out.resize(static_cast<size_t>(written + tail));
    return out;
}

std::vector<uint8_t> Aes128Cbc::Encrypt(const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &plain)
{
    return Run(true, key, iv, plain);
}

std::vector<uint8_t> Aes128Cbc::Decrypt(const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &cipher)
{
    return Run(false, key, iv, cipher);
}

AesKey Aes128Cbc::ParseKey(const std::string &text)
{
    std::vector<uint8_t> bytes = ParseHex(text);
    if (text.size() != 32 || bytes.size() != 16)
        throw std::invalid_argument("an AES key is 32 hex digits: " + text);
    AesKey key{};
    std::copy(bytes.begin(), bytes.end(), key.begin());
    return key;
}

} // namespace ModemEmu
