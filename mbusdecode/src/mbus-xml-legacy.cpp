// The older MBusData documents of wired meters. Nothing in the system calls
// them; they stay available and follow the same escaping rules as the
// per-frame document.

#include "mbus-xml.h"

#include "mbus-xml-writer.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace
{

constexpr size_t kDocumentStart = 8192;

void PutTextElement(MbusXmlWriter &out, const char *name, const char *text)
{
    out.Put("        <");
    out.Put(name);
    out.Put('>');
    out.PutEscaped(text);
    out.Put("</");
    out.Put(name);
    out.Put(">\n");
}

void PutNumberElement(MbusXmlWriter &out, const char *name, long long value)
{
    out.Put("        <");
    out.Put(name);
    out.Put('>');
    out.PutDecimal(value);
    out.Put("</");
    out.Put(name);
    out.Put(">\n");
}

void PutHexElement(MbusXmlWriter &out, const char *name, const unsigned char *msbFirst, size_t count)
{
    out.Put("        <");
    out.Put(name);
    out.Put('>');
    for (size_t i = 0; i < count; ++i)
        out.PutHex2(msbFirst[i]);
    out.Put("</");
    out.Put(name);
    out.Put(">\n");
}

void PutFixed(MbusXmlWriter &out, const mbus_data_fixed &data)
{
    out.Put("<MBusData>\n    <SlaveInformation>\n");
    PutNumberElement(out, "Id", mbus_data_bcd_decode_unsigned(data.id_bcd, sizeof data.id_bcd));
    PutTextElement(out, "Medium", mbus_data_fixed_medium(&data));
    PutNumberElement(out, "AccessNumber", data.access_number);
    PutHexElement(out, "Status", &data.status, 1);
    out.Put("    </SlaveInformation>\n");
    const unsigned char types[2] = {data.counter1_type, data.counter2_type};
    for (int i = 0; i < 2; ++i)
    {
        out.Put("    <DataRecord id=\"");
        out.PutDecimal(i);
        out.Put("\">\n");
        PutTextElement(out, "Function", mbus_data_fixed_function_name(data.status));
        PutTextElement(out, "Unit", mbus_data_fixed_unit(types[i]));
        PutNumberElement(out, "Value", mbus_data_fixed_counter(&data, i));
        out.Put("    </DataRecord>\n");
    }
    out.Put("</MBusData>\n");
}

void PutSlaveInformation(MbusXmlWriter &out, const mbus_data_variable_header &header)
{
    const unsigned char id[4] = {header.id_bcd[3], header.id_bcd[2], header.id_bcd[1], header.id_bcd[0]};
    const unsigned char signature[2] = {header.signature[1], header.signature[0]};
    out.Put("    <SlaveInformation>\n");
    PutHexElement(out, "Id", id, sizeof id);
    PutTextElement(out, "Manufacturer", mbus_decode_manufacturer(header.manufacturer[0], header.manufacturer[1]));
    PutNumberElement(out, "Version", header.version);
    PutTextElement(out, "Medium", mbus_data_variable_medium_lookup(header.medium));
    PutNumberElement(out, "AccessNumber", header.access_number);
    PutHexElement(out, "Status", &header.status, 1);
    PutHexElement(out, "Signature", signature, sizeof signature);
    out.Put("    </SlaveInformation>\n");
}

void PutDataRecords(MbusXmlWriter &out, const mbus_frame_data &data, long long &id)
{
    for (const mbus_data_record *record = data.records; record != nullptr; record = record->next, ++id)
    {
        bool vendor =
            record->dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC || record->dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW;
        out.Put("    <DataRecord id=\"");
        out.PutDecimal(id);
        out.Put("\">\n");
        if (vendor)
            PutTextElement(out, "Function", "Manufacturer specific");
        else
        {
            PutTextElement(out, "Function", mbus_data_record_function_name(record->dif));
            PutTextElement(out, "Unit", mbus_vib_unit_lookup(record));
        }
        PutNumberElement(out, "Storage", mbus_data_record_storage_number(record));
        PutNumberElement(out, "Tariff", mbus_data_record_tariff(record));
        PutNumberElement(out, "SubUnit", mbus_data_record_subunit(record));
        PutTextElement(out, "Value", mbus_data_record_decode(record));
        out.Put("    </DataRecord>\n");
    }
}

} // namespace

const char *mbus_data_fixed_xml(const mbus_data_fixed *data)
{
    static char text[8192];
    MbusXmlWriter out(text, sizeof text);
    if (data != nullptr)
        PutFixed(out, *data);
    return text;
}

char *mbus_data_variable_xml(const mbus_frame_data *data)
{
    if (data == nullptr)
        return nullptr;
    MbusXmlWriter out(kDocumentStart);
    out.Put("<MBusData>\n");
    PutSlaveInformation(out, data->header);
    long long id = 0;
    PutDataRecords(out, *data, id);
    out.Put("</MBusData>\n");
    return out.Release();
}

char *mbus_frame_xml(mbus_frame *frame)
{
    if (frame == nullptr)
        return nullptr;
    mbus_frame_data_ptr first(mbus_frame_data_new());
    if (!first || mbus_frame_data_parse(frame, first.get(), nullptr) != 0)
    {
        mbus_error_str_set("M-bus data parse error.");
        return nullptr;
    }
    if (first->type == MBUS_DATA_TYPE_FIXED)
        return strdup(mbus_data_fixed_xml(&first->fixed));
    if (first->type != MBUS_DATA_TYPE_VARIABLE)
    {
        mbus_error_str_set("M-bus variable data parse error.");
        return nullptr;
    }

    MbusXmlWriter out(kDocumentStart);
    out.Put("<MBusData>\n");
    PutSlaveInformation(out, first->header);
    long long id = 0;
    PutDataRecords(out, *first, id);
    // The frames of a multi-telegram answer continue the record numbering.
    for (mbus_frame *next = frame->next; next != nullptr; next = next->next)
    {
        mbus_frame_data_ptr more(mbus_frame_data_new());
        if (!more || mbus_frame_data_parse(next, more.get(), nullptr) != 0 || more->type != MBUS_DATA_TYPE_VARIABLE)
        {
            mbus_error_str_set("M-bus variable data parse error.");
            return nullptr;
        }
        PutDataRecords(out, *more, id);
    }
    out.Put("</MBusData>\n");
    return out.Release();
}
