#ifndef TOLV_MISSINGFRAMELIST_H
#define TOLV_MISSINGFRAMELIST_H

#include "WMBH_Frame.h"

#include <string>
#include <vector>

namespace Tolv
{

// What the missing-frame list of -f holds: the access number of the missing frame and the
// ranges of frames to send again. offset and count are those of the last range (or the
// defaults), for the trace line of the request.
struct MissingFrameList
{
    int acc = 23;
    unsigned offset = 4;
    int count = 2;
    std::vector<MissingFrameRange> ranges;
};

// Decimal numbers separated by single commas, blanks allowed before each: the access number
// (0 to 255), then complete pairs of an offset (0 to 4294967295) and a count (0 to 255). An
// empty text keeps the defaults (access number 23, no range). Anything else is refused before
// the request is built: std::runtime_error "Invalid missing frame list "<text>": <reason>".
MissingFrameList ParseMissingFrameList(const std::string &text);

// The refusal of a list that parsed but does not fit in one request frame.
std::string MissingFrameListTooLong(const std::string &text, size_t ranges);

} // namespace Tolv

#endif
