// Tools for wired M-Bus frames: secondary addressing, packing decoded data
// back into a frame, and hex dumps of frames.

#include "WMBH_HexText.h"
#include "mbus-protocol.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace
{

constexpr const char *kPrefix = "mbusdecode";
constexpr size_t kSecondaryAddressLength = 16;

// Appends to a frame's data without passing what L can count.
class FrameDataWriter
{
public:
    explicit FrameDataWriter(mbus_frame *frame) : frame_(frame) { frame_->data_size = 0; }

    bool Put(const unsigned char *bytes, size_t count)
    {
        if (count > kMax - frame_->data_size)
            return ok_ = false;
        std::memcpy(frame_->data + frame_->data_size, bytes, count);
        frame_->data_size += count;
        return true;
    }
    bool Put(unsigned char byte) { return Put(&byte, 1); }
    bool Ok() const { return ok_; }

private:
    // A long frame's L counts its data plus C, A and CI in one byte.
    static constexpr size_t kMax = 252;
    mbus_frame *frame_;
    bool ok_ = true;
};

void PutRecord(FrameDataWriter &out, const mbus_data_record *record)
{
    out.Put(record->dif);
    if ((record->dif & 0xEF) == MBUS_DIB_DIF_MANUFACTURER_SPECIFIC)
    {
        // Manufacturer-specific data carry no VIF: the data follow the DIF.
        out.Put(record->data, record->data_len);
        return;
    }
    out.Put(record->dife, record->ndife);
    out.Put(record->vif);
    if ((record->vif & 0x7F) == MBUS_VIF_PLAIN_TEXT)
    {
        // Back to the wire's order, last character first, so that the frame parses again.
        size_t count = std::strlen(record->plain_unit);
        out.Put(static_cast<unsigned char>(count));
        for (size_t i = count; i > 0; --i)
            out.Put(static_cast<unsigned char>(record->plain_unit[i - 1]));
    }
    out.Put(record->vife, record->nvife);
    if ((record->dif & MBUS_DATA_RECORD_DIF_MASK_DATA) == MBUS_DIF_VARIABLE_LENGTH)
    {
        // The parse leaves LVAR bytes 0xFB-0xFF in the data stream, so they are not written here.
        if (record->lvar < 0xFB)
            out.Put(record->lvar);
        if (record->compact_length != 0)
        {
            out.Put(record->spacing_control);
            out.Put(record->spacing_value);
        }
    }
    out.Put(record->data, record->data_len);
}

} // namespace

const char *mbus_frame_get_secondary_address(mbus_frame *frame)
{
    static char address[32];
    if (!frame || frame->control_information != 0x72)
    {
        mbus_error_str_set("Non-variable data response (can't get secondary address from response).");
        return nullptr;
    }
    mbus_frame_data_ptr data(mbus_frame_data_new());
    if (!data)
    {
        mbus_error_printf("%s: Failed to allocate data structure [%p, %p].", kPrefix, static_cast<void *>(frame),
                          static_cast<void *>(data.get()));
        return nullptr;
    }
    if (mbus_frame_data_parse(frame, data.get(), nullptr) != 0 || data->type != MBUS_DATA_TYPE_VARIABLE)
    {
        mbus_error_str_set("Non-variable data response (can't get secondary address from response).");
        return nullptr;
    }
    const mbus_data_variable_header &header = data->header;
    char id[24];
    long long decimal = mbus_data_bcd_decode_unsigned(header.id_bcd, 4);
    if (decimal >= 0)
        std::snprintf(id, sizeof id, "%08lld", decimal);
    else // Non-decimal digits (wildcards) read back as they stand, not as -1.
        std::snprintf(id, sizeof id, "%02X%02X%02X%02X", header.id_bcd[3], header.id_bcd[2], header.id_bcd[1],
                      header.id_bcd[0]);
    std::snprintf(address, sizeof address, "%s%02X%02X%02X%02X", id, header.manufacturer[0], header.manufacturer[1],
                  header.version, header.medium);
    return address;
}

int mbus_frame_select_secondary_pack(mbus_frame *frame, const char *mask)
{
    if (!frame || !mask)
    {
        mbus_error_printf("%s: frame or address arguments are NULL.", kPrefix);
        return -1;
    }
    if (!mbus_is_secondary_address(mask))
    {
        mbus_error_printf("%s: address is invalid.", kPrefix);
        return -1;
    }
    frame->control = 0x73;
    frame->address = 0xFD;
    frame->control_information = 0x52;
    // The check above admits hexadecimal digits only (wildcards are F), so this cannot fail.
    std::vector<unsigned char> bytes;
    HexToBytes(std::string(mask, kSecondaryAddressLength), bytes);
    frame->data_size = 8;
    // Identification number: characters 1-8, least significant byte (last two characters) first.
    std::reverse_copy(bytes.begin(), bytes.begin() + 4, frame->data);
    std::copy(bytes.begin() + 4, bytes.end(), frame->data + 4);
    return 0;
}

int mbus_frame_data_pack(mbus_frame *frame, mbus_frame_data *frame_data)
{
    if (!frame || !frame_data)
        return -1;
    FrameDataWriter out(frame);
    switch (frame_data->type)
    {
    case MBUS_DATA_TYPE_ERROR:
        out.Put(static_cast<unsigned char>(frame_data->error));
        break;
    case MBUS_DATA_TYPE_FIXED:
        out.Put(reinterpret_cast<const unsigned char *>(&frame_data->fixed), sizeof frame_data->fixed);
        break;
    case MBUS_DATA_TYPE_VARIABLE:
    {
        const mbus_data_variable_header &h = frame_data->header;
        out.Put(h.id_bcd, 4);
        out.Put(h.manufacturer, 2);
        out.Put(h.version);
        out.Put(h.medium);
        out.Put(h.access_number);
        out.Put(h.status);
        out.Put(h.signature, 2);
        for (const mbus_data_record *r = frame_data->records; r; r = r->next)
            PutRecord(out, r);
        break;
    }
    default:
        return -2;
    }
    if (!out.Ok())
    {
        mbus_error_str_set("Frame data too long for one frame.");
        return -1;
    }
    return 0;
}

int mbus_is_primary_address(int value)
{
    return value >= 0 && value < 256;
}

int mbus_is_secondary_address(const char *value)
{
    if (!value)
        return 0;
    for (size_t i = 0; i < kSecondaryAddressLength; ++i)
        if (HexDigitValue(value[i]) < 0)
            return 0;
    return value[kSecondaryAddressLength] == '\0';
}

int mbus_frame_print(mbus_frame *frame)
{
    if (!frame)
        return -1;
    unsigned char buffer[256];
    for (mbus_frame *f = frame; f; f = f->next)
    {
        int length = mbus_frame_pack(f, buffer, sizeof buffer);
        if (length < 0)
            continue;
        std::printf("%s: Dumping M-Bus frame [type %d, %d bytes]: ", kPrefix, f->type, length);
        for (int i = 0; i < length; ++i)
            std::printf("%.2X ", buffer[i]);
        std::printf("\n");
    }
    return 0;
}

void mbus_hex_dump(const char *label, const unsigned char *data, size_t len)
{
    if (!label || (!data && len > 0))
        return;
    char stamp[32] = "";
    time_t now = std::time(nullptr);
    struct tm utc
    {
    };
    if (gmtime_r(&now, &utc))
        std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
    std::fprintf(stderr, "[%s] %s (%03zu):", stamp, label, len);
    for (size_t i = 0; i < len; ++i)
        std::fprintf(stderr, " %02X", data[i]);
    std::fprintf(stderr, "\n");
}

void mbus_dump_recv(const unsigned char *data, size_t len)
{
    mbus_hex_dump("RECV", data, len);
}

void mbus_dump_send(const unsigned char *data, size_t len)
{
    mbus_hex_dump("SEND", data, len);
}
