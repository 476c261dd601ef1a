// Compact frames (data bytes only, rebuilt from a stored format frame) and the
// codecs behind compact profiles (one record holding a series of values).

#include "WMBH_Cursor.h"
#include "mbus-crc16.h"
#include "mbus-protocol-ci.h"
#include "mbus-protocol.h"

#include <cstring>

namespace
{

// The rebuilt data must fit a frame; one byte short of it stops the expansion.
constexpr size_t kExpandedDataMax = 252;

struct CompactLvarRule
{
    unsigned char first;
    unsigned char last;
    int factor; // data length = factor * (LVAR - base); factor 0 keeps the DIF's length
    int base;
};

// The expansion's own LVAR rule (the record parse counts 0xF0-0xFA differently).
constexpr CompactLvarRule kCompactLvarRules[] = {
    {0x00, 0xBF, 1, 0x00}, {0xC0, 0xCF, 2, 0xC0}, {0xD0, 0xDF, 2, 0xD0},
    {0xE0, 0xEF, 1, 0xE0}, {0xF0, 0xFA, 1, 0xF0}, {0xFB, 0xFF, 0, 0x00},
};

int CompactLvarLength(unsigned char lvar, int difLength)
{
    for (const auto &rule : kCompactLvarRules)
        if (lvar >= rule.first && lvar <= rule.last)
            return rule.factor == 0 ? difLength : rule.factor * (lvar - rule.base);
    return difLength;
}

// The rebuilt data of a compact frame, bounded to what a frame can hold.
class ExpandedData
{
public:
    bool Put(unsigned char byte)
    {
        if (length_ >= kExpandedDataMax)
        {
            mbus_error_str_set("Frame to large");
            return false;
        }
        bytes_[length_++] = byte;
        return true;
    }
    const unsigned char *Bytes() const { return bytes_; }
    size_t Length() const { return length_; }

private:
    unsigned char bytes_[MBUS_FRAME_DATA_LENGTH] = {};
    size_t length_ = 0;
};

bool Fail(const char *message)
{
    mbus_error_str_set(message);
    return false;
}

// Copies one record's structure from the format and its data bytes from the
// compact data; false with the error text set on any mismatch.
bool ExpandRecord(WMBH_Cursor &format, WMBH_Cursor &compact, ExpandedData &out)
{
    unsigned char dif = 0;
    format.Read(dif);
    if (dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC || dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW)
        return Fail("Unsupported DIF");
    if (!out.Put(dif))
        return false;
    int length = mbus_dif_datalength_lookup(dif);

    unsigned char byte = dif;
    while (byte & MBUS_DIB_DIF_EXTENSION_BIT)
    {
        if (!format.Read(byte))
            return Fail("Premature end of record at DIF.");
        if (!out.Put(byte))
            return false;
    }

    unsigned char vif = 0;
    if (!format.Read(vif))
        return Fail("Premature end of record at DIF.");
    if ((vif & 0x7F) == MBUS_VIF_PLAIN_TEXT)
        return Fail("Unsupported VIF");
    if (!out.Put(vif))
        return false;
    byte = vif;
    while (byte & MBUS_DIB_VIF_EXTENSION_BIT)
    {
        if (!format.Read(byte))
            return Fail("Premature end of record at VIF.");
        if (!out.Put(byte))
            return false;
    }

    if ((dif & MBUS_DATA_RECORD_DIF_MASK_DATA) == MBUS_DIF_VARIABLE_LENGTH)
    {
        unsigned char lvar = 0;
        if (!format.Read(lvar))
            return Fail("Premature end of record at VIF.");
        if (!out.Put(lvar))
            return false;
        length = CompactLvarLength(lvar, length);
    }

    if (mbus_is_compact_profile(dif, vif))
    {
        unsigned char profile[2];
        if (!format.Read(profile, 2))
            return Fail("Premature end of compact format info.");
        if (!out.Put(profile[0]) || !out.Put(profile[1]))
            return false;
        // Signed: a profile shorter than its two profile bytes must not wrap.
        length -= 2;
        if (length < 0)
            return Fail("compact frame data size error");
    }

    for (int i = 0; i < length; ++i)
    {
        if (!compact.Read(byte))
            return Fail("Premature end of record at data.");
        if (!out.Put(byte))
            return false;
    }
    return true;
}

bool IsTimeRecord(const mbus_data_record *record)
{
    unsigned char vif = record->vif & 0x7F;
    return (vif == 0x6C || vif == 0x6D) && (record->vife[0] & 0x7F) == 0;
}

} // namespace

int mbus_compact_frame_expand(mbus_frame *frame, size_t offset, mbus_frame *format_frame, mbus_frame_data *data)
{
    if (!frame || !format_frame || !data)
    {
        mbus_error_str_set("Input parameter error");
        return -4;
    }
    if (frame->format_signature != format_frame->format_signature)
    {
        mbus_error_str_set("Format description id do not match");
        return -1;
    }

    const size_t compactSize = MbusFrameDataSize(frame);
    const size_t formatSize = MbusFrameDataSize(format_frame);
    if (offset > compactSize)
        offset = compactSize;
    WMBH_Cursor format(format_frame->data, formatSize);
    WMBH_Cursor compact(frame->data + offset, compactSize - offset);
    ExpandedData out;

    unsigned char byte = 0;
    while (format.Peek(byte))
    {
        if (byte == MBUS_DIB_DIF_IDLE_FILLER)
        {
            unsigned char compactByte = 0;
            if (compact.Peek(compactByte) && compactByte == MBUS_DIB_DIF_IDLE_FILLER)
            {
                format.Skip(1);
                compact.Skip(1);
                if (!out.Put(byte))
                    return -1;
                continue;
            }
            while (format.Peek(byte) && byte == MBUS_DIB_DIF_IDLE_FILLER)
                format.Skip(1);
            continue;
        }
        if (!ExpandRecord(format, compact, out))
            return -1;
    }

    uint16_t crc = mbus_crc16(out.Bytes(), out.Length(), MBUS_CRC16_SKIP_FILL);
    if (crc != frame->full_frame_crc)
    {
        mbus_error_printf("Full-frame data crc error %x != %x", frame->full_frame_crc, crc);
        return -1;
    }

    mbus_frame rebuilt = *frame;
    std::memcpy(rebuilt.data, out.Bytes(), out.Length());
    rebuilt.data_size = out.Length();
    rebuilt.control_information = 0x7A;
    int result = mbus_data_variable_parse(&rebuilt, data, format_frame);
    // The rebuilt frame ends here; the raw data must stay valid with the
    // caller's frame, so they show the compact data as received.
    data->raw_data = frame->data;
    data->raw_data_len = compactSize;
    return result;
}

int mbus_is_compact_profile(unsigned char dif, unsigned char vif)
{
    if ((dif & MBUS_DATA_RECORD_DIF_MASK_DATA) != MBUS_DIF_VARIABLE_LENGTH || !(vif & 0x80))
        return 0;
    return vif != 0xEF && vif != 0xFB && vif != 0xFD && vif != 0xFF;
}

const mbus_data_record *mbus_compact_reference_time(const mbus_frame_data *data, long long storage)
{
    if (!data)
        return nullptr;
    for (const mbus_data_record *r = data->records; r; r = r->next)
        if (mbus_data_record_storage_number(r) == storage && IsTimeRecord(r))
            return r;
    return nullptr;
}

const mbus_data_record *mbus_compact_reference_value(const mbus_frame_data *data, long long storage)
{
    if (!data)
        return nullptr;
    for (const mbus_data_record *r = data->records; r; r = r->next)
        if (mbus_data_record_storage_number(r) == storage && !IsTimeRecord(r))
            return r;
    return nullptr;
}

namespace
{
// Increment modes 0 (absolute values) and 3 (signed differences) carry two's
// complement elements; 1 and 2 (positive and negative increments) unsigned ones.
bool SignedIncrementMode(unsigned char spacing_control)
{
    const unsigned int mode = spacing_control >> 6;
    return mode == 0 || mode == 3;
}
} // namespace

int mbus_compact_value_decode(const unsigned char *bytes, size_t count, long long *value, unsigned char spacing_control)
{
    if (!bytes || !value || count == 0 || count > 8)
        return -1;
    if (mbus_compact_no_value(static_cast<int>(count), bytes, spacing_control))
        return -1;
    unsigned long long raw = 0;
    for (size_t i = 0; i < count; ++i)
        raw |= static_cast<unsigned long long>(bytes[i]) << (8 * i);
    if (SignedIncrementMode(spacing_control) && count < 8 && (bytes[count - 1] & 0x80))
        raw |= ~0ULL << (8 * count);
    // Two's complement by construction; converting back is value-preserving.
    *value = static_cast<long long>(raw);
    return 0;
}

int mbus_compact_no_value(int code, const unsigned char *bytes, unsigned char spacing_control)
{
    if (!bytes || code <= 0 || code == 5)
        return 0;
    // The marker follows the element's signedness: the most negative number for
    // signed elements, all ones for unsigned ones (where -1 is no number anyway).
    if (SignedIncrementMode(spacing_control))
    {
        for (int i = 0; i < code - 1; ++i)
            if (bytes[i] != 0)
                return 0;
        return bytes[code - 1] == 0x80;
    }
    for (int i = 0; i < code; ++i)
        if (bytes[i] != 0xFF)
            return 0;
    return 1;
}

int mbus_compact_time_step(unsigned char spacing_control, unsigned char spacing_value, struct tm *time)
{
    if (!time)
        return -1;
    const unsigned int unit = (spacing_control >> 4) & 0x03; // seconds, minutes, hours, days
    int result = 0;
    if (spacing_value >= 1 && spacing_value <= 250)
    {
        int *fields[] = {&time->tm_sec, &time->tm_min, &time->tm_hour, &time->tm_mday};
        *fields[unit] += spacing_value;
    }
    else if (spacing_value == 253 && unit == 3)
        time->tm_mday += 15;
    else if (spacing_value == 254 && unit != 0)
        time->tm_mon += unit == 1 ? 6 : unit == 2 ? 3 : 1;
    else if (spacing_value != 0)
        result = -1;

    // Normalise in UTC so that no time zone moves the series; the summer-time
    // flag is data of the series, not of this machine, and is kept.
    const int summerTime = time->tm_isdst;
    time_t seconds = timegm(time);
    struct tm normal
    {
    };
    if (gmtime_r(&seconds, &normal))
    {
        *time = normal;
        time->tm_isdst = summerTime;
    }
    return result;
}
