#ifndef TOLV_TEMPLATEFILE_H
#define TOLV_TEMPLATEFILE_H

#include "Tolv_TemplateItem.h"
#include "Tolv_XmlHelper.h"

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace Tolv
{

// A field of a template item that a request is built from and that cannot be read as it stands:
// a number field (vib, dib) that holds no number or one past 32 bits, or a field (name, vib,
// dib) that holds more than its text (a comment, an element, an entity reference). Unlike a
// malformed item, which is left out, it refuses the whole template: such an item would address
// the module by a number nobody wrote. The text names the file, the item and the field:
// "Template file <path>, item <name>: vib "0xZZ" is not a number".
class TemplateFieldError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A template id that holds more than its text. Its text pieces joined tell whether it is the
// template asked for, which is then refused rather than passed over.
class TemplateIdError : public TemplateFieldError
{
public:
    TemplateIdError(const std::string &message, std::string joinedId)
        : TemplateFieldError(message), joinedId(std::move(joinedId))
    {
    }
    const std::string &JoinedId() const { return joinedId; }

private:
    std::string joinedId;
};

// One template file: an id followed by a container of config items.
class TemplateFile
{
public:
    // Reads the file; throws what ReadXmlFile throws.
    explicit TemplateFile(const std::string &path);

    // The id's whole text. Throws XmlFormatError when the root does not start with an id element
    // holding text, and TemplateIdError when the id holds more than text.
    std::string GetTemplateId() const;

    // Appends the template's items. A malformed item is left out (debug line); a missing
    // container throws XmlFormatError, a field that cannot be read as it stands TemplateFieldError.
    void GetTemplateItems(std::vector<TemplateItem> &items) const;

    // Reads the item whose first child is node and appends it; throws
    // std::runtime_error when a child is missing, misnamed or misplaced, and
    // TemplateFieldError (without the file) for a field that a request is built from (name,
    // vib, dib) and that cannot be read as it stands. The fields only the GUI uses never
    // refuse the item: their text pieces are taken, whatever stands between them.
    static void ParseTemplateItem(xmlNode *node, std::vector<TemplateItem> &items);

    // node's whole text when node is an element named name (empty without text); otherwise
    // throws std::runtime_error "Template item <name> not found ". item names the item for
    // the TemplateFieldError of a field that holds more than its text.
    static std::string GetItemText(const xmlNode *node, const char *name, const std::string &item);

private:
    const xmlNode *IdNode() const;

    std::string path;
    XmlDocPtr document;
    xmlNode *root = nullptr;
};

} // namespace Tolv

#endif
