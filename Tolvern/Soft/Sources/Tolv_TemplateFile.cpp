#include "Tolv_TemplateFile.h"

#include "LogStatement.h"
#include "Tolv_XmlFormatError.h"

#include <cstdlib>
#include <stdexcept>

namespace Tolv
{

namespace
{

// Template numbers are written "0x13" or "19"; only a lower-case "0x" with
// digits after it selects hexadecimal. A text that is no number gives 0.
uint32_t ParseTemplateNumber(const std::string &text)
{
    const bool hex = text.size() > 2 && text.compare(0, 2, "0x") == 0;
    return static_cast<uint32_t>(std::strtoull(text.c_str(), nullptr, hex ? 16 : 10));
}

int32_t ParseDecimal(const std::string &text)
{
    return static_cast<int32_t>(std::strtol(text.c_str(), nullptr, 10));
}

void ReadValidation(const xmlNode *validation, TemplateItem &item)
{
    for (const xmlNode *child = validation->children; child != nullptr; child = child->next)
    {
        if (IsElement(child, "regex"))
        {
            item.regex = NodeText(child);
        }
        else if (IsElement(child, "min"))
        {
            item.min = ParseDecimal(NodeText(child));
        }
        else if (IsElement(child, "max"))
        {
            item.max = ParseDecimal(NodeText(child));
        }
    }
}

} // namespace

TemplateFile::TemplateFile(const std::string &path)
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
        catch (const std::runtime_error &e)
        {
            LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "Failed to get template item, issue: " << e.what();
        }
    }
}

std::string TemplateFile::GetItemText(const xmlNode *node, const char *name)
{
    if (!IsElement(node, name))
    {
        throw std::runtime_error(std::string("Template item ") + name + " not found ");
    }
    return NodeText(node);
}

void TemplateFile::ParseTemplateItem(xmlNode *node, std::vector<TemplateItem> &items)
{
    TemplateItem item;
    item.name = GetItemText(node, "name");
    item.pretty_name = GetItemText(NextElement(node), "pretty_name");
    item.description = GetItemText(NextElement(node), "description");
    item.vib = ParseTemplateNumber(GetItemText(NextElement(node), "vib"));
    item.dib = ParseTemplateNumber(GetItemText(NextElement(node), "dib"));
    item.access_right = GetItemText(NextElement(node), "access_right");
    // Some node must stand in the validation place; only a validation element is read.
    if (IsElement(NextElement(node), "validation"))
    {
        ReadValidation(node, item);
    }
    item.section = GetItemText(NextElement(node), "section");

    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "Add " << item.ToString();
    items.push_back(item);
}

} // namespace Tolv
