#ifndef TOLV_TEMPLATEITEM_H
#define TOLV_TEMPLATEITEM_H

#include <cstdint>
#include <string>

namespace Tolv
{

// One configuration item of a template: how a module parameter is addressed.
struct TemplateItem
{
    std::string name;
    std::string pretty_name;
    std::string description;
    uint32_t vib = 0; // VIF and VIFEs, right-aligned
    uint32_t dib = 0; // DIF and DIFEs, right-aligned
    std::string access_right;
    // Only the GUI checks input against these; we keep them for the trace line.
    std::string regex;
    int32_t min = 0;
    int32_t max = 0;
    std::string section;

    // The ten fields joined by ", ", vib and dib in lower-case hexadecimal.
    std::string ToString() const;
};

} // namespace Tolv

#endif
