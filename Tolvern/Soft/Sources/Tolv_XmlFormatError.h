#ifndef TOLV_XMLFORMATERROR_H
#define TOLV_XMLFORMATERROR_H

#include <stdexcept>
#include <string>

namespace Tolv
{

// A template or configuration file whose structure is wrong.
class XmlFormatError : public std::runtime_error
{
public:
    explicit XmlFormatError(const std::string &message);
};

} // namespace Tolv

#endif
