#ifndef TOLV_CONFIGFILE_H
#define TOLV_CONFIGFILE_H

#include "Tolv_ItemRecords.h"
#include "Tolv_TemplateItem.h"
#include "Tolv_XmlHelper.h"

#include <cstdint>
#include <string>
#include <vector>

namespace Tolv
{

// The DIB and VIB bytes of a template item, as every request for it starts.
ByteVector ItemKeyOf(const TemplateItem &item);

// A module configuration file turned into configuration-request bytes with the
// matching template: per item its DIB, its VIB and its value.
class ConfigFile
{
public:
    // Reads the file (throws what ReadXmlFile throws); templateFiles are the
    // candidate template paths, searched in order.
    ConfigFile(const std::string &path, std::vector<std::string> templateFiles);

    // Appends every item's bytes, in file order.
    void EncodePayload(ByteVector &out, const std::string &templateId, bool readMode);

    // One byte vector per element of the file, in file order. Throws when the
    // root is not "config", when the root's id (if it has one) is not templateId,
    // when the file names no item or an item twice, when no template has the id, and on the first
    // element the template does not know or whose value cannot be sent as it
    // stands (no number in the item's notation, a number beyond the item's
    // length, no value to write, more than text); the error line names the item and the file.
    void EncodeItems(std::vector<ByteVector> &out, const std::string &templateId);
    // The same in read or write mode.
    void EncodeItems(std::vector<ByteVector> &out, const std::string &templateId, bool readMode);

    // The name and key of every item of the template the last encoding used.
    ItemNames Names() const;

    void EncodeItem(const xmlNode *element, ByteVector &bytes, const std::vector<TemplateItem> &items) const;
    void EncodeFixedValue(const xmlNode *element, const TemplateItem &item, ByteVector &bytes) const;
    void EncodeLvarValue(const xmlNode *element, const TemplateItem &item, ByteVector &bytes) const;

private:
    std::vector<TemplateItem> FindTemplateItems(const std::string &templateId) const;
    [[noreturn]] void RefuseValue(const xmlNode *element, const std::string &why) const;
    // The element's whole text; an element that holds more than text is refused.
    std::string ValueText(const xmlNode *element) const;

    std::string path;
    XmlDocPtr document;
    xmlNode *root = nullptr;
    bool readMode = false;
    std::vector<std::string> templateFiles;
    std::vector<TemplateItem> templateItems;
};

} // namespace Tolv

#endif
