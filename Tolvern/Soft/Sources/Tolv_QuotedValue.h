#ifndef TOLV_QUOTEDVALUE_H
#define TOLV_QUOTEDVALUE_H

#include <string>

namespace Tolv
{

// A value as our refusals quote it: in double quotes, a long one cut after 40 characters
// and marked with "...", so that the line still fits a terminal.
std::string QuotedValue(const std::string &value);

} // namespace Tolv

#endif
