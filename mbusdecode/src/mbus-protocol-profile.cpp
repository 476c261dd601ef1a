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

// Bits 7-6 of the spacing control: how an element changes the running value.
enum class IncrementMode
{
    Absolute = 0,           // the element is the value itself
    PositiveIncrement = 1,  // added
    NegativeIncrement = 2,  // subtracted
    SignedDifference = 3    // added, with its sign
};

IncrementMode IncrementModeOf(unsigned char spacing_control)
{
    return static_cast<IncrementMode>(spacing_control >> 6);
}

double Apply(IncrementMode mode, double running, double element)
{
    switch (mode)
    {
    case IncrementMode::Absolute:
        return element;
    case IncrementMode::NegativeIncrement:
        return running - element;
    default:
        return running + element;
    }
}

long long Apply(IncrementMode mode, long long running, long long element)
{
    // Wrapping arithmetic: a meter's garbage must not be undefined behaviour here.
    const auto r = static_cast<unsigned long long>(running);
    const auto e = static_cast<unsigned long long>(element);
    switch (mode)
    {
    case IncrementMode::Absolute:
        return element;
    case IncrementMode::NegativeIncrement:
        return static_cast<long long>(r - e);
    default:
        return static_cast<long long>(r + e);
    }
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
    // Types F and G hold the year within the century in 7 bits (0 for 2000), as
    // the date decode reads it back; the years since 1900 would read as 2126.
    const uint32_t year = static_cast<uint32_t>(time->tm_year - 100) & 0x7F;
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
        // Type F: minute (bits 0-5), hour (8-12), hundred years (13-14), summer time (15),
        // day (16-20), year bits 0-2 (21-23), month (24-27), year bits 3-6 (28-31).
        unit = "Time Point (time / date)";
        const uint32_t hundredYears = (static_cast<uint32_t>(time->tm_year + 1900) / 100) & 0x03;
        packed = ((year & 0x78) << 25) | ((month & 0x0F) << 24) | ((year & 0x07) << 21) | ((day & 0x1F) << 16) |
                 (time->tm_isdst > 0 ? 1u << 15 : 0u) | (hundredYears << 13) |
                 ((static_cast<uint32_t>(time->tm_hour) & 0x1F) << 8) | (static_cast<uint32_t>(time->tm_min) & 0x3F);
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
    // The running value, whole and signed: an element's width says nothing about the
    // width of the value it changes.
    if (LookupElement(code).kind == ElementKind::Invalid || code == 5)
        out.Printf("%s>invalid</record>\n", head);
    else
        out.Printf("%s>%lld</record>\n", head, value);
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
    const IncrementMode mode = IncrementModeOf(record->spacing_control);
    // Signed: a compact length below 3 gives no element instead of wrapping.
    const long long end = static_cast<long long>(record->compact_length) - 3;
    // Element i (from 0) stands at storage S + 1 + i, its time line and its value line alike.
    long long k = storage + 1;
    size_t offset = 0;
    char line[4096];
    while (static_cast<long long>(offset) < end)
    {
        const unsigned char *bytes = record->data + offset;
        const size_t left = record->data_len > offset ? record->data_len - offset : 0;
        if (left < element.size)
            break; // an element past the record's data ends the series
        offset += element.size;
        mbus_compact_time_step(record->spacing_control, record->spacing_value, &time);
        const long long elementStorage = k++;

        long long elementValue = 0;
        double realValue = 0;
        bool hasValue = true;
        switch (element.kind)
        {
        case ElementKind::Integer:
            hasValue = mbus_compact_value_decode(bytes, element.size, &elementValue, record->spacing_control) == 0;
            break;
        case ElementKind::Real:
            realValue = mbus_data_float_decode(bytes);
            break;
        case ElementKind::Bcd:
            hasValue = mbus_data_bcd_decode_signed(bytes, element.size, &elementValue) == 0;
            break;
        case ElementKind::Invalid:
            mbus_error_str_set("Invalid spacing size");
            break;
        }
        // A no-value marker (or BCD that is no number) stands for a reading the meter does
        // not have: no lines for it, and the running value stays as it was.
        if (!hasValue)
            continue;

        mbus_compact_time_xml(line, sizeof line, record, timeRecord->vif, elementStorage, &time);
        out.Printf("%s", line);
        if (element.kind == ElementKind::Real)
        {
            real = Apply(mode, real, realValue);
            char head[2048];
            mbus_data_record_xml_head(head, sizeof head, record, elementStorage, mbus_vib_unit_lookup(record));
            out.Printf("%s>%f</record>\n", head, real);
        }
        else
        {
            integer = Apply(mode, integer, elementValue);
            mbus_compact_value_xml(line, sizeof line, record, elementStorage, code, integer);
            out.Printf("%s", line);
        }
    }
    return out.Needed();
}
