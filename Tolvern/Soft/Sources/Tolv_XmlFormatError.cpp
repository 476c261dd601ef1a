#include "Tolv_XmlFormatError.h"

namespace Tolv
{

XmlFormatError::XmlFormatError(const std::string &message) : std::runtime_error(message) {}

} // namespace Tolv
