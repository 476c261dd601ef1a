#include "Tolv_AnswerJudge.h"

#include "LogStatement.h"
#include "WMBH_HexText.h"

#include <algorithm>

namespace Tolv
{

namespace
{

bool HasKey(const std::vector<ItemRecord> &records, const ByteVector &key)
{
    return std::any_of(records.begin(), records.end(), [&key](const ItemRecord &r) { return r.key == key; });
}

bool Keyed(const ItemRecord &record)
{
    return !record.key.empty();
}

// Bytes that are no records on our side (a coding the reader does not know) can only be
// compared as bytes: the answer, fillers in front left out, starts with them.
bool StartsWithBytes(const uint8_t *answer, size_t size, const ByteVector &request)
{
    size_t start = 0;
    while (start < size && answer[start] == 0x2F)
    {
        ++start;
    }
    return size - start >= request.size() && std::equal(request.begin(), request.end(), answer + start);
}

} // namespace

AnswerVerdict JudgeAnswer(const uint8_t *answer, size_t size, const ByteVector &request)
{
    const std::vector<ItemRecord> asked = ReadItemRecords(request.data(), request.size());
    const std::vector<ItemRecord> got = ReadItemRecords(answer, size);

    const bool anyKeyed = std::any_of(got.begin(), got.end(), Keyed);
    const bool anyAsked =
        std::any_of(got.begin(), got.end(), [&asked](const ItemRecord &r) { return Keyed(r) && HasKey(asked, r.key); });
    if (anyKeyed && !anyAsked && std::any_of(asked.begin(), asked.end(), Keyed))
    {
        return AnswerVerdict::ForAnotherItem;
    }
    if (!std::all_of(asked.begin(), asked.end(), Keyed))
    {
        return StartsWithBytes(answer, size, request) ? AnswerVerdict::Confirms : AnswerVerdict::Differs;
    }
    // More records after those asked for (manufacturer data, say) take nothing away.
    const bool confirms = got.size() >= asked.size() && std::equal(asked.begin(), asked.end(), got.begin());
    return confirms ? AnswerVerdict::Confirms : AnswerVerdict::Differs;
}

void LogLateAnswer(const uint8_t *answer, size_t size, const ItemNames &names)
{
    const std::vector<ItemRecord> records = ReadItemRecords(answer, size);
    const auto first = std::find_if(records.begin(), records.end(), Keyed);
    const ByteVector key = first != records.end() ? first->key : ByteVector();
    LOG_LINE(LogLevel::Normal, LogModule::Tolv)
        << "Late answer for item " << ItemLabel(key, names) << ", resp: " << BytesToHex(answer, size);
}

} // namespace Tolv
