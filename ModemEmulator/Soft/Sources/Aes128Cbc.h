#ifndef MODEMEMU_AES128CBC_H
#define MODEMEMU_AES128CBC_H

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace ModemEmu
{

using AesKey = std::array<uint8_t, 16>;
using AesIv = std::array<uint8_t, 16>;

// AES-128-CBC without padding over whole 16-byte blocks (the radio frames
// pad with 0x2F themselves). Throws std::runtime_error on a bad length or an
// OpenSSL failure.
class Aes128Cbc
{
public:
    static std::vector<uint8_t> Encrypt(const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &plain);
    static std::vector<uint8_t> Decrypt(const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &cipher);
    // 32 hexadecimal digits; throws std::invalid_argument otherwise.
    static AesKey ParseKey(const std::string &text);

private:
    static std::vector<uint8_t> Run(bool encrypt, const AesKey &key, const AesIv &iv, const std::vector<uint8_t> &in);
};

} // namespace ModemEmu

#endif
