// The per-frame XML document that Tolvern prints and the GUI parses: its
// element names, order, formats and line layout are fixed for both sides.

#include "mbus-xml.h"

#include "mbus-xml-writer.h"

#include <cstdio>
#include <cstring>
#include <ctime>

namespace
{

constexpr size_t kDocumentStart = 8192;
constexpr size_t kRecordLineSize = 8192;
constexpr size_t kEscapedTextSize = 768;

// The root line. Rendering runs many times a second, so the date text is
// formatted once per second of the clock.
void PutRoot(MbusXmlWriter &out)
{
    static time_t cachedSecond = static_cast<time_t>(-1);
    static char cachedDate[32];
    time_t now = std::time(nullptr);
    if (now != cachedSecond)
    {
        struct tm local;
        cachedDate[0] = '\0';
        if (now != static_cast<time_t>(-1) && localtime_r(&now, &local) != nullptr)
        {
            if (std::strftime(cachedDate, sizeof cachedDate, "%Y-%m-%dT%H:%M:%S", &local) == 0)
                cachedDate[0] = '\0';
            cachedSecond = now;
        }
    }
    out.Put("<mbus date=\"");
    out.Put(cachedDate);
    out.Put("\">\n");
}

void PutElement(MbusXmlWriter &out, const char *indentedOpen, long long value, const char *close)
{
    out.Put(indentedOpen);
    out.PutDecimal(value);
    out.Put(close);
}

void PutMedium(MbusXmlWriter &out, const char *indent, unsigned char deviceType)
{
    char safe[kEscapedTextSize];
    mbus_xml_safe(safe, mbus_data_variable_medium_lookup(deviceType), sizeof safe);
    out.Put(indent);
    out.Put("<Medium>");
    out.Put(safe);
    out.Put("</Medium>\n");
}

void PutHeader(MbusXmlWriter &out, const mbus_data_variable_header &header, unsigned char rssi, unsigned char hop,
               unsigned char control)
{
    if (rssi != 0)
    {
        out.Put("    <radio>\n");
        PutElement(out, "        <rssi>", rssi, "</rssi>\n");
        PutElement(out, "        <hop>", hop, "</hop>\n");
        out.Put("    </radio>\n");
    }
    out.Put("    <header>\n        <Id>");
    for (size_t i = sizeof header.id_bcd; i-- > 0;)
        out.PutHex2(header.id_bcd[i]);
    out.Put("</Id>\n        <Manufacturer>");
    out.Put(mbus_decode_manufacturer(header.manufacturer[0], header.manufacturer[1]));
    out.Put("</Manufacturer>\n");
    PutElement(out, "        <Version>", header.version, "</Version>\n");
    PutMedium(out, "        ", header.medium);
    PutElement(out, "        <AccessNumber>", header.access_number, "</AccessNumber>\n");
    out.Put("        <Status>");
    out.PutHex2(header.status);
    out.Put("</Status>\n        <Signature>");
    out.PutHex2(header.signature[1]);
    out.PutHex2(header.signature[0]);
    out.Put("</Signature>\n        <Type>");
    out.Put(mbus_control_str(control));
    out.Put("</Type>\n");

    const unsigned char *tpl = header.transport_address;
    bool hasTpl = false;
    for (size_t i = 0; i < sizeof header.transport_address; ++i)
        hasTpl = hasTpl || tpl[i] != 0;
    if (hasTpl)
    {
        out.Put("        <Tpl>\n");
        PutElement(out, "            <Id>", mbus_data_bcd_decode_unsigned(tpl, 4), "</Id>\n");
        out.Put("            <Manufacturer>");
        out.Put(mbus_decode_manufacturer(tpl[4], tpl[5]));
        out.Put("</Manufacturer>\n");
        PutElement(out, "            <Version>", tpl[6], "</Version>\n");
        PutMedium(out, "            ", tpl[7]);
        out.Put("        </Tpl>\n");
    }
    out.Put("    </header>\n");
}

void PutRaw(MbusXmlWriter &out, const unsigned char *bytes, size_t count)
{
    out.Put("    <raw>");
    out.PutHex(bytes, count);
    out.Put("</raw>\n");
}

void PutTariffAndSubunit(MbusXmlWriter &out, const mbus_data_record &record)
{
    if (record.ndife == 0)
        return;
    out.Put(" tariff=\"");
    out.PutDecimal(mbus_data_record_tariff(&record));
    out.Put("\" subunit=\"");
    out.PutDecimal(mbus_data_record_subunit(&record));
    out.Put('"');
}

bool IsManufacturerSpecific(const mbus_data_record &record)
{
    return record.dif == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC || record.dif == MBUS_DIB_DIF_MORE_RECORDS_FOLLOW;
}

void PutRecordLine(MbusXmlWriter &out, const mbus_data_record &record)
{
    if (IsManufacturerSpecific(record))
    {
        if (record.data_len == 0)
            return;
        out.Put("        <record type=\"Manufacturer specific\" storage=\"");
        out.PutDecimal(mbus_data_record_storage_number(&record));
        out.Put('"');
        PutTariffAndSubunit(out, record);
        out.Put('>');
        out.Put(mbus_data_record_decode(&record));
        out.Put("</record>\n");
        return;
    }
    char line[kRecordLineSize];
    mbus_data_record_xml_head(line, sizeof line, &record, mbus_data_record_storage_number(&record),
                              mbus_vib_unit_lookup(&record));
    out.Put(line);
    out.Put('>');
    out.PutEscaped(mbus_data_record_decode(&record));
    out.Put("</record>\n");
}

// The profile writer tells how much room its lines need, snprintf-like, so
// a profile that does not fit is rendered again into a grown buffer.
void PutProfileLines(MbusXmlWriter &out, const mbus_data_record &record, const mbus_frame_data &data)
{
    size_t needed = mbus_compact_profile_xml(out.Tail(), out.Room(), &record, &data);
    if (needed >= out.Room())
    {
        if (!out.Reserve(needed))
            return;
        needed = mbus_compact_profile_xml(out.Tail(), out.Room(), &record, &data);
    }
    out.Advance(needed);
}

void PutVariableDocument(MbusXmlWriter &out, const mbus_frame_data &data)
{
    PutRoot(out);
    PutHeader(out, data.header, data.rssi, data.hop, static_cast<unsigned char>(data.control));
    out.Put("    <records>\n");
    for (const mbus_data_record *record = data.records; record != nullptr && !out.Failed(); record = record->next)
    {
        if (record->compact_length != 0)
            PutProfileLines(out, *record, data);
        else
            PutRecordLine(out, *record);
    }
    out.Put("    </records>\n");
    PutRaw(out, data.raw_data, data.raw_data != nullptr ? data.raw_data_len : 0);
    out.Put("</mbus>\n");
}

} // namespace

size_t mbus_data_variable_header_xml_wmbus(const mbus_data_variable_header *header, const mbus_frame_data *data,
                                           char *buffer, size_t capacity)
{
    if (header == nullptr || data == nullptr || buffer == nullptr || capacity == 0)
        return 0;
    MbusXmlWriter out(buffer, capacity);
    PutHeader(out, *header, data->rssi, data->hop, static_cast<unsigned char>(data->control));
    return out.Length();
}

const char *mbus_data_record_xml_wmbus(const mbus_data_record *record)
{
    static char line[kRecordLineSize];
    MbusXmlWriter out(line, sizeof line);
    if (record != nullptr)
        PutRecordLine(out, *record);
    return line;
}

char *mbus_data_variable_xml_wmbus(mbus_frame_data *data)
{
    if (data == nullptr)
        return nullptr;
    MbusXmlWriter out(kDocumentStart);
    PutVariableDocument(out, *data);
    return out.Release();
}

char *mbus_data_fixed_xml_wmbus(mbus_data_fixed *data)
{
    if (data == nullptr)
        return nullptr;
    MbusXmlWriter out(kDocumentStart);
    PutRoot(out);
    out.Put("    <header>\n");
    PutElement(out, "        <Id>", mbus_data_bcd_decode_unsigned(data->id_bcd, sizeof data->id_bcd), "</Id>\n");
    out.Put("        <Medium>");
    out.Put(mbus_data_fixed_medium(data));
    out.Put("</Medium>\n");
    PutElement(out, "        <AccessNumber>", data->access_number, "</AccessNumber>\n");
    out.Put("        <Status>");
    out.PutHex2(data->status);
    out.Put("</Status>\n    </header>\n    <records>\n");
    const unsigned char types[2] = {data->counter1_type, data->counter2_type};
    for (int i = 0; i < 2; ++i)
    {
        out.Put("        <record type=\"");
        out.Put((data->status & 0x40) ? "stored" : "actual");
        out.Put("\" unit=\"");
        out.Put(mbus_data_fixed_unit(types[i]));
        out.Put("\">");
        out.PutDecimal(mbus_data_fixed_counter(data, i));
        out.Put("</record>\n");
    }
    out.Put("    </records>\n</mbus>\n");
    return out.Release();
}

char *mbus_frame_data_xml(mbus_frame_data *data)
{
    if (data == nullptr)
        return nullptr;
    if (data->type == MBUS_DATA_TYPE_FIXED)
        return mbus_data_fixed_xml_wmbus(&data->fixed);
    if (data->type == MBUS_DATA_TYPE_VARIABLE)
        return mbus_data_variable_xml_wmbus(data);
    return nullptr;
}

namespace
{
// The error line of the error and raw documents, left out for an empty text.
void PutError(MbusXmlWriter &out, const char *error)
{
    if (error == nullptr || error[0] == '\0')
        return;
    // Error texts may quote radio bytes; escaping leaves ordinary texts as they are.
    out.Put("    <error>");
    out.PutEscaped(error);
    out.Put("</error>\n");
}
} // namespace

char *mbus_frame_error_xml(mbus_frame *frame, const char *error)
{
    if (frame == nullptr)
        return nullptr;
    // The header comes from the frame's own fields, copied the way a data
    // parse would copy them.
    mbus_frame_data fields;
    std::memset(&fields, 0, sizeof fields);
    mbus_data_variable_header_copy(frame, &fields);

    MbusXmlWriter out(kDocumentStart);
    PutRoot(out);
    PutHeader(out, fields.header, frame->rssi, 0, frame->control);
    PutError(out, error);
    PutRaw(out, frame->data, frame->data_size < sizeof frame->data ? frame->data_size : sizeof frame->data);
    out.Put("</mbus>\n");
    return out.Release();
}

char *mbus_frame_raw_xml(const unsigned char *data, size_t count)
{
    return mbus_frame_raw_error_xml(data, count, nullptr);
}

char *mbus_frame_raw_error_xml(const unsigned char *data, size_t count, const char *error)
{
    MbusXmlWriter out(kDocumentStart);
    PutRoot(out);
    PutError(out, error);
    PutRaw(out, data, data != nullptr ? count : 0);
    out.Put("</mbus>\n");
    return out.Release();
}

namespace
{
struct ControlName
{
    unsigned char nibble;
    const char *slaveToMaster; // bit 6 clear
    const char *masterToSlave; // bit 6 set
};

constexpr ControlName kControlNames[] = {
    {0x0, "ACK", "SND-NKE"},   {0x3, "SND-UD", "SND-UD"},  {0x4, "SND-NR", "SND-NR"},   {0x6, "CNF-IR", "SND-IR"},
    {0x7, "ACC-NR", "ACC-NR"}, {0x8, "RSP-UD", "ACC-DMD"}, {0xA, "REQ-UD1", "REQ-UD1"}, {0xB, "REQ-UD2", "REQ-UD2"},
};
} // namespace

const char *mbus_control_str(unsigned char control)
{
    static char text[8];
    unsigned char nibble = control & 0x0F;
    for (const ControlName &entry : kControlNames)
    {
        if (entry.nibble == nibble)
            return (control & MBUS_CONTROL_MASK_DIR_M2S) ? entry.masterToSlave : entry.slaveToMaster;
    }
    std::printf("val:%x\n", nibble);
    std::snprintf(text, sizeof text, "0x%02X", control);
    return text;
}
