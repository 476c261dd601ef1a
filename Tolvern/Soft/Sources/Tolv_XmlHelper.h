#ifndef TOLV_XMLHELPER_H
#define TOLV_XMLHELPER_H

#include <libxml/tree.h>

#include <memory>
#include <optional>
#include <string>

namespace Tolv
{

struct XmlDocFree
{
    void operator()(xmlDoc *doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

// Reads a template or configuration file. On success document owns the tree
// and root is its root element. Throws std::runtime_error "Can't open file"
// (missing path), "Cannot load xml file" (not a document), XmlFormatError
// "File is not well-formed XML" (libxml2 reported an error, even one its
// recovery got past; the error line names the file and the line) and
// XmlFormatError "Cannot get node ptr" (no element); in that last case
// document already holds the tree. The file can never make us read another
// file or the network.
void ReadXmlFile(const std::string &path, XmlDocPtr &document, xmlNode *&root);

// libxml2's generic error function: the parser's complaints become trace lines.
void XmlErrorHandler(void *context, const char *format, ...);

// Steps node to its next sibling (of any kind) and returns it; throws
// std::runtime_error "next ptr empty" when there is none.
xmlNode *NextElement(xmlNode *&node);

// Whether node is an element named name.
bool IsElement(const xmlNode *node, const char *name);

// The first child of node that is an element, or nullptr.
const xmlNode *FirstChildElement(const xmlNode *node);

// The node's name as text.
const char *NodeName(const xmlNode *node);

// The text of node's first child when that child is text, else empty.
std::string NodeText(const xmlNode *node);

// Whether node's first child is a text node.
bool HasText(const xmlNode *node);

// The first child of element that is not text (a comment, an element, an entity reference
// that was not expanded...), or nullptr when its whole content is text.
const xmlNode *FirstNonTextChild(const xmlNode *element);

// What a node that is not text is, for a refusal: "a comment", "an element <b>",
// "an entity reference &v;" and the like.
std::string NodeKind(const xmlNode *node);

// The element's text pieces joined, whatever stands between them.
std::string JoinedText(const xmlNode *element);

// The element's whole content, its text pieces joined, when it is text only. A comment, an
// element or an entity reference inside would leave us reading half a value, so then the
// content is unreadable: false, and text empty. Template fields and configuration values are
// both read through here.
bool ItemValueText(const xmlNode *element, std::string &text);

// The attribute's value, or nothing when the element has no such attribute.
std::optional<std::string> AttributeText(const xmlNode *element, const char *name);

} // namespace Tolv

#endif
