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

// What a field holds besides its text, in the words of every such refusal.
std::string HoldsMore(const xmlNode *field)
{
    return std::string(NodeName(field)) + " holds " + NodeKind(FirstNonTextChild(field)) + " besides its text";
}

// The field's whole text. A field that a request is built from and that holds a comment, an
// element or an entity reference besides its text would be read in part, so it refuses the
// template.
std::string FieldText(const xmlNode *field, const std::string &item)
{
    std::string text;
    if (!ItemValueText(field, text))
    {
        throw TemplateFieldError("item " + item + ": " + HoldsMore(field));
    }
    return text;
}

// An item's child stands in its place under its name, or the item is malformed.
void RequireChild(const xmlNode *node, const char *name)
{
    if (!IsElement(node, name))
    {
        throw std::runtime_error(std::string("Template item ") + name + " not found ");
    }
}

// A field only the GUI uses: its text pieces, whatever stands between them; it never refuses.
std::string UnsentText(const xmlNode *node, const char *name)
{
    RequireChild(node, name);
    return JoinedText(node);
}

// The limits only the GUI checks against: a text that is no decimal number in 32 bits reads as 0.
int32_t UnsentLimit(const xmlNode *field)
{
    const std::optional<long long> value = ReadDecimal(Trimmed(JoinedText(field)));
    return value && *value >= INT32_MIN && *value <= INT32_MAX ? static_cast<int32_t>(*value) : 0;
}

void ReadValidation(const xmlNode *validation, TemplateItem &item)
{
    for (const xmlNode *child = validation->children; child != nullptr; child = child->next)
    {
        if (IsElement(child, "regex"))
        {
            item.regex = JoinedText(child);
        }
        else if (IsElement(child, "min"))
        {
            item.min = UnsentLimit(child);
        }
        else if (IsElement(child, "max"))
        {
            item.max = UnsentLimit(child);
        }
    }
}

// How a refusal names an item: its name's text, with entity references as written, so that a
// name made only of one does not show empty.
std::string NameAsWritten(const xmlNode *name)
{
    std::string text;
    for (const xmlNode *child = name != nullptr ? name->children : nullptr; child != nullptr; child = child->next)
    {
        if (child->type == XML_ENTITY_REF_NODE)
        {
            text += "&" + std::string(NodeName(child)) + ";";
        }
        else if ((child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) && child->content != nullptr)
        {
            text += reinterpret_cast<const char *>(child->content);
        }
    }
    return Trimmed(text);
}

// The label: a pretty_name made of no text at all but of something else (an entity, say) would
// show empty, so the item's name stands in for it.
std::string Label(const xmlNode *prettyName, const std::string &name)
{
    const std::string text = UnsentText(prettyName, "pretty_name");
    return Trimmed(text).empty() && FirstNonTextChild(prettyName) != nullptr ? name : text;
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
    if (id->children == nullptr)
    {
        LOG_LINE(LogLevel::Warning, LogModule::Tolv) << "template id content not found";
        throw XmlFormatError("template id content not found");
    }
    return id;
}

std::string TemplateFile::GetTemplateId() const
{
    const xmlNode *id = IdNode();
    std::string text;
    if (!ItemValueText(id, text))
    {
        throw TemplateIdError("Template file " + path + ": " + HoldsMore(id), JoinedText(id));
    }
    return text;
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
    RequireChild(node, name);
    return FieldText(node, item);
}

void TemplateFile::ParseTemplateItem(xmlNode *node, std::vector<TemplateItem> &items)
{
    TemplateItem item;
    item.name = GetItemText(node, "name", NameAsWritten(node));
    item.pretty_name = Label(NextElement(node), item.name);
    item.description = UnsentText(NextElement(node), "description");
    item.vib = ParseTemplateNumber(item.name, "vib", GetItemText(NextElement(node), "vib", item.name));
    item.dib = ParseTemplateNumber(item.name, "dib", GetItemText(NextElement(node), "dib", item.name));
    item.access_right = UnsentText(NextElement(node), "access_right");
    // Some node must stand in the validation place; only a validation element is read.
    if (IsElement(NextElement(node), "validation"))
    {
        ReadValidation(node, item);
    }
    item.section = UnsentText(NextElement(node), "section");

    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Add " << item.ToString();
    items.push_back(item);
}

} // namespace Tolv
