// Frame layer of the decoder: the error text, parsing and verification of
// wireless and wired frames, and the wired frame's checksum, length and packing.

#include "WMBH_Cursor.h"
#include "mbus-crc16.h"
#include "mbus-protocol-ci.h"
#include "mbus-security-mode.h"
#include "mbus-protocol.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

char g_error_text[MBUS_ERROR_TEXT_SIZE] = "no errors";
int g_debug = 0;

enum class CiClass
{
    None,
    NoHeader,
    ShortHeader,
    LongHeader
};

struct CiClassEntry
{
    unsigned char ci;
    CiClass ciClass;
};

constexpr CiClassEntry kCiClasses[] = {
    {0x51, CiClass::NoHeader},    {0x69, CiClass::NoHeader},    {0x70, CiClass::NoHeader},
    {0x71, CiClass::NoHeader},    {0x78, CiClass::NoHeader},    {0x79, CiClass::NoHeader},
    {0x5A, CiClass::ShortHeader}, {0x6A, CiClass::ShortHeader}, {0x6E, CiClass::ShortHeader},
    {0x74, CiClass::ShortHeader}, {0x7A, CiClass::ShortHeader}, {0x7B, CiClass::ShortHeader},
    {0x8A, CiClass::ShortHeader}, {0xA1, CiClass::ShortHeader}, {0xA3, CiClass::ShortHeader},
    {0xA5, CiClass::ShortHeader}, {0xA7, CiClass::ShortHeader}, {0xA9, CiClass::ShortHeader},
    {0xAA, CiClass::ShortHeader}, {0x5B, CiClass::LongHeader},  {0x6B, CiClass::LongHeader},
    {0x6F, CiClass::LongHeader},  {0x72, CiClass::LongHeader},  {0x73, CiClass::LongHeader},
    {0x75, CiClass::LongHeader},  {0x80, CiClass::LongHeader},  {0x8B, CiClass::LongHeader},
    {0xA0, CiClass::LongHeader},  {0xA2, CiClass::LongHeader},  {0xA4, CiClass::LongHeader},
    {0xA6, CiClass::LongHeader},  {0xA8, CiClass::LongHeader},
};

CiClass LookupCiClass(unsigned char ci)
{
    for (const auto &entry : kCiClasses)
        if (entry.ci == ci)
            return entry.ciClass;
    return CiClass::None;
}

// Low nibbles of the C-field that a wireless frame may carry.
constexpr unsigned char kWirelessControlNibbles[] = {0x0, 0x3, 0x4, 0x6, 0x7, 0x8};

bool IsWirelessControl(unsigned char control)
{
    for (unsigned char nibble : kWirelessControlNibbles)
        if ((control & 0x0F) == nibble)
            return true;
    return false;
}

constexpr unsigned char kShortFrameControls[] = {0x40, 0x5A, 0x5B, 0x7A, 0x7B};
constexpr unsigned char kLongFrameControls[] = {0x08, 0x18, 0x28, 0x38, 0x53, 0x73};

template <size_t N> bool Contains(const unsigned char (&table)[N], unsigned char value)
{
    for (unsigned char entry : table)
        if (entry == value)
            return true;
    return false;
}

// Bytes of the wireless layout outside the transport header: 0x68, L, the
// link header (C, M, A, CI) before, rssi, x, y, 0x16 after.
constexpr size_t kWirelessLinkEnd = 12;
constexpr size_t kWirelessTrailer = 4;

void DebugPrintInput(const unsigned char *data, size_t size)
{
    if (!g_debug)
        return;
    std::printf("%s: Attempting to parse binary data [size = %zu]\n", "mbusdecode", size);
    for (size_t i = 0; i < size; ++i)
        std::printf("%.2X ", data[i]);
    std::printf("\n%s: done.\n", "mbusdecode");
}

// Copies what the cursor has left into the frame's data.
void TakeData(mbus_frame *frame, const WMBH_Cursor &cursor)
{
    frame->data_size = cursor.Remaining();
    std::memcpy(frame->data, cursor.Current(), frame->data_size);
}

} // namespace

//------------------------------------------------------------------------------
// Error text and debug flag
//------------------------------------------------------------------------------

const char *mbus_error_str(void)
{
    return g_error_text;
}

void mbus_error_str_set(const char *message)
{
    if (message)
        std::snprintf(g_error_text, sizeof g_error_text, "%s", message);
}

void mbus_error_printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    std::vsnprintf(g_error_text, sizeof g_error_text, format, args);
    va_end(args);
}

void mbus_error_reset(void)
{
    mbus_error_str_set("no errors");
}

void mbus_set_debug(int debug)
{
    g_debug = debug;
}

//------------------------------------------------------------------------------
// Wireless frames
//------------------------------------------------------------------------------

namespace
{
// The count of bytes still missing, as mbus_parse_wmbus returns it.
int Missing(size_t count)
{
    mbus_error_printf("Frame incomplete: %zu bytes missing", count);
    return static_cast<int>(count);
}

int Short(const char *reason)
{
    mbus_error_str_set(reason);
    return -2;
}
} // namespace

int mbus_parse_wmbus(mbus_frame *frame, const unsigned char *data, size_t data_size)
{
    if (!frame || !data)
        return -1;
    // Nothing of an earlier frame, nor its error text, may pass for this one.
    *frame = mbus_frame{};
    mbus_error_reset();
    DebugPrintInput(data, data_size);
    frame->timestamp = std::time(nullptr);

    // Every refusal names its reason: the caller prints it in the frame's document, and an
    // empty or stale text there would make a refused frame look like an empty one.
    if (data_size == 0)
        return Missing(3);
    if (data[0] != 0x68)
    {
        mbus_error_str_set("Start character not found");
        return -4;
    }
    if (data_size < 3)
        return Missing(3 - data_size);

    const size_t length = data[1];
    frame->start1 = 0x68;
    frame->length1 = data[1];
    frame->length2 = data[2];
    if (!IsWirelessControl(data[2]))
    {
        mbus_error_printf("Unsupported C-field 0x%02X", data[2]);
        return -2;
    }
    if (data_size < length + 3)
        return Missing(length + 3 - data_size);

    frame->start2 = 0x68;
    frame->control = data[2];
    frame->address = 0;
    if (length + 3 < kWirelessLinkEnd + kWirelessTrailer)
        return Short("Frame too short for its link header"); // C, M, A and CI before the trailer
    // The trailer sits at the end of the input, whatever L says.
    frame->rssi = data[data_size - 4];
    frame->checksum = data[data_size - 3];
    frame->trailer = data[data_size - 2];
    frame->stop = data[data_size - 1];
    std::memcpy(frame->link_address, data + 3, sizeof frame->link_address);
    frame->ci = data[11];
    frame->control_information = frame->ci;

    // Everything between the CI and the rssi byte: transport header and data.
    WMBH_Cursor body(data + kWirelessLinkEnd, length + 3 - kWirelessTrailer - kWirelessLinkEnd);
    switch (LookupCiClass(frame->ci))
    {
    case CiClass::None:
    {
        mbus_error_printf("unsupported CI field 0x%02X", frame->ci);
        // Keep the CI with the data so that the caller can show what came.
        WMBH_Cursor withCi(data + kWirelessLinkEnd - 1, body.Remaining() + 1);
        TakeData(frame, withCi);
        return -2;
    }
    case CiClass::NoHeader:
        break;
    case CiClass::LongHeader:
        if (!body.Read(frame->transport_address, sizeof frame->transport_address))
            return Short("Frame too short for its transport header");
        // The long header ends with the short header's fields.
        [[fallthrough]];
    case CiClass::ShortHeader:
        if (!body.Read(frame->access_number) || !body.Read(frame->status) || !body.Read(frame->configuration_word, 2))
            return Short("Frame too short for its transport header");
        if (body.Remaining() >= 2)
            std::memcpy(frame->header_follow_up, body.Current(), 2);
        break;
    }

    if (MbusSecurityMode(frame->configuration_word[1]) == 5)
    {
        // The verification bytes are checked by the decryption, not here.
        if (!body.Skip(2))
        {
            TakeData(frame, body);
            return Short("Frame too short for its verification bytes");
        }
    }

    if (MbusIsFormatFrameCi(frame->ci))
    {
        unsigned int signature = 0;
        if (body.Remaining() < 3)
        {
            TakeData(frame, body);
            return Short("Format frame too short for its signature");
        }
        body.Read(frame->format_length);
        body.ReadLe16(signature);
        frame->format_signature = static_cast<uint16_t>(signature);
    }
    else if (MbusIsCompactFrameCi(frame->ci))
    {
        unsigned int signature = 0;
        unsigned int crc = 0;
        if (body.Remaining() < 4)
        {
            TakeData(frame, body);
            return Short("Compact frame too short for its signature and CRC");
        }
        body.ReadLe16(signature);
        body.ReadLe16(crc);
        frame->format_signature = static_cast<uint16_t>(signature);
        frame->full_frame_crc = static_cast<uint16_t>(crc);
    }

    TakeData(frame, body);
    frame->type = MBUS_FRAME_TYPE_WIRELESS;
    return mbus_frame_verify(frame) == 0 ? 0 : -3;
}

int mbus_frame_verify(mbus_frame *frame)
{
    if (!frame)
    {
        mbus_error_str_set("Got null pointer to frame.");
        return -1;
    }
    switch (frame->type)
    {
    case MBUS_FRAME_TYPE_ACK:
        break;
    case MBUS_FRAME_TYPE_SHORT:
        if (frame->start1 != MBUS_FRAME_SHORT_START)
        {
            mbus_error_str_set("No frame start");
            return -1;
        }
        if (!Contains(kShortFrameControls, frame->control))
        {
            mbus_error_printf("Unknown Control Code 0x%.2x", frame->control);
            return -1;
        }
        break;
    case MBUS_FRAME_TYPE_CONTROL:
    case MBUS_FRAME_TYPE_LONG:
        if (frame->start1 != MBUS_FRAME_LONG_START || frame->start2 != MBUS_FRAME_LONG_START)
        {
            mbus_error_str_set("No frame start");
            return -1;
        }
        if (!Contains(kLongFrameControls, frame->control))
        {
            mbus_error_printf("Unknown Control Code 0x%.2x", frame->control);
            return -1;
        }
        if (frame->length1 != frame->length2)
        {
            mbus_error_str_set("Frame length 1 != 2");
            return -1;
        }
        if (frame->length1 != mbus_frame_calc_length(frame))
        {
            mbus_error_str_set("Frame length 1 != calc length");
            return -1;
        }
        break;
    case MBUS_FRAME_TYPE_WIRELESS:
        if (frame->start1 != 0x68 || frame->stop != MBUS_FRAME_STOP)
        {
            mbus_error_str_set("No frame start or stop");
            return -1;
        }
        break;
    default:
        mbus_error_printf("Unknown frame type 0x%.2x", static_cast<unsigned int>(frame->type));
        return -1;
    }

    if (frame->type >= MBUS_FRAME_TYPE_SHORT && frame->type <= MBUS_FRAME_TYPE_LONG)
    {
        if (frame->stop != MBUS_FRAME_STOP)
        {
            mbus_error_str_set("No frame stop");
            return -1;
        }
        unsigned char computed = mbus_frame_calc_checksum(frame);
        if (frame->checksum != computed)
        {
            mbus_error_printf("Invalid checksum (0x%.2x != 0x%.2x)", frame->checksum, computed);
            return -1;
        }
    }

    if (MbusIsFormatFrameCi(frame->control_information))
    {
        // The signature covers (format length - 2) bytes of the DIF/VIF part,
        // which must lie inside the frame's data.
        if (frame->format_length < 2 || frame->format_length - 2u > MbusFrameDataSize(frame))
        {
            mbus_error_printf("Invalid format length (%u)", frame->format_length);
            return -1;
        }
        uint16_t computed = mbus_crc16(frame->data, frame->format_length - 2u, MBUS_CRC16_SKIP_FILL);
        if (computed != frame->format_signature)
        {
            mbus_error_printf("Invalid format signature (0x%.4x != 0x%.4x)", frame->format_signature, computed);
            return -1;
        }
    }
    return 0;
}

//------------------------------------------------------------------------------
// Wired frames
//------------------------------------------------------------------------------

mbus_frame *mbus_frame_new(int frame_type)
{
    mbus_frame *frame = static_cast<mbus_frame *>(std::calloc(1, sizeof(mbus_frame)));
    if (!frame)
        return nullptr;
    frame->type = frame_type;
    switch (frame_type)
    {
    case MBUS_FRAME_TYPE_ACK:
        frame->start1 = MBUS_FRAME_ACK_START;
        break;
    case MBUS_FRAME_TYPE_SHORT:
        frame->start1 = MBUS_FRAME_SHORT_START;
        frame->stop = MBUS_FRAME_STOP;
        break;
    case MBUS_FRAME_TYPE_CONTROL:
        frame->start1 = MBUS_FRAME_CONTROL_START;
        frame->length1 = 3;
        frame->length2 = 3;
        frame->start2 = MBUS_FRAME_CONTROL_START;
        frame->stop = MBUS_FRAME_STOP;
        break;
    case MBUS_FRAME_TYPE_LONG:
        frame->start1 = MBUS_FRAME_LONG_START;
        frame->start2 = MBUS_FRAME_LONG_START;
        frame->stop = MBUS_FRAME_STOP;
        break;
    default:
        break;
    }
    return frame;
}

int mbus_frame_free(mbus_frame *frame)
{
    if (!frame)
        return -1;
    while (frame)
    {
        mbus_frame *next = frame->next;
        std::free(frame);
        frame = next;
    }
    return 0;
}

unsigned char mbus_frame_calc_checksum(mbus_frame *frame)
{
    if (!frame)
        return 0;
    unsigned int sum = 0;
    switch (frame->type)
    {
    case MBUS_FRAME_TYPE_SHORT:
        sum = frame->control + frame->address;
        break;
    case MBUS_FRAME_TYPE_CONTROL:
        sum = frame->control + frame->address + frame->control_information;
        break;
    case MBUS_FRAME_TYPE_LONG:
        sum = frame->control + frame->address + frame->control_information;
        for (size_t i = 0; i < MbusFrameDataSize(frame); ++i)
            sum += frame->data[i];
        break;
    default:
        break;
    }
    return static_cast<unsigned char>(sum & 0xFF);
}

unsigned char mbus_frame_calc_length(mbus_frame *frame)
{
    if (!frame)
        return 0;
    switch (frame->type)
    {
    case MBUS_FRAME_TYPE_CONTROL:
        return 3;
    case MBUS_FRAME_TYPE_LONG:
        return static_cast<unsigned char>(frame->data_size + 3);
    case MBUS_FRAME_TYPE_WIRELESS:
        return static_cast<unsigned char>(frame->data_size);
    default:
        return 0;
    }
}

int mbus_frame_set_checksum(mbus_frame *frame)
{
    if (!frame)
        return 0;
    if (frame->type < MBUS_FRAME_TYPE_ACK || frame->type > MBUS_FRAME_TYPE_LONG)
        return -1;
    frame->checksum = mbus_frame_calc_checksum(frame);
    return 0;
}

int mbus_frame_set_length(mbus_frame *frame)
{
    if (!frame)
        return -1;
    frame->length1 = frame->length2 = mbus_frame_calc_length(frame);
    return 0;
}

int mbus_frame_pack(mbus_frame *frame, unsigned char *data, size_t data_size)
{
    if (!frame || !data)
        return -1;
    if (frame->type < MBUS_FRAME_TYPE_ACK || frame->type > MBUS_FRAME_TYPE_LONG)
        return -3;
    // L is one byte: more data than L can count (or than the frame holds) cannot be packed.
    if (frame->type == MBUS_FRAME_TYPE_LONG && frame->data_size > 252)
        return -1;
    mbus_frame_set_length(frame);
    mbus_frame_set_checksum(frame);

    size_t needed = 0;
    switch (frame->type)
    {
    case MBUS_FRAME_TYPE_ACK:
        needed = 1;
        break;
    case MBUS_FRAME_TYPE_SHORT:
        needed = 5;
        break;
    case MBUS_FRAME_TYPE_CONTROL:
        needed = 9;
        break;
    default:
        needed = 9 + frame->data_size;
        break;
    }
    if (data_size < needed)
        return -4;

    size_t pos = 0;
    data[pos++] = frame->start1;
    if (frame->type == MBUS_FRAME_TYPE_ACK)
        return static_cast<int>(pos);
    if (frame->type == MBUS_FRAME_TYPE_SHORT)
    {
        data[pos++] = frame->control;
        data[pos++] = frame->address;
        data[pos++] = frame->checksum;
        data[pos++] = frame->stop;
        return static_cast<int>(pos);
    }
    data[pos++] = frame->length1;
    data[pos++] = frame->length2;
    data[pos++] = frame->start2;
    data[pos++] = frame->control;
    data[pos++] = frame->address;
    data[pos++] = frame->control_information;
    if (frame->type == MBUS_FRAME_TYPE_LONG)
    {
        std::memcpy(data + pos, frame->data, frame->data_size);
        pos += frame->data_size;
    }
    data[pos++] = frame->checksum;
    data[pos++] = frame->stop;
    return static_cast<int>(pos);
}

int mbus_parse(mbus_frame *frame, const unsigned char *data, size_t data_size)
{
    if (!frame || !data || data_size == 0)
    {
        mbus_error_str_set("Got null pointer to frame, data or zero data_size.");
        return -1;
    }
    *frame = mbus_frame{};
    DebugPrintInput(data, data_size);
    frame->timestamp = std::time(nullptr);

    switch (data[0])
    {
    case MBUS_FRAME_ACK_START:
        frame->start1 = data[0];
        frame->type = MBUS_FRAME_TYPE_ACK;
        break;
    case MBUS_FRAME_SHORT_START:
        if (data_size < 5)
            return static_cast<int>(5 - data_size);
        if (data_size > 5)
        {
            mbus_error_str_set("Too much data in frame.");
            return -2;
        }
        frame->start1 = data[0];
        frame->control = data[1];
        frame->address = data[2];
        frame->checksum = data[3];
        frame->stop = data[4];
        frame->type = MBUS_FRAME_TYPE_SHORT;
        break;
    case MBUS_FRAME_LONG_START:
    {
        if (data_size < 3)
            return static_cast<int>(3 - data_size);
        frame->start1 = data[0];
        frame->length1 = data[1];
        frame->length2 = data[2];
        if (frame->length1 < 3 || frame->length1 != frame->length2)
        {
            mbus_error_str_set("Invalid M-Bus frame length.");
            return -2;
        }
        const size_t length = frame->length1;
        if (data_size < length + 6)
            return static_cast<int>(length + 6 - data_size);
        if (data_size > length + 6)
        {
            mbus_error_str_set("Too much data in frame.");
            return -2;
        }
        frame->start2 = data[3];
        frame->control = data[4];
        frame->address = data[5];
        frame->control_information = data[6];
        frame->data_size = length - 3;
        std::memcpy(frame->data, data + 7, frame->data_size);
        frame->checksum = data[length + 4];
        frame->stop = data[length + 5];
        frame->type = frame->data_size == 0 ? MBUS_FRAME_TYPE_CONTROL : MBUS_FRAME_TYPE_LONG;
        break;
    }
    default:
        mbus_error_str_set("Invalid M-Bus frame start.");
        return -4;
    }
    return mbus_frame_verify(frame) == 0 ? 0 : -3;
}

int mbus_frame_direction(mbus_frame *frame)
{
    if (!frame)
        return -1;
    if (frame->type == MBUS_FRAME_TYPE_ACK)
        return 0;
    return frame->control & MBUS_CONTROL_MASK_DIR_M2S;
}

int mbus_frame_type(mbus_frame *frame)
{
    return frame ? frame->type : -1;
}
