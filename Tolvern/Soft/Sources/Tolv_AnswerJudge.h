#ifndef TOLV_ANSWERJUDGE_H
#define TOLV_ANSWERJUDGE_H

#include "Tolv_ItemRecords.h"

#include <cstddef>
#include <cstdint>

namespace Tolv
{

// What a module's answer to a configuration request says of that request.
enum class AnswerVerdict
{
    Confirms,       // its records start with those of the request, values and all
    Differs,        // an answer to the request that does not hold what was asked for
    ForAnotherItem, // its records are all for items the request does not name
};

// Judges the answer's data against the request bytes, fillers (2F) anywhere between the records
// of either left out. An answer with no records at all is the request's, and differs from it.
AnswerVerdict JudgeAnswer(const uint8_t *answer, size_t size, const ByteVector &request);

// "Late answer for item <name>, resp: <data>": an answer for another item than the one awaited,
// named by the key of its first record.
void LogLateAnswer(const uint8_t *answer, size_t size, const ItemNames &names);

} // namespace Tolv

#endif
