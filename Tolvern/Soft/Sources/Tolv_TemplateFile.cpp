#include "Tolv_TemplateFile.h"

#include "LogStatement.h"
#include "Tolv_ValueText.h"
#include "Tolv_XmlFormatError.h"

#include <cctype>
#include <cstdint>
#include <optional>
#include <stdexcept>

namespace Tolv
{

namespace
{

// Digits of the base and nothing else, into a value that may not pass max.
enum class DigitsRead
{
    Number,
    NotANumber,
    TooLarge,
};

DigitsRead ReadDigits(const std::string &digits, int base, uint64_t max, uint64_t &value)
{
    if (digits.empty())
    {
        return DigitsRead::NotANumber;
    }
    value = 0;
    bool tooLarge = false;
    for (const char c : digits)
    {
        const bool decimal = c >= '0' && c <= '9';
        const bool hex = base == 16 && std::isxdigit(static_cast<unsigned char>(c));
        if (!decimal && !hex)
        {
            return DigitsRead::NotANumber;
        }
        const uint64_t digit =
            decimal ? uint64_t(c - '0') : uint64_t(std::tolower(static_cast<unsigned char>(c)) - 'a' + 10);
        value = value * uint64_t(base) + digit;
        if (value > max)
        {
            tooLarge = true;
            value = max; // keeps the next multiplication in range
        }
    }
    return tooLarge ? DigitsRead::TooLarge : DigitsRead::Number;
}

[[noreturn]] void RefuseNumber(const std::string &item, const char *field, const std::string &text, DigitsRead read)
{
    throw TemplateFieldError("item " + item + ": " + field + " " + QuotedValue(text) +
                             (read == DigitsRead::TooLarge ? " does not fit in 32 bits" : " is not a number"));
}

// vib and dib are written "0x13" or "19": only a lower-case "0x" with digits after it selects
// hexadecimal. Anything else in the text would have the module addressed by a number nobody wrote.
// An element without text reads as 0.
uint32_t ParseTemplateNumber(const std::string &item, const char *field, const std::string &raw)
{
    const std::string text = Trimmed(raw);
    if (text.empty())
    {
        return 0;
    }
    const bool hex = text.size() > 2 && text.compare(0, 2, "0x") == 0;
    uint64_t value = 0;
    const DigitsRead read = ReadDigits(hex ? text.substr(2) : text, hex ? 16 : 10, UINT32_MAX, value);
    if (read != DigitsRead::Number)
    {
        RefuseNumber(item, field, text, read);
    }
    return static_cast<uint32_t>(value);
}

// The limits are decimal, with a sign when they need one; an element without text reads as 0.
int32_t ParseDecimal(const std::string &item, const char *field, const std::string &raw)
{
    const std::string text = Trimmed(raw);
    if (text.empty())
    {
        return 0;
    }
    const std::optional<long long> value = ReadDecimal(text);
    if (!value)
    {
        RefuseNumber(item, field, text, DigitsRead::NotANumber);
    }
    if (*value < INT32_MIN || *value > INT32_MAX)
    {
        RefuseNumber(item, field, text, DigitsRead::TooLarge);
    }
    return static_cast<int32_t>(*value);
}

// The field's whole text. A field that holds a comment, an element or an entity reference
// besides its text would be read in part, so it refuses the template.
std::string FieldText(const xmlNode *field, const std::string &item)
{
    std::string text;
    if (!ItemValueText(field, text))
    {
        throw TemplateFieldError("item " + item + ": " + NodeName(field) + " holds " +
                                 NodeKind(FirstNonTextChild(field)) + " besides its text");
    }
    return text;
}

void ReadValidation(const xmlNode *validation, TemplateItem &item)
{
    for (const xmlNode *child = validation->children; child != nullptr; child = child->next)
    {
        if (IsElement(child, "regex"))
        {
            item.regex = FieldText(child, item.name);
        }
        else if (IsElement(child, "min"))
        {
            item.min = ParseDecimal(item.name, "min", FieldText(child, item.name));
        }
        else if (IsElement(child, "max"))
        {
            item.max = ParseDecimal(item.name, "max", FieldText(child, item.name));
        }
    }
}

} // namespace

TemplateFile::TemplateFile(const std::string &path) : path(path)
{
    ReadXmlFile(path, document, root);
}

const xmlNode *TemplateFile::IdNode() const
{
    const xmlNode *id = root->children;
    if (!IsElement(id, "id"))
    {
        LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "template id not found";
        throw XmlFormatError("template id not found");
    }
    if (!HasText(id))
    {
        LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "template id content not found";
        throw XmlFormatError("template id content not found");
    }
    return id;
}

std::string TemplateFile::GetTemplateId() const
{
    return NodeText(IdNode());
}

void TemplateFile::GetTemplateItems(std::vector<TemplateItem> &items) const
{
    // The GUI insists on "configs"; we take whatever node follows the id. A comment
    // there holds no items, and the GUI refuses such a file as well.
    const xmlNode *container = IdNode()->next;
    if (container == nullptr)
    {
        throw XmlFormatError("template configs tag not found");
    }

    for (xmlNode *child = container->children; child != nullptr; child = child->next)
    {
        if (child->type != XML_ELEMENT_NODE)
        {
            continue;
        }
        LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Got " << NodeName(child);
        if (!IsElement(child, "config"))
        {
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "No config item found, ignore it";
            continue;
        }
        try
        {
            ParseTemplateItem(child->children, items);
        }
        catch (const TemplateFieldError &e)
        {
            // Not an item to leave out: what the template says cannot be read, so none of it is used.
            throw TemplateFieldError("Template file " + path + ", " + e.what());
        }
        catch (const std::runtime_error &e)
        {
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Failed to get template item, issue: " << e.what();
        }
    }
}

std::string TemplateFile::GetItemText(const xmlNode *node, const char *name, const std::string &item)
{
    if (!IsElement(node, name))
    {
        throw std::runtime_error(std::string("Template item ") + name + " not found ");
    }
    return FieldText(node, item);
}

void TemplateFile::ParseTemplateItem(xmlNode *node, std::vector<TemplateItem> &items)
{
    TemplateItem item;
    item.name = GetItemText(node, "name", Trimmed(JoinedText(node)));
    item.pretty_name = GetItemText(NextElement(node), "pretty_name", item.name);
    item.description = GetItemText(NextElement(node), "description", item.name);
    item.vib = ParseTemplateNumber(item.name, "vib", GetItemText(NextElement(node), "vib", item.name));
    item.dib = ParseTemplateNumber(item.name, "dib", GetItemText(NextElement(node), "dib", item.name));
    item.access_right = GetItemText(NextElement(node), "access_right", item.name);
    // Some node must stand in the validation place; only a validation element is read.
    if (IsElement(NextElement(node), "validation"))
    {
        ReadValidation(node, item);
    }
    item.section = GetItemText(NextElement(node), "section", item.name);

    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Add " << item.ToString();
    items.push_back(item);
}

} // namespace Tolv
