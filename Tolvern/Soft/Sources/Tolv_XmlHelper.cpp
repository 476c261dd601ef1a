#include "Tolv_XmlHelper.h"

#include "LogStatement.h"
#include "Tolv_XmlFormatError.h"

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdarg>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace Tolv
{

namespace
{

// Templates and configuration files are a few kilobytes; anything near this
// is not one of them, and reading it whole would only eat memory.
constexpr std::uintmax_t MaxXmlFileSize = 16 * 1024 * 1024;

// Recover from errors and keep what was parsed, drop whitespace-only text,
// and never touch the network.
constexpr int XmlReadOptions = XML_PARSE_RECOVER | XML_PARSE_NOBLANKS | XML_PARSE_NONET;

// A configuration file comes from the user's side: a DOCTYPE in it must not
// make us open another file or a URL, so every external entity is refused.
xmlParserInputPtr RefuseExternalEntity(const char *url, const char *, xmlParserCtxtPtr)
{
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "libxml2: external entity refused " << (url != nullptr ? url : "");
    return nullptr;
}

void SetUpParser()
{
    xmlSetGenericErrorFunc(nullptr, XmlErrorHandler);
    xmlSetExternalEntityLoader(RefuseExternalEntity);
    xmlInitParser();
}

// The parser sees the file only as bytes in memory: libxml2 would otherwise
// open the main document through the same entity loader we close above.
bool ReadWholeFile(const std::filesystem::path &path, std::vector<char> &bytes)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
    {
        return false;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > MaxXmlFileSize)
    {
        return false;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in)
    {
        return false;
    }
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad() && bytes.size() <= MaxXmlFileSize;
}

} // namespace

void XmlErrorHandler(void *, const char *format, ...)
{
    char buffer[256];
    va_list args;
    va_start(args, format);
    const int written = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (written < 0)
    {
        return;
    }
    std::string text(buffer);
    if (!text.empty())
    {
        text.pop_back(); // libxml2 ends its messages with a line end
    }
    LOG_LINE(LogLevel::Trace, LogModule::Tolv) << "libxml2: " << text;
}

void ReadXmlFile(const std::string &path, XmlDocPtr &document, xmlNode *&root)
{
    LOG_LINE(LogLevel::Debug, LogModule::Tolv) << "ReadXmlFile " << path;
    SetUpParser();

    if (!std::filesystem::exists(std::filesystem::path(path)))
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Can't read file";
        throw std::runtime_error("Can't open file");
    }

    std::vector<char> bytes;
    if (ReadWholeFile(path, bytes) && !bytes.empty())
    {
        document.reset(
            xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), path.c_str(), nullptr, XmlReadOptions));
    }
    else
    {
        document.reset();
    }
    if (!document)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Load config file failed " << path;
        throw std::runtime_error("Cannot load xml file");
    }

    root = xmlDocGetRootElement(document.get());
    if (root == nullptr)
    {
        LOG_LINE(LogLevel::Error, LogModule::Tolv) << "Cannot get node ptr";
        throw XmlFormatError("Cannot get node ptr");
    }
}

xmlNode *NextElement(xmlNode *&node)
{
    if (node == nullptr || node->next == nullptr)
    {
        throw std::runtime_error("next ptr empty");
    }
    node = node->next;
    return node;
}

bool IsElement(const xmlNode *node, const char *name)
{
    return node != nullptr && node->type == XML_ELEMENT_NODE &&
           xmlStrEqual(node->name, reinterpret_cast<const xmlChar *>(name));
}

const char *NodeName(const xmlNode *node)
{
    return reinterpret_cast<const char *>(node->name);
}

bool HasText(const xmlNode *node)
{
    const xmlNode *child = node != nullptr ? node->children : nullptr;
    return child != nullptr && (child->type == XML_TEXT_NODE || child->type == XML_CDATA_SECTION_NODE) &&
           child->content != nullptr;
}

std::string NodeText(const xmlNode *node)
{
    if (!HasText(node))
    {
        return std::string();
    }
    return reinterpret_cast<const char *>(node->children->content);
}

} // namespace Tolv
