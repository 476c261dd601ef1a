#include "Tolv_ConfigFile.h"

#include "LogStatement.h"
#include "Tolv_TemplateFile.h"
#include "Tolv_XmlFormatError.h"
#include "WMBH_HexText.h"
#include "mbus-protocol.h"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>
#include <utility>

namespace Tolv
{

namespace
{

constexpr uint32_t AesKeyVib = 0xFD19;
constexpr size_t AesKeyDigits = 32;
constexpr uint8_t AesKeyLength = 16;
constexpr uint8_t DifLvar = 0x0D;

// The non-zero bytes of a right-aligned byte group, most significant first.
void AppendNonZeroBytes(uint32_t group, ByteVector &bytes)
{
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        const uint8_t byte = static_cast<uint8_t>(group >> shift);
        if (byte != 0)
        {
            bytes.push_back(byte);
        }
    }
}

// A DIB of 0 (no data) and a last DIFE of 0 would vanish with the zero bytes.
void AppendDib(uint32_t dib, ByteVector &bytes)
{
    AppendNonZeroBytes(dib, bytes);
    const uint8_t last = static_cast<uint8_t>(dib);
    if (last == 0x00 || last == 0x80)
    {
        bytes.push_back(0x00);
    }
}

uint8_t FirstDibByte(uint32_t dib)
{
    for (int shift = 24; shift >= 0; shift -= 8)
    {
        const uint8_t byte = static_cast<uint8_t>(dib >> shift);
        if (byte != 0)
        {
            return byte;
        }
    }
    return 0;
}

// "0x..." (a lower-case x as second character) is hexadecimal, else decimal;
// a leading minus gives the two's complement, as strtoull does.
uint64_t ParseItemValue(const std::string &text)
{
    const bool hex = text.size() > 1 && text[1] == 'x';
    return std::strtoull(text.c_str(), nullptr, hex ? 16 : 10);
}

std::string Trimmed(const std::string &text)
{
    const char *blanks = " \t\r\n";
    const size_t first = text.find_first_not_of(blanks);
    if (first == std::string::npos)
    {
        return std::string();
    }
    const size_t last = text.find_last_not_of(blanks);
    return text.substr(first, last - first + 1);
}

} // namespace

ConfigFile::ConfigFile(const std::string &path, std::vector<std::string> templateFiles)
    : templateFiles(std::move(templateFiles))
{
    ReadXmlFile(path, document, root);
}

void ConfigFile::EncodePayload(ByteVector &out, const std::string &templateId, bool readMode)
{
    this->readMode = readMode;
    std::vector<ByteVector> items;
    EncodeItems(items, templateId);
    for (const ByteVector &item : items)
    {
        out.insert(out.end(), item.begin(), item.end());
    }
}

std::vector<TemplateItem> ConfigFile::FindTemplateItems(const std::string &templateId) const
{
    std::vector<TemplateItem> items;
    for (const std::string &path : templateFiles)
    {
        try
        {
            TemplateFile templateFile(path);
            if (templateFile.GetTemplateId() == templateId)
            {
                templateFile.GetTemplateItems(items);
                LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "template file found: " << path;
                break;
            }
        }
        catch (const std::exception &)
        {
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Failed to parse " << path << ", ignore it";
        }
    }
    return items;
}

void ConfigFile::EncodeItems(std::vector<ByteVector> &out, const std::string &templateId)
{
    if (!IsElement(root, "config"))
    {
        throw XmlFormatError("config node not found");
    }
    LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Search for id " << templateId;

    const std::vector<TemplateItem> items = FindTemplateItems(templateId);
    if (items.empty())
    {
        LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "Template file not found or empty";
        throw std::runtime_error("Template file not found");
    }

    bool anyKnown = false;
    for (const xmlNode *element = root->children; element != nullptr; element = element->next)
    {
        if (element->type != XML_ELEMENT_NODE)
        {
            continue;
        }
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Got " << NodeName(element);
        if (!HasText(element))
        {
            if (!readMode)
            {
                LOG_LINE(LogLevel::Error, LogModule::Tolv) << "children node not found or empty";
            }
        }
        else
        {
            LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "val " << NodeText(element);
        }
        ByteVector bytes;
        EncodeItem(element, bytes, items);
        anyKnown = anyKnown || !bytes.empty();
        out.push_back(std::move(bytes));
    }

    // An empty read asks the module for its whole configuration and an empty
    // write is meaningless, so a file that names nothing we know is refused.
    if (!anyKnown)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "No config item of the file found in the template file";
        throw std::runtime_error("No known config item in the config file");
    }
}

void ConfigFile::EncodeItem(const xmlNode *element, ByteVector &bytes, const std::vector<TemplateItem> &items) const
{
    const std::string name = NodeName(element);
    const TemplateItem *found = nullptr;
    for (const TemplateItem &item : items)
    {
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Check " << item.name;
        if (item.name == name)
        {
            LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Found for " << name;
            found = &item;
            break;
        }
    }
    if (found == nullptr)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Config item not found in the template file";
        return;
    }

    ByteVector encoded;
    AppendDib(found->dib, encoded);
    AppendNonZeroBytes(found->vib, encoded);
    if ((FirstDibByte(found->dib) & 0x0F) == DifLvar)
    {
        EncodeLvarValue(element, *found, encoded);
    }
    else
    {
        EncodeFixedValue(element, *found, encoded);
    }
    bytes.insert(bytes.end(), encoded.begin(), encoded.end());
}

void ConfigFile::EncodeFixedValue(const xmlNode *element, const TemplateItem &item, ByteVector &bytes) const
{
    uint64_t value = 0;
    if (!HasText(element))
    {
        if (!readMode)
        {
            LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "children node empty";
        }
    }
    else
    {
        value = ParseItemValue(NodeText(element));
    }

    // The length comes from the DIF's data field alone, as the decoder reads it
    // back; function and storage bits do not change it.
    const int length = std::clamp(mbus_dif_datalength_lookup(FirstDibByte(item.dib) & 0x0F), 0, 8);
    for (int i = 0; i < length; ++i)
    {
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
    }
}

void ConfigFile::EncodeLvarValue(const xmlNode *element, const TemplateItem &item, ByteVector &bytes) const
{
    if (item.vib != AesKeyVib)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "LVAR not supported for this vif/vife";
        throw XmlFormatError("LVAR not supported for this vif/vife");
    }
    if (readMode && !HasText(element))
    {
        bytes.insert(bytes.end(), AesKeyLength, 0x00);
        return;
    }

    // A key that is cut, padded or not hexadecimal would lock the module out
    // with a key nobody knows, so only exactly 32 hex digits are written.
    const std::string key = Trimmed(NodeText(element));
    if (key.size() != AesKeyDigits)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Invalid AES key size " << key.size();
        throw XmlFormatError("Invalid AES key size");
    }
    ByteVector keyBytes;
    if (!HexToBytes(key, keyBytes))
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Invalid AES key: not hexadecimal";
        throw XmlFormatError("Invalid AES key");
    }

    bytes.push_back(AesKeyLength);
    bytes.insert(bytes.end(), keyBytes.begin(), keyBytes.end());
}

} // namespace Tolv
