// Data layer of the decoder: frame data (fixed, variable, application error,
// compact) and the list of data records with their DIF/DIFE/VIF/VIFE fields.

#include "WMBH_Cursor.h"
#include "mbus-protocol-ci.h"
#include "mbus-protocol.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// How mbus_frame_data_parse treats each CI.
enum class DataKind
{
    Error,          // application error: the first data byte
    Fixed,          // fixed-structure data, data required
    Compact,        // compact frame, data required
    Variable,       // variable data, data required
    VariableOrNone, // variable data, also without data
};

struct DataKindEntry
{
    unsigned char ci;
    DataKind kind;
};

constexpr DataKindEntry kDataKinds[] = {
    {0x6E, DataKind::Error},          {0x6F, DataKind::Error},          {0x70, DataKind::Error},
    {0x73, DataKind::Fixed},          {0x79, DataKind::Compact},        {0x7B, DataKind::Compact},
    {0x5A, DataKind::Variable},       {0x5B, DataKind::Variable},       {0x69, DataKind::Variable},
    {0x6A, DataKind::Variable},       {0x6B, DataKind::Variable},       {0x71, DataKind::Variable},
    {0x72, DataKind::Variable},       {0x78, DataKind::Variable},       {0x7A, DataKind::Variable},
    {0x80, DataKind::VariableOrNone}, {0x8A, DataKind::VariableOrNone}, {0x8B, DataKind::VariableOrNone},
};

const DataKindEntry *LookupDataKind(unsigned char ci)
{
    for (const auto &entry : kDataKinds)
        if (entry.ci == ci)
            return &entry;
    return nullptr;
}

// CIs whose wireless frames carry a data header worth copying.
constexpr MbusCiRange kWirelessHeaderCis[] = {{0x5A, 0x5B}, {0x69, 0x6B}, {0x70, 0x73},
                                              {0x78, 0x7B}, {0x80, 0x80}, {0x8A, 0x8B}};

bool HasWirelessDataHeader(const mbus_frame *frame)
{
    unsigned char ci = frame->control_information;
    return MbusCiIn(kWirelessHeaderCis, ci) || (MbusIsMakerCi(ci) && MbusIsMakerFrame(frame));
}

constexpr int kDifDataLengths[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, 0, 6, 8};

struct LvarRule
{
    unsigned char first;
    unsigned char last;
    int factor; // data length = factor * (LVAR - base)
    int base;
    bool consumed;
};

constexpr LvarRule kLvarRules[] = {
    {0x00, 0xBF, 1, 0x00, true}, {0xC0, 0xCF, 2, 0xC0, true}, {0xD0, 0xDF, 2, 0xD0, true},
    {0xE0, 0xEF, 1, 0xE0, true}, {0xF0, 0xFA, 4, 0xEC, true}, {0xFB, 0xFF, 0, 0x00, false},
};

const LvarRule &LookupLvar(unsigned char lvar)
{
    for (const auto &rule : kLvarRules)
        if (lvar >= rule.first && lvar <= rule.last)
            return rule;
    return kLvarRules[0];
}

constexpr const char *kApplicationErrors[] = {
    "Unspecified error",       "Unimplemented CI-Field",     "Buffer too long, truncated", "Too many records",
    "Premature end of record", "More than 10 DIFE\xC2\xB4s", "More than 10 VIFE\xC2\xB4s", "Reserved",
    "Application busy",        "Too many readouts",
};

constexpr const char *kRecordFunctions[] = {"inst", "max", "min", "error_state"};
constexpr const char *kRecordFunctionNames[] = {"Instantaneous value", "Maximum value", "Minimum value",
                                                "Value during error state"};

// Reads one record at the cursor; on failure sets the error text and returns -1.
int ParseRecord(WMBH_Cursor &cursor, mbus_data_record *record, const mbus_frame *frame, mbus_frame_data *data,
                bool &last)
{
    cursor.Read(record->dif);
    if ((record->dif & 0xEF) == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC)
    {
        // Manufacturer-specific data run to the end of the frame.
        if (record->dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW)
            data->more_records_follow = 1;
        record->data_len = cursor.Remaining();
        cursor.Read(record->data, record->data_len);
        last = true;
        return 0;
    }

    int length = mbus_dif_datalength_lookup(record->dif);
    unsigned char byte = record->dif;
    while (byte & MBUS_DIB_DIF_EXTENSION_BIT)
    {
        if (record->ndife >= MBUS_DATA_RECORD_DIFE_COUNT_MAX)
        {
            mbus_error_str_set("Too many DIFE.");
            return -1;
        }
        if (!cursor.Read(byte))
        {
            mbus_error_str_set("Premature end of record at DIF.");
            return -1;
        }
        record->dife[record->ndife++] = byte;
    }

    if (!cursor.Read(record->vif))
    {
        mbus_error_str_set("Premature end of record at DIF.");
        return -1;
    }

    if ((record->vif & 0x7F) == MBUS_VIF_PLAIN_TEXT)
    {
        unsigned char count = 0;
        if (!cursor.Read(count))
        {
            mbus_error_str_set("Premature end of record at variable length VIF.");
            return -1;
        }
        if (count > MBUS_PLAIN_UNIT_LENGTH_MAX)
        {
            mbus_error_str_set("Too long variable length VIF.");
            return -1;
        }
        if (cursor.Remaining() < count)
        {
            mbus_error_str_set("Premature end of record at variable length VIF.");
            return -1;
        }
        // The wire holds the text last character first.
        const unsigned char *text = cursor.Current();
        for (size_t i = 0; i < count; ++i)
            record->plain_unit[i] = static_cast<char>(text[count - 1 - i]);
        record->plain_unit[count] = '\0';
        cursor.Skip(count);
    }

    byte = record->vif;
    while (byte & MBUS_DIB_VIF_EXTENSION_BIT)
    {
        if (record->nvife >= MBUS_DATA_RECORD_VIFE_COUNT_MAX)
        {
            mbus_error_str_set("Too many VIFE.");
            return -1;
        }
        if (!cursor.Read(byte))
        {
            mbus_error_str_set("Premature end of record at VIF.");
            return -1;
        }
        record->vife[record->nvife++] = byte;
    }

    if ((record->dif & MBUS_DATA_RECORD_DIF_MASK_DATA) == MBUS_DIF_VARIABLE_LENGTH)
    {
        if (!cursor.Peek(record->lvar))
        {
            mbus_error_str_set("Premature end of record at VIF.");
            return -1;
        }
        const LvarRule &rule = LookupLvar(record->lvar);
        length = rule.factor * (record->lvar - rule.base);
        if (rule.consumed)
            cursor.Skip(1);

        if (mbus_is_compact_profile(record->dif, record->vif))
        {
            if (cursor.Remaining() < 2)
            {
                mbus_error_str_set("Premature end of compact format info.");
                return -1;
            }
            if (length < 2)
            {
                mbus_error_str_set("compact frame data size error");
                return -1;
            }
            record->compact_length = static_cast<unsigned char>(length);
            cursor.Read(record->spacing_control);
            cursor.Read(record->spacing_value);
            record->format_signature = frame->format_signature;
            length -= 2;
        }
    }

    // Format frames describe their records without carrying data bytes.
    if (!MbusIsFormatFrameCi(frame->control_information))
    {
        if (!cursor.Read(record->data, static_cast<size_t>(length)))
        {
            mbus_error_str_set("Premature end of record at data.");
            return -1;
        }
        record->data_len = static_cast<size_t>(length);
    }
    return 0;
}

} // namespace

//------------------------------------------------------------------------------
// Frame data
//------------------------------------------------------------------------------

mbus_frame_data *mbus_frame_data_new(void)
{
    return static_cast<mbus_frame_data *>(std::calloc(1, sizeof(mbus_frame_data)));
}

void mbus_frame_data_free(mbus_frame_data *data)
{
    if (!data)
        return;
    mbus_data_record_free(data->records);
    std::free(data);
}

int mbus_frame_data_parse(mbus_frame *frame, mbus_frame_data *data, mbus_frame *format_frame)
{
    if (!frame)
    {
        mbus_error_str_set("Got null pointer to frame.");
        return -1;
    }
    if (!data)
    {
        mbus_error_str_set("Got null pointer to data.");
        return -1;
    }
    // One record serves a whole listen: nothing of the previous frame may stay.
    mbus_data_record_free(data->records);
    *data = mbus_frame_data{};

    if ((frame->control & MBUS_CONTROL_MASK_DIR_M2S) && frame->type != MBUS_FRAME_TYPE_WIRELESS)
    {
        mbus_error_str_set("Wrong direction in frame (master to slave)");
        return -1;
    }

    const unsigned char ci = frame->control_information;
    DataKind kind = DataKind::Variable;
    if (const DataKindEntry *entry = LookupDataKind(ci))
        kind = entry->kind;
    else if (!MbusIsMakerFrame(frame))
    {
        mbus_error_printf("Unknown control information 0x%.2x", ci);
        return -1;
    }
    else if (!MbusIsMakerCi(ci) || ci == 0xA6)
    {
        mbus_error_printf("Unknown zelvir specific CI 0x%.2x", ci);
        return -1;
    }

    if (kind == DataKind::Error)
    {
        data->type = MBUS_DATA_TYPE_ERROR;
        data->error = frame->data_size > 0 ? frame->data[0] : 0;
        return 0;
    }
    if (kind != DataKind::VariableOrNone && frame->data_size == 0)
    {
        mbus_error_str_set("Got zero data_size.");
        return -1;
    }
    if (kind == DataKind::Fixed)
    {
        data->type = MBUS_DATA_TYPE_FIXED;
        return mbus_data_fixed_parse(frame, &data->fixed);
    }
    if (kind == DataKind::Compact)
        data->type = format_frame ? MBUS_DATA_TYPE_VARIABLE : MBUS_DATA_TYPE_COMPACT;
    else
        data->type = MBUS_DATA_TYPE_VARIABLE;

    int result = mbus_data_variable_parse(frame, data, format_frame);
    // A record that could not be allocated is a failure like any other for the caller.
    return result == -2 ? -1 : result;
}

int mbus_data_fixed_parse(mbus_frame *frame, mbus_data_fixed *data)
{
    if (!frame || !data)
        return -1;
    if (frame->data_size != sizeof(mbus_data_fixed))
    {
        mbus_error_str_set("Invalid length for fixed data.");
        return -1;
    }
    std::memcpy(data, frame->data, sizeof(mbus_data_fixed));
    return 0;
}

long long mbus_data_fixed_counter(const mbus_data_fixed *data, int index)
{
    if (!data || index < 0 || index > 1)
        return 0;
    const unsigned char *counter = index == 0 ? data->counter1_value : data->counter2_value;
    if (data->status & 0x80)
    {
        int value = 0;
        mbus_data_int_decode(counter, 4, &value);
        return value;
    }
    return mbus_data_bcd_decode(counter, 4);
}

void mbus_data_variable_header_copy(mbus_frame *frame, mbus_frame_data *data)
{
    if (!frame || !data)
        return;
    mbus_data_variable_header &header = data->header;
    std::memcpy(header.manufacturer, frame->link_address, 2);
    std::memcpy(header.id_bcd, frame->link_address + 2, 4);
    header.version = frame->link_address[6];
    header.medium = frame->link_address[7];
    header.access_number = frame->access_number;
    header.status = frame->status;
    std::memcpy(header.signature, frame->configuration_word, 2);
    std::memcpy(header.transport_address, frame->transport_address, 8);
    data->rssi = frame->rssi;
    data->hop = 0;
    data->control = frame->control;
}

int mbus_data_variable_parse(mbus_frame *frame, mbus_frame_data *data, mbus_frame *format_frame)
{
    if (!frame || !data)
        return -1;
    // Parsing again into the same record must not leak the earlier list.
    mbus_data_record_free(data->records);
    data->records = nullptr;
    data->nrecords = 0;
    data->more_records_follow = 0;
    data->control = frame->control;

    const unsigned char ci = frame->control_information;
    const size_t data_size = MbusFrameDataSize(frame);
    size_t offset = 0;
    if (frame->type == MBUS_FRAME_TYPE_WIRELESS)
    {
        data->rssi = frame->rssi;
        data->hop = frame->configuration_word[0] & 0x01;
        if (!HasWirelessDataHeader(frame))
        {
            mbus_error_printf("Unknown control information 0x%.2x", ci);
            return -1;
        }
        mbus_data_variable_header_copy(frame, data);
        if (MbusIsFormatFrameCi(ci))
        {
            data->format_signature = frame->format_signature;
            data->format_length = frame->format_length;
        }
    }
    else
    {
        data->rssi = 0;
        data->hop = 0;
        std::memset(data->header.transport_address, 0, sizeof data->header.transport_address);
        if (ci == 0x72)
        {
            WMBH_Cursor header(frame->data, data_size);
            mbus_data_variable_header &h = data->header;
            if (!header.Read(h.id_bcd, 4) || !header.Read(h.manufacturer, 2) || !header.Read(h.version) ||
                !header.Read(h.medium) || !header.Read(h.access_number) || !header.Read(h.status) ||
                !header.Read(h.signature, 2))
                return -1;
            offset = header.Position();
        }
        else if (ci == 0x7A)
        {
            mbus_data_variable_header_copy(frame, data);
        }
        else
        {
            mbus_error_printf("Unknown control information 0x%.2x", ci);
            return -1;
        }
    }

    if (MbusIsCompactFrameCi(ci))
        return mbus_compact_frame_expand(frame, offset, format_frame, data);

    data->raw_data = frame->data;
    data->raw_data_len = data_size;

    WMBH_Cursor cursor(frame->data + offset, data_size - offset);
    unsigned char byte = 0;
    bool last = false;
    while (!last && cursor.Peek(byte))
    {
        if (byte == MBUS_DIB_DIF_IDLE_FILLER)
        {
            cursor.Skip(1);
            continue;
        }
        mbus_data_record *record = mbus_data_record_new();
        if (!record)
        {
            mbus_error_str_set("Failed to allocate data record.");
            return -2;
        }
        record->timestamp = frame->timestamp;
        if (ParseRecord(cursor, record, frame, data, last) != 0)
        {
            mbus_data_record_free(record);
            return -1;
        }
        mbus_data_record_append(data, record);
        data->nrecords++;
    }
    return 0;
}

int mbus_dif_datalength_lookup(unsigned char dif)
{
    return kDifDataLengths[dif & MBUS_DATA_RECORD_DIF_MASK_DATA];
}

//------------------------------------------------------------------------------
// Data records
//------------------------------------------------------------------------------

mbus_data_record *mbus_data_record_new(void)
{
    return static_cast<mbus_data_record *>(std::calloc(1, sizeof(mbus_data_record)));
}

void mbus_data_record_free(mbus_data_record *record)
{
    while (record)
    {
        mbus_data_record *next = record->next;
        std::free(record->custom_vif);
        std::free(record);
        record = next;
    }
}

void mbus_data_record_append(mbus_frame_data *data, mbus_data_record *record)
{
    if (!data || !record)
        return;
    if (!data->records)
    {
        data->records = record;
        return;
    }
    mbus_data_record *last = data->records;
    while (last->next)
        last = last->next;
    last->next = record;
}

const char *mbus_data_record_function(const mbus_data_record *record)
{
    static char text[128];
    if (!record)
        return nullptr;
    std::snprintf(text, sizeof text, "%s", kRecordFunctions[(record->dif & MBUS_DATA_RECORD_DIF_MASK_FUNCTION) >> 4]);
    return text;
}

long long mbus_data_record_storage_number(const mbus_data_record *record)
{
    if (!record)
        return 0;
    // Ten DIFEs give 1 + 40 bits: computed unsigned, it never overflows.
    unsigned long long storage = (record->dif & MBUS_DATA_RECORD_DIF_MASK_STORAGE_NO) >> 6;
    for (size_t i = 0; i < record->ndife && i < MBUS_DATA_RECORD_DIFE_COUNT_MAX; ++i)
        storage |= static_cast<unsigned long long>(record->dife[i] & 0x0F) << (4 * i + 1);
    return static_cast<long long>(storage);
}

long mbus_data_record_tariff(const mbus_data_record *record)
{
    if (!record || record->ndife == 0)
        return -1;
    unsigned long tariff = 0;
    for (size_t i = 0; i < record->ndife && i < MBUS_DATA_RECORD_DIFE_COUNT_MAX; ++i)
        tariff |= static_cast<unsigned long>((record->dife[i] >> 4) & 0x03) << (2 * i);
    return static_cast<long>(tariff);
}

int mbus_data_record_subunit(const mbus_data_record *record)
{
    if (!record || record->ndife == 0)
        return -1;
    int subunit = 0;
    for (size_t i = 0; i < record->ndife && i < MBUS_DATA_RECORD_DIFE_COUNT_MAX; ++i)
        subunit |= ((record->dife[i] >> 6) & 0x01) << i;
    return subunit;
}

//------------------------------------------------------------------------------
// Small texts
//------------------------------------------------------------------------------

const char *mbus_data_error_lookup(int error)
{
    static char text[256];
    if (error >= 0 && error < static_cast<int>(sizeof kApplicationErrors / sizeof kApplicationErrors[0]))
        std::snprintf(text, sizeof text, "%s", kApplicationErrors[error]);
    else
        std::snprintf(text, sizeof text, "Unknown error (0x%.2X)", static_cast<unsigned int>(error));
    return text;
}

const char *mbus_data_fixed_function(int status)
{
    return (status & 0x40) ? "stored" : "actual";
}

const char *mbus_data_fixed_function_name(int status)
{
    return (status & 0x40) ? "Stored value" : "Actual value";
}

const char *mbus_data_record_function_name(int dif)
{
    return kRecordFunctionNames[(dif & MBUS_DATA_RECORD_DIF_MASK_FUNCTION) >> 4];
}
