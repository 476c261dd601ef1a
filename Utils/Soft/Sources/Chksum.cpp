#include "Chksum.h"

#include "LogStatement.h"
#include "WMBH_HexText.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <memory>
#include <openssl/evp.h>
#include <stdexcept>

namespace
{

constexpr size_t kDigestSize = 16;
constexpr size_t kBlockSize = 1024;

struct DigestContextFree
{
    void operator()(EVP_MD_CTX *context) const { EVP_MD_CTX_free(context); }
};

} // namespace

bool Md5File(const std::string &path, std::vector<unsigned char> *md5_out)
{
    if (md5_out == nullptr)
        throw std::invalid_argument("md5_out parameter missing");
    md5_out->assign(kDigestSize, 0);

    std::ifstream file(path, std::ios::in | std::ios::binary);
    if (!file.is_open())
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't open data file";
        return false;
    }

    std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
    if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1)
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't compute md5";
        return false;
    }

    char block[kBlockSize];
    while (file)
    {
        file.read(block, sizeof(block));
        const std::streamsize got = file.gcount();
        if (got > 0 && EVP_DigestUpdate(context.get(), block, static_cast<size_t>(got)) != 1)
        {
            LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't compute md5";
            return false;
        }
    }
    // The loop ends at the end of the file or on a read error (a directory, an
    // I/O error); only the first gives a digest of the whole file.
    if (file.bad() || !file.eof())
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't read data file";
        return false;
    }

    std::vector<unsigned char> digest(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &size) != 1 || size != kDigestSize)
    {
        LOG_LINE(LogLevel::Error, LogModule::Utils) << "Can't compute md5";
        return false;
    }
    std::copy_n(digest.begin(), kDigestSize, md5_out->begin());

    LOG_LINE(LogLevel::Trace, LogModule::Utils) << "md5 for " << path << ": " << HexDump(md5_out->data(), kDigestSize);
    return true;
}

std::string VectorToHex(const std::vector<unsigned char> &bytes)
{
    std::string text = DataToHex(bytes.data(), bytes.size());
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}
