// Medium texts (variable and fixed data) and the packed manufacturer code.

#include "mbus-protocol.h"

#include <cstdio>
#include <cstring>

namespace
{

constexpr size_t kMediumTextSize = 256;

struct MediumEntry
{
    unsigned char code;
    const char *text;
};

constexpr MediumEntry kMedia[] = {
    {0x00, "Other"},
    {0x01, "Oil"},
    {0x02, "Electricity"},
    {0x03, "Gas"},
    {0x04, "Heat: Outlet"},
    {0x05, "Steam"},
    {0x06, "Hot water"},
    {0x07, "Water"},
    {0x08, "Heat Cost Allocator"},
    {0x09, "Compressed Air"},
    {0x0A, "Cooling load meter: Outlet"},
    {0x0B, "Cooling load meter: Inlet"},
    {0x0C, "Heat: Inlet"},
    {0x0D, "Heat / Cooling load meter"},
    {0x0E, "Bus/System"},
    {0x0F, "Unknown Medium"},
    {0x10, "Reserved"},
    {0x14, "Calorific value"},
    {0x15, "Hot water"},
    {0x16, "Cold water"},
    {0x17, "Dual water"},
    {0x18, "Pressure"},
    {0x19, "A/D Converter"},
    {0x1B, "Temperature"},
    {0x1C, "Gas detector"},
    {0x20, "Breaker"},
    {0x21, "Valve"},
    {0x25, "Display"},
    {0x28, "Waste water"},
    {0x29, "Garbage"},
    {0x2A, "Carbon dioxide"},
    {0x31, "Communication controller"},
    {0x32, "Unidirectional repeater"},
    {0x33, "Bidirectional repeater"},
    {0x36, "Radio converter (system side)"},
    {0x37, "Radio converter (meter side)"},
};

// Indexed by ((counter 2 type >> 6) << 2) | (counter 1 type >> 6).
constexpr const char *kFixedMedia[16] = {
    "Other",
    "Oil",
    "Electricity",
    "Gas",
    "Heat",
    "Steam",
    "Hot Water",
    "Water",
    "H.C.A.",
    "Reserved",
    "Gas Mode 2",
    "Heat Mode 2",
    "Hot Water Mode 2",
    "Water Mode 2",
    "H.C.A. Mode 2",
    "Reserved",
};

} // namespace

const char *mbus_data_variable_medium_lookup(unsigned char medium)
{
    static char text[kMediumTextSize];
    for (const MediumEntry &entry : kMedia)
    {
        if (entry.code == medium)
            return entry.text;
    }
    std::snprintf(text, sizeof text, "Unknown medium (0x%.2x)", medium);
    return text;
}

const char *mbus_data_fixed_medium(const mbus_data_fixed *data)
{
    if (data == nullptr)
        return "";
    return kFixedMedia[((data->counter2_type >> 6) << 2) | (data->counter1_type >> 6)];
}

const char *mbus_decode_manufacturer(unsigned char low, unsigned char high)
{
    static char letters[4];
    unsigned code = static_cast<unsigned>(high) << 8 | low;
    letters[0] = static_cast<char>(((code >> 10) & 0x1F) | 0x40);
    letters[1] = static_cast<char>(((code >> 5) & 0x1F) | 0x40);
    letters[2] = static_cast<char>((code & 0x1F) | 0x40);
    letters[3] = '\0';
    return letters;
}

int mbus_encode_manufacturer(unsigned char *out, const char *letters)
{
    // Three letters are read, so a shorter text is refused rather than read past.
    if (out == nullptr || letters == nullptr || std::strlen(letters) < 3)
        return -1;
    unsigned code = (static_cast<unsigned>(letters[0]) & 0x1F) << 10 | (static_cast<unsigned>(letters[1]) & 0x1F) << 5 |
                    (static_cast<unsigned>(letters[2]) & 0x1F);
    out[0] = static_cast<unsigned char>(code & 0xFF);
    out[1] = static_cast<unsigned char>(code >> 8);
    return 0;
}
