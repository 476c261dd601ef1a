// Compact profiles rendered as record lines: one time-point line and one
// value line per element of the series.

#include "mbus-protocol.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace
{

// Writes into caller storage what fits, keeps it terminated and counts what
// the whole text needs, so that a caller whose buffer was too small can grow
// it and render again (the same contract as snprintf).
class LineWriter
{
public:
    LineWriter(char *buffer, size_t capacity) : buffer_(buffer), capacity_(buffer ? capacity : 0)
    {
        if (capacity_ > 0)
            buffer_[0] = '\0';
    }

    void Printf(const char *format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        char *tail = needed_ < capacity_ ? buffer_ + needed_ : nullptr;
        size_t room = needed_ < capacity_ ? capacity_ - needed_ : 0;
        int n = std::vsnprintf(tail, room, format, args);
        va_end(args);
        if (n > 0)
            needed_ += static_cast<size_t>(n);
        // A line that did not fit whole is taken back: no half lines.
        if (needed_ >= capacity_ && capacity_ > 0 && tail)
            *tail = '\0';
    }

    size_t Needed() const { return needed_; }

private:
    char *buffer_;
    size_t capacity_;
    size_t needed_ = 0;
};

// Element codes of the spacing control: bytes taken and how the value reads.
enum class ElementKind
{
    Integer,
    Real,
    Bcd,
    Invalid
};

struct ElementEntry
{
    int code;
    size_t size;
    ElementKind kind;
};

constexpr ElementEntry kElements[] = {
    {1, 1, ElementKind::Integer}, {2, 2, ElementKind::Integer}, {3, 3, ElementKind::Integer},
    {4, 4, ElementKind::Integer}, {5, 4, ElementKind::Real},    {6, 6, ElementKind::Integer},
    {7, 8, ElementKind::Integer}, {9, 1, ElementKind::Bcd},     {10, 2, ElementKind::Bcd},
    {11, 3, ElementKind::Bcd},    {12, 4, ElementKind::Bcd},    {14, 6, ElementKind::Bcd},
};

ElementEntry LookupElement(int code)
{
    for (const auto &entry : kElements)
        if (entry.code == code)
            return entry;
    return {code, 1, ElementKind::Invalid};
}

// The reference value's own data read by its DIF, like an element of that code.
bool DecodeReference(const mbus_data_record *record, long long &integer, double &real)
{
    ElementEntry entry = LookupElement(record->dif & MBUS_DATA_RECORD_DIF_MASK_DATA);
    if (entry.kind == ElementKind::Invalid)
        return false;
    // The record's buffer always holds the element, read as zeros past data_len.
    switch (entry.kind)
    {
    case ElementKind::Integer:
        mbus_data_long_long_decode(record->data, entry.size, &integer);
        break;
    case ElementKind::Real:
        real = mbus_data_float_decode(record->data);
        break;
    default:
        integer = mbus_data_bcd_decode(record->data, entry.size);
        break;
    }
    return true;
}

} // namespace

size_t mbus_data_record_xml_head(char *buffer, size_t capacity, const mbus_data_record *record, long long storage,
                                 const char *unit)
{
    LineWriter out(buffer, capacity);
    if (!record)
        return 0;
    // Only the plain-text unit comes from the radio; the other unit texts
    // carry their own vife attribute and go in as they are.
    char safeUnit[(MBUS_PLAIN_UNIT_LENGTH_MAX + 16) * 8];
    if ((record->vif & 0x7F) == MBUS_VIF_PLAIN_TEXT)
    {
        mbus_xml_safe(safeUnit, unit, sizeof safeUnit);
        unit = safeUnit;
    }
    out.Printf("        <record type=\"%s\" unit=\"%s\" storage=\"%lld\"", mbus_data_record_function(record),
               unit ? unit : "", storage);
    if (record->ndife > 0)
        out.Printf(" tariff=\"%ld\" subunit=\"%d\"", mbus_data_record_tariff(record), mbus_data_record_subunit(record));
    return out.Needed();
}

size_t mbus_compact_time_xml(char *buffer, size_t capacity, const mbus_data_record *profile, unsigned char time_vif,
                             long long storage, const struct tm *time)
{
    LineWriter out(buffer, capacity);
    if (!profile || !time || (time_vif != 0x6C && time_vif != 0x6D))
        return 0;
    const uint32_t year = static_cast<uint32_t>(time->tm_year);
    const uint32_t month = static_cast<uint32_t>(time->tm_mon + 1);
    const uint32_t day = static_cast<uint32_t>(time->tm_mday);
    uint32_t packed = 0;
    const char *unit = nullptr;
    if (time_vif == 0x6C)
    {
        // Type G.
        unit = "Time Point (date)";
        packed = ((year & 0x78) << 9) | ((year & 0x07) << 5) | ((month << 8) & 0xF00) | day;
    }
    else
    {
        // Type F, built up as the meter packs it; unsigned, so no shift can overflow.
        unit = "Time Point (time / date)";
        packed = (year & 0x70) | (year << 7);
        packed = (packed << 5) | day;
        packed = (packed << 1) | (time->tm_isdst > 0 ? 1u : 0u);
        packed = (packed << 2) | ((static_cast<uint32_t>(time->tm_year + 1900) / 100) & 0x03);
        packed = (packed << 5) | static_cast<uint32_t>(time->tm_hour);
        packed = (packed << 8) | (month << 24) | static_cast<uint32_t>(time->tm_min);
    }
    char head[2048];
    mbus_data_record_xml_head(head, sizeof head, profile, storage, unit);
    out.Printf("%s>%d</record>\n", head, static_cast<int32_t>(packed));
    return out.Needed();
}

size_t mbus_compact_value_xml(char *buffer, size_t capacity, const mbus_data_record *profile, long long storage,
                              int code, long long value)
{
    LineWriter out(buffer, capacity);
    if (!profile)
        return 0;
    char head[2048];
    mbus_data_record_xml_head(head, sizeof head, profile, storage, mbus_vib_unit_lookup(profile));
    const unsigned long long bits = static_cast<unsigned long long>(value);
    switch (code)
    {
    case 1:
        out.Printf("%s>%u</record>\n", head, static_cast<unsigned int>(bits & 0xFF));
        break;
    case 2:
        out.Printf("%s>%u</record>\n", head, static_cast<unsigned int>(bits & 0xFFFF));
        break;
    case 3:
        out.Printf("%s>%u</record>\n", head, static_cast<unsigned int>(bits & 0xFFFFFFFF));
        break;
    case 4:
    case 9:
    case 10:
    case 11:
    case 12:
        out.Printf("%s>%d</record>\n", head, static_cast<int32_t>(static_cast<uint32_t>(bits)));
        break;
    case 6:
    case 7:
    case 14:
        out.Printf("%s>%lld</record>\n", head, value);
        break;
    default:
        out.Printf("%s>invalid</record>\n", head);
        break;
    }
    return out.Needed();
}

size_t mbus_compact_profile_xml(char *buffer, size_t capacity, const mbus_data_record *record,
                                const mbus_frame_data *data)
{
    LineWriter out(buffer, capacity);
    if (!record || !data)
        return 0;
    const long long storage = mbus_data_record_storage_number(record);
    const mbus_data_record *timeRecord = mbus_compact_reference_time(data, storage);
    if (!timeRecord)
    {
        mbus_error_str_set("Reference time record not found.");
        return 0;
    }
    const mbus_data_record *valueRecord = mbus_compact_reference_value(data, storage);
    if (!valueRecord)
    {
        mbus_error_str_set("Reference record not found.");
        return 0;
    }

    struct tm time
    {
    };
    // Type F sits in 4 bytes, type G in 2; any other size leaves only the year.
    const unsigned int timeDif = timeRecord->dif & MBUS_DATA_RECORD_DIF_MASK_DATA;
    const size_t timeSize = timeDif == 0x04 ? 4 : timeDif == 0x02 ? 2 : 0;
    mbus_data_tm_decode(&time, timeRecord->data, timeSize);

    long long integer = 0;
    double real = 0;
    if (!DecodeReference(valueRecord, integer, real))
    {
        mbus_error_str_set("Invalid spacing size");
        return 0;
    }

    const int code = record->spacing_control & 0x0F;
    const ElementEntry element = LookupElement(code);
    // Signed: a compact length below 3 gives no element instead of wrapping.
    const long long end = static_cast<long long>(record->compact_length) - 3;
    long long k = storage + 1;
    size_t offset = 0;
    char line[4096];
    while (static_cast<long long>(offset) < end)
    {
        const unsigned char *bytes = record->data + offset;
        const size_t left = record->data_len > offset ? record->data_len - offset : 0;
        // An element (or the bytes the no-value test looks at) past the record's data ends the series.
        const size_t inspected = static_cast<size_t>(code & 7) > element.size ? code & 7 : element.size;
        if (left < inspected)
            break;

        mbus_compact_time_step(record->spacing_control, record->spacing_value, &time);
        if (mbus_compact_no_value(code & 7, bytes, record->spacing_value))
        {
            mbus_error_str_set("Invalid value in compact frame");
            return out.Needed();
        }

        long long increment = 0;
        bool hasIncrement = false;
        double realIncrement = 0;
        switch (element.kind)
        {
        case ElementKind::Integer:
            hasIncrement = mbus_compact_value_decode(bytes, element.size, &increment, record->spacing_control) == 0;
            break;
        case ElementKind::Real:
            realIncrement = mbus_data_float_decode(bytes);
            break;
        case ElementKind::Bcd:
            increment = mbus_data_bcd_decode(bytes, element.size);
            hasIncrement = increment != -1;
            break;
        case ElementKind::Invalid:
            mbus_error_str_set("Invalid spacing size");
            break;
        }
        offset += element.size;

        mbus_compact_time_xml(line, sizeof line, record, timeRecord->vif, k, &time);
        out.Printf("%s", line);
        ++k;

        if (element.kind == ElementKind::Real)
        {
            real += realIncrement;
            char head[2048];
            mbus_data_record_xml_head(head, sizeof head, record, k, mbus_vib_unit_lookup(record));
            out.Printf("%s>%f</record>\n", head, real);
        }
        else
        {
            if (hasIncrement)
                integer = static_cast<long long>(static_cast<unsigned long long>(integer) +
                                                 static_cast<unsigned long long>(increment));
            mbus_compact_value_xml(line, sizeof line, record, k, code, integer);
            out.Printf("%s", line);
        }
    }
    return out.Needed();
}
