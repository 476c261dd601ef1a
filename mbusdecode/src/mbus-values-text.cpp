// The value text of a data record, chosen by the low nibble of its DIF.

#include "mbus-protocol.h"
#include "mbus-xml-writer.h"

#include <cstdint>
#include <cstdio>
#include <initializer_list>

namespace
{

constexpr size_t kValueTextSize = 768;

// BCD of any length as decimal text, without leading zeros. The LVAR BCD
// kinds carry up to 36 digits, more than any integer holds, so the digits go
// straight to text. An invalid digit gives -1, as for the fixed-size BCD.
void PutBcdText(MbusXmlWriter &out, const unsigned char *bytes, size_t count, bool negative)
{
    char digits[2 * MBUS_DATA_RECORD_DATA_LENGTH + 1];
    size_t n = 0;
    for (size_t i = count; i-- > 0;)
    {
        unsigned high = bytes[i] >> 4;
        unsigned low = bytes[i] & 0x0F;
        if (high > 9 || low > 9)
        {
            out.Put("-1");
            return;
        }
        for (unsigned digit : {high, low})
        {
            if (n > 0 || digit != 0)
                digits[n++] = static_cast<char>('0' + digit);
        }
    }
    if (n == 0)
    {
        out.Put('0');
        return;
    }
    if (negative)
        out.Put('-');
    out.Put(digits, n);
}

// Records whose short integers are no signed numbers (type B) but unsigned
// ones or bit fields: identifiers and counters (type C), flags (type D) and the
// type G date. Everything else of 1 to 3 bytes is two's complement.
struct UnsignedRecordKind
{
    unsigned char vif;  // VIF without its extension bit
    int firstVife;      // without its extension bit; -1: the VIF alone decides
};

constexpr UnsignedRecordKind kUnsignedRecords[] = {
    {0x6C, -1}, // date, type G
    {0x78, -1}, // fabrication number
    {0x7A, -1}, // bus address
    {0x7D, 0x08}, {0x7D, 0x09}, {0x7D, 0x0A}, {0x7D, 0x0B}, {0x7D, 0x0C}, // access number, medium,
    {0x7D, 0x0D}, {0x7D, 0x0E}, {0x7D, 0x0F},                             // maker, versions
    {0x7D, 0x17}, {0x7D, 0x1A}, {0x7D, 0x1B},                             // error flags, digital out, in
};

bool ReadsUnsigned(const mbus_data_record *record)
{
    const unsigned char vif = record->vif & 0x7F;
    const int vife = (record->vif & 0x80) && record->nvife > 0 ? record->vife[0] & 0x7F : -1;
    for (const auto &kind : kUnsignedRecords)
        if (kind.vif == vif && (kind.firstVife < 0 || (record->vif == 0xFD && kind.firstVife == vife)))
            return true;
    return false;
}

// Integers of 1 to 3 bytes, least significant byte first.
void PutShortInteger(MbusXmlWriter &out, const mbus_data_record *record, size_t count)
{
    if (ReadsUnsigned(record))
    {
        unsigned value = 0;
        for (size_t i = count; i-- > 0;)
            value = value << 8 | record->data[i];
        out.PutUnsigned(value);
        return;
    }
    int value = 0;
    mbus_data_int_decode(record->data, count, &value);
    out.PutDecimal(value);
}

void PutVariableLength(MbusXmlWriter &out, const mbus_data_record *record, size_t length)
{
    unsigned char lvar = record->lvar;
    if (lvar <= 0xBF || (record->vif & 0x7F) == MBUS_VIF_PLAIN_TEXT)
    {
        // Text arrives last character first.
        char text[MBUS_DATA_RECORD_DATA_LENGTH + 1];
        mbus_data_str_decode(reinterpret_cast<unsigned char *>(text), record->data, length);
        out.Put(text);
    }
    else if (lvar >= 0xC0 && lvar <= 0xC9)
        PutBcdText(out, record->data, length, false);
    else if (lvar >= 0xD0 && lvar <= 0xD9)
        PutBcdText(out, record->data, length, true);
    else if ((lvar >= 0xE0 && lvar <= 0xEF) || (lvar >= 0xF0 && lvar <= 0xF6))
        out.PutHex(record->data, length);
    else
    {
        char text[32];
        std::snprintf(text, sizeof text, "Reserved lvar (0x%x)", lvar);
        out.Put(text);
    }
}

} // namespace

const char *mbus_data_record_decode(const mbus_data_record *record)
{
    static char text[kValueTextSize];
    MbusXmlWriter out(text, sizeof text);
    if (record == nullptr)
        return text;

    const unsigned char *data = record->data;
    size_t length = record->data_len < sizeof record->data ? record->data_len : sizeof record->data;
    long long wide = 0;
    int narrow = 0;
    switch (record->dif & MBUS_DATA_RECORD_DIF_MASK_DATA)
    {
    case 0x0:
        break;
    case 0x1:
    case 0x2:
    case 0x3:
        PutShortInteger(out, record, record->dif & MBUS_DATA_RECORD_DIF_MASK_DATA);
        break;
    case 0x4:
        mbus_data_int_decode(data, 4, &narrow);
        out.PutDecimal(narrow);
        break;
    case 0x5:
    {
        char real[64];
        std::snprintf(real, sizeof real, "%f", static_cast<double>(mbus_data_float_decode(data)));
        out.Put(real);
        break;
    }
    case 0x6:
        mbus_data_long_long_decode(data, 6, &wide);
        out.PutDecimal(wide);
        break;
    case 0x7:
        mbus_data_long_long_decode(data, 8, &wide);
        out.PutDecimal(wide);
        break;
    case 0x8:
    {
        char unknown[32];
        std::snprintf(unknown, sizeof unknown, "Unknown DIF (0x%.2x)", record->dif);
        out.Put(unknown);
        break;
    }
    case 0x9:
    case 0xA:
    case 0xB:
    case 0xC:
        out.PutDecimal(mbus_data_bcd_decode(data, (record->dif & 0x0F) - 0x8));
        break;
    case 0xD:
        PutVariableLength(out, record, length);
        break;
    case 0xE:
        out.PutDecimal(mbus_data_bcd_decode(data, 6));
        break;
    case 0xF:
        // The first byte after the DIF is not part of what is shown.
        if (length > 1)
            out.PutHex(data + 1, length - 1);
        break;
    }
    return text;
}
