#ifndef TOLV_VALUETEXT_H
#define TOLV_VALUETEXT_H

#include <optional>
#include <string>

namespace Tolv
{

// The blanks a stream skips before a number.
constexpr const char *Blanks = " \t\r\n\v\f";

// A value as our refusals quote it: in double quotes, a long one cut after 40 characters
// and marked with "...", so that the line still fits a terminal.
std::string QuotedValue(const std::string &value);

// The text without the blanks before and after it.
std::string Trimmed(const std::string &text);

// Values beyond this, either way, read as this: past every limit we check, so that no number of
// digits can overflow.
constexpr long long DecimalPastLimits = 1LL << 40;

// An optional sign and decimal digits, nothing else (callers strip the blanks they allow);
// nothing for any other text.
std::optional<long long> ReadDecimal(const std::string &text);

} // namespace Tolv

#endif
