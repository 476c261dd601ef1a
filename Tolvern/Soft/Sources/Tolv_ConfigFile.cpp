#include "Tolv_ConfigFile.h"

#include "LogStatement.h"
#include "Tolv_TemplateFile.h"
#include "Tolv_ValueText.h"
#include "Tolv_XmlFormatError.h"
#include "WMBH_HexText.h"
#include "mbus-protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
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

// An item value as its notation reads it: "0x" and hexadecimal digits, or
// decimal digits with an optional leading minus. magnitude is the number
// without its sign.
struct ItemNumber
{
    bool negative = false;
    uint64_t magnitude = 0;
};

enum class NumberText
{
    Number,
    NotANumber,
    TooLarge, // a number, but beyond 64 bits
};

int DigitValue(char c, int base)
{
    const int digit = HexDigitValue(c);
    return digit < base ? digit : -1;
}

// Only "0x" with a lower-case x selects hexadecimal; a text that holds
// anything besides its sign and digits is no number at all.
NumberText ReadItemNumber(const std::string &text, ItemNumber &number)
{
    const bool hex = text.size() > 1 && text[1] == 'x';
    size_t pos = 0;
    if (hex)
    {
        if (text[0] != '0')
        {
            return NumberText::NotANumber;
        }
        pos = 2;
    }
    else if (!text.empty() && text[0] == '-')
    {
        number.negative = true;
        pos = 1;
    }
    const int base = hex ? 16 : 10;
    if (pos == text.size())
    {
        return NumberText::NotANumber;
    }
    bool tooLarge = false;
    for (; pos < text.size(); ++pos)
    {
        const int digit = DigitValue(text[pos], base);
        if (digit < 0)
        {
            return NumberText::NotANumber;
        }
        if (number.magnitude > (UINT64_MAX - static_cast<uint64_t>(digit)) / static_cast<uint64_t>(base))
        {
            tooLarge = true;
        }
        number.magnitude = number.magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
    }
    return tooLarge ? NumberText::TooLarge : NumberText::Number;
}

// Whether the number fits into length value bytes: unsigned up to the
// largest value of those bytes, negative down to the smallest signed one.
bool FitsLength(const ItemNumber &number, int length)
{
    if (length <= 0)
    {
        return number.magnitude == 0;
    }
    const int bits = 8 * std::min(length, 8);
    if (number.negative)
    {
        return number.magnitude <= (uint64_t{1} << (bits - 1));
    }
    return bits == 64 || number.magnitude < (uint64_t{1} << bits);
}

// A negative value goes out as its two's complement.
uint64_t ValueBits(const ItemNumber &number)
{
    return number.negative ? uint64_t{0} - number.magnitude : number.magnitude;
}

// A configuration file names each parameter once: a second value for the same name would be sent
// as well, and which of the two the module keeps is not the user's choice. Returns the first name
// that comes again, or nothing.
std::optional<std::string> NameGivenTwice(const xmlNode *root)
{
    std::set<std::string> names;
    for (const xmlNode *element = root->children; element != nullptr; element = element->next)
    {
        if (element->type == XML_ELEMENT_NODE && !names.insert(NodeName(element)).second)
        {
            return std::string(NodeName(element));
        }
    }
    return std::nullopt;
}

} // namespace

ByteVector ItemKeyOf(const TemplateItem &item)
{
    ByteVector key;
    AppendDib(item.dib, key);
    AppendNonZeroBytes(item.vib, key);
    return key;
}

ConfigFile::ConfigFile(const std::string &path, std::vector<std::string> templateFiles)
    : path(path), templateFiles(std::move(templateFiles))
{
    ReadXmlFile(path, document, root);
}

void ConfigFile::EncodePayload(ByteVector &out, const std::string &templateId, bool readMode)
{
    std::vector<ByteVector> items;
    EncodeItems(items, templateId, readMode);
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
        catch (const TemplateIdError &e)
        {
            // An id that holds more than text may be ours or another's: its text pieces tell.
            if (e.JoinedId() == templateId)
            {
                throw;
            }
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Failed to parse " << path << ", ignore it";
        }
        catch (const TemplateFieldError &)
        {
            throw; // the template of our id, which cannot be read as it stands
        }
        catch (const std::exception &)
        {
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Failed to parse " << path << ", ignore it";
        }
    }
    return items;
}

void ConfigFile::EncodeItems(std::vector<ByteVector> &out, const std::string &templateId, bool readMode)
{
    this->readMode = readMode;
    EncodeItems(out, templateId);
}

ItemNames ConfigFile::Names() const
{
    ItemNames names;
    for (const TemplateItem &item : templateItems)
    {
        names.push_back({ItemKeyOf(item), item.name});
    }
    return names;
}

void ConfigFile::EncodeItems(std::vector<ByteVector> &out, const std::string &templateId)
{
    if (!IsElement(root, "config"))
    {
        throw XmlFormatError("config node not found");
    }
    // A request without items would write nothing and say "Response ok", or read the whole
    // configuration, which has an option of its own.
    if (FirstChildElement(root) == nullptr)
    {
        throw XmlFormatError("Config file " + path + " names no item");
    }
    // The file carries the id of the template it was written for; another template may give
    // the same names other codes, so it is never applied with one of another id.
    const std::optional<std::string> writtenFor = AttributeText(root, "id");
    if (writtenFor && *writtenFor != templateId)
    {
        throw XmlFormatError("Config file " + path + " is for template " + QuotedValue(*writtenFor) +
                             ", not for template " + QuotedValue(templateId));
    }
    if (const std::optional<std::string> twice = NameGivenTwice(root))
    {
        throw XmlFormatError("Config item " + *twice + " is named twice in " + path);
    }
    LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Search for id " << templateId;

    templateItems = FindTemplateItems(templateId);
    const std::vector<TemplateItem> &items = templateItems;
    if (items.empty())
    {
        LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "Template file not found or empty";
        throw std::runtime_error("Template file not found");
    }

    for (const xmlNode *element = root->children; element != nullptr; element = element->next)
    {
        if (element->type != XML_ELEMENT_NODE)
        {
            continue;
        }
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Got " << NodeName(element);
        ValueText(element); // a value that holds more than text is refused for what it holds
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
        out.push_back(std::move(bytes));
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
    // An item we cannot encode would go missing from the request without the
    // user knowing, so the whole file is refused.
    if (found == nullptr)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Config item not found in the template file";
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Config item " << name << " in " << path << " is unknown";
        throw XmlFormatError("Config item " + name + " not found in the template");
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

void ConfigFile::RefuseValue(const xmlNode *element, const std::string &why) const
{
    const std::string name = NodeName(element);
    LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Config item " << name << " in " << path << ": " << why;
    throw XmlFormatError("Invalid value of config item " + name);
}

std::string ConfigFile::ValueText(const xmlNode *element) const
{
    std::string text;
    if (!ItemValueText(element, text))
    {
        RefuseValue(element, "value holds " + NodeKind(FirstNonTextChild(element)) + " besides its text");
    }
    return text;
}

void ConfigFile::EncodeFixedValue(const xmlNode *element, const TemplateItem &item, ByteVector &bytes) const
{
    // The length comes from the DIF's data field alone, as the decoder reads it
    // back; function and storage bits do not change it.
    const int length = std::clamp(mbus_dif_datalength_lookup(FirstDibByte(item.dib) & 0x0F), 0, 8);

    const std::string text = Trimmed(ValueText(element));
    ItemNumber number;
    if (text.empty())
    {
        // A read names the items it asks for; their values are placeholders.
        // An item without data has nothing to write.
        if (!readMode && length > 0)
        {
            LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "children node empty";
            RefuseValue(element, "no value to write");
        }
    }
    else
    {
        const NumberText read = ReadItemNumber(text, number);
        if (read == NumberText::NotANumber)
        {
            RefuseValue(element, "value " + QuotedValue(text) + " is not a number");
        }
        if (read == NumberText::TooLarge || !FitsLength(number, length))
        {
            RefuseValue(element, "value " + QuotedValue(text) + " does not fit in " + std::to_string(length) +
                                     (length == 1 ? " byte" : " bytes"));
        }
    }

    const uint64_t value = ValueBits(number);
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
    const std::string text = Trimmed(ValueText(element));
    if (readMode && text.empty())
    {
        bytes.insert(bytes.end(), AesKeyLength, 0x00);
        return;
    }

    // A key that is cut, padded or not hexadecimal would lock the module out
    // with a key nobody knows, so only exactly 32 hex digits are written.
    const std::string &key = text;
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
