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

// Text as the readers take it: plain text or a CDATA section.
bool IsText(const xmlNode *node)
{
    return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

// Recover from errors (the parser reads on and tells all it finds; a file it
// complained about is refused all the same), drop whitespace-only text, and
// never touch the network.
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

// The first complaint of libxml2 above a warning while reading one file. Its
// recovery mode builds a tree from nearly anything (a missing close tag
// swallows the elements after it), so such a file must not be used.
struct ParseComplaint
{
    bool seen = false;
    int line = 0;
    std::string message;
};

// libxml2 hands its structured errors the parser context, whose spare
// pointer carries the complaint of the file being read.
void CollectComplaint(void *data, xmlErrorPtr error)
{
    if (error == nullptr)
    {
        return;
    }
    const char *message = error->message != nullptr ? error->message : "";
    XmlErrorHandler(nullptr, "%s", message);
    auto *context = static_cast<xmlParserCtxt *>(data);
    auto *complaint = context != nullptr ? static_cast<ParseComplaint *>(context->_private) : nullptr;
    if (complaint == nullptr || error->level < XML_ERR_ERROR || complaint->seen)
    {
        return;
    }
    complaint->seen = true;
    complaint->line = error->line;
    complaint->message = message;
    if (!complaint->message.empty() && complaint->message.back() == '\n')
    {
        complaint->message.pop_back();
    }
}

struct ParserContextFree
{
    void operator()(xmlParserCtxt *context) const { xmlFreeParserCtxt(context); }
};

// Parses the bytes into document (left empty when libxml2 could not build
// one); complaint receives the first error libxml2 reported.
void ParseDocument(const std::vector<char> &bytes, const std::string &path, XmlDocPtr &document,
                   ParseComplaint &complaint)
{
    document.reset();
    std::unique_ptr<xmlParserCtxt, ParserContextFree> context(xmlNewParserCtxt());
    if (!context || context->sax == nullptr)
    {
        return;
    }
    context->_private = &complaint;
    context->sax->serror = CollectComplaint;
    document.reset(xmlCtxtReadMemory(context.get(), bytes.data(), static_cast<int>(bytes.size()), path.c_str(), nullptr,
                                     XmlReadOptions));
    if (!complaint.seen && (context->wellFormed == 0 || context->nsWellFormed == 0))
    {
        complaint.seen = true; // not well-formed without a word from libxml2: still refused
    }
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
    ParseComplaint complaint;
    document.reset();
    if (ReadWholeFile(path, bytes) && !bytes.empty())
    {
        ParseDocument(bytes, path, document, complaint);
    }
    if (complaint.seen)
    {
        document.reset();
        LOG_LINE(LogLevel::Error, LogModule::Tolv)
            << "Not well-formed XML in " << path << ", line " << complaint.line << ": " << complaint.message;
        throw XmlFormatError("File is not well-formed XML");
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

const xmlNode *FirstChildElement(const xmlNode *node)
{
    for (const xmlNode *child = node != nullptr ? node->children : nullptr; child != nullptr; child = child->next)
    {
        if (child->type == XML_ELEMENT_NODE)
        {
            return child;
        }
    }
    return nullptr;
}

const char *NodeName(const xmlNode *node)
{
    return reinterpret_cast<const char *>(node->name);
}

bool HasText(const xmlNode *node)
{
    const xmlNode *child = node != nullptr ? node->children : nullptr;
    return child != nullptr && IsText(child) && child->content != nullptr;
}

std::string NodeText(const xmlNode *node)
{
    if (!HasText(node))
    {
        return std::string();
    }
    return reinterpret_cast<const char *>(node->children->content);
}

const xmlNode *FirstNonTextChild(const xmlNode *element)
{
    for (const xmlNode *child = element != nullptr ? element->children : nullptr; child != nullptr; child = child->next)
    {
        if (!IsText(child))
        {
            return child;
        }
    }
    return nullptr;
}

std::string NodeKind(const xmlNode *node)
{
    const std::string name = node->name != nullptr ? NodeName(node) : "";
    switch (node->type)
    {
    case XML_COMMENT_NODE:
        return "a comment";
    case XML_ELEMENT_NODE:
        return "an element <" + name + ">";
    case XML_ENTITY_REF_NODE:
        return "an entity reference &" + name + ";";
    case XML_PI_NODE:
        return "a processing instruction";
    default:
        return "content other than text";
    }
}

std::string JoinedText(const xmlNode *element)
{
    std::string text;
    for (const xmlNode *child = element != nullptr ? element->children : nullptr; child != nullptr; child = child->next)
    {
        if (IsText(child) && child->content != nullptr)
        {
            text += reinterpret_cast<const char *>(child->content);
        }
    }
    return text;
}

bool ItemValueText(const xmlNode *element, std::string &text)
{
    if (FirstNonTextChild(element) != nullptr)
    {
        text.clear();
        return false;
    }
    text = JoinedText(element);
    return true;
}

std::optional<std::string> AttributeText(const xmlNode *element, const char *name)
{
    const xmlChar *attribute = reinterpret_cast<const xmlChar *>(name);
    if (element == nullptr || xmlHasProp(element, attribute) == nullptr)
    {
        return std::nullopt;
    }
    xmlChar *value = xmlGetProp(element, attribute);
    std::string text = value != nullptr ? reinterpret_cast<const char *>(value) : "";
    xmlFree(value);
    return text;
}

} // namespace Tolv
