#include "Tolv_TemplateItem.h"

#include <sstream>

namespace Tolv
{

std::string TemplateItem::ToString() const
{
    std::ostringstream out;
    out << name << ", " << pretty_name << ", " << description << ", " << std::hex << vib << ", " << dib << std::dec
        << ", " << access_right << ", " << regex << ", " << min << ", " << max << ", " << section;
    return out.str();
}

} // namespace Tolv
