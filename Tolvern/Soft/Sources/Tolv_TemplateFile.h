#ifndef TOLV_TEMPLATEFILE_H
#define TOLV_TEMPLATEFILE_H

#include "Tolv_TemplateItem.h"
#include "Tolv_XmlHelper.h"

#include <string>
#include <vector>

namespace Tolv
{

// One template file: an id followed by a container of config items.
class TemplateFile
{
public:
    // Reads the file; throws what ReadXmlFile throws.
    explicit TemplateFile(const std::string &path);

    // Throws XmlFormatError when the root does not start with an id element holding text.
    std::string GetTemplateId() const;

    // Appends the template's items. A malformed item is left out (debug line);
    // a missing container throws XmlFormatError.
    void GetTemplateItems(std::vector<TemplateItem> &items) const;

    // Reads the item whose first child is node and appends it; throws
    // std::runtime_error when a child is missing, misnamed or misplaced.
    static void ParseTemplateItem(xmlNode *node, std::vector<TemplateItem> &items);

    // node's text when node is an element named name (empty without text);
    // otherwise throws std::runtime_error "Template item <name> not found ".
    static std::string GetItemText(const xmlNode *node, const char *name);

private:
    const xmlNode *IdNode() const;

    XmlDocPtr document;
    xmlNode *root = nullptr;
};

} // namespace Tolv

#endif
