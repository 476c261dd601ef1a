// Unit texts: the unit prefixes, the primary VIF table, the VIF extension
// tables behind VIF 0xFD and 0xFB, and the units of fixed-structure counters.

#include "mbus-protocol.h"
#include "mbus-xml-writer.h"

#include <cstdio>

namespace
{

constexpr size_t kUnitTextSize = 256;

struct PrefixEntry
{
    int exponent;
    const char *text;
};

constexpr PrefixEntry kPrefixes[] = {
    {0, ""}, {1, "10 "}, {2, "100 "}, {3, "k"}, {4, "10 k"}, {5, "100 k"}, {6, "M"}, {9, "T"}, {-3, "m"}, {-6, "my"},
};

// How a table row becomes text.
enum class UnitKind : unsigned char
{
    Text,      // head
    Prefixed,  // head, the prefix of the row's exponent, tail
    TimeUnit,  // head and the time unit of the code's two low bits
    VifHex,    // "Unknown (VIF=0x%.2X)" of the whole VIF byte
    VifeHex,   // head, then the attribute vife="0x%.2x" of the VIFE
    PlainText, // the record's plain-text unit
};

// A row matches a code when (code AND mask) = value; the first match wins.
// The exponent of a prefixed row is (code AND exponentMask) + exponentOffset.
struct UnitEntry
{
    unsigned char value;
    unsigned char mask;
    UnitKind kind;
    const char *head;
    const char *tail;
    unsigned char exponentMask;
    signed char exponentOffset;
};

constexpr UnitEntry Text(unsigned char value, unsigned char mask, const char *text)
{
    return {value, mask, UnitKind::Text, text, "", 0, 0};
}

constexpr UnitEntry Prefixed(unsigned char value, unsigned char mask, const char *head, const char *tail,
                             unsigned char exponentMask, signed char exponentOffset)
{
    return {value, mask, UnitKind::Prefixed, head, tail, exponentMask, exponentOffset};
}

constexpr UnitEntry Timed(unsigned char value, const char *head)
{
    return {value, 0x7C, UnitKind::TimeUnit, head, "", 0, 0};
}

constexpr UnitEntry Of(UnitKind kind, unsigned char value, unsigned char mask, const char *head = "")
{
    return {value, mask, kind, head, "", 0, 0};
}

// Primary VIFs, matched on VIF AND 0x7F.
constexpr UnitEntry kPrimaryUnits[] = {
    Prefixed(0x00, 0x78, "Energy (", "Wh)", 7, -3),
    Prefixed(0x08, 0x78, "Energy (", "J)", 7, 0),
    Prefixed(0x10, 0x78, "Volume (", " m^3)", 7, -6),
    Prefixed(0x18, 0x78, "Mass (", "kg)", 7, -3),
    Timed(0x20, "On time "),
    Timed(0x24, "Operating time "),
    Prefixed(0x28, 0x78, "Power (", "W)", 7, -3),
    Prefixed(0x30, 0x78, "Power (", "J/h)", 7, 0),
    Prefixed(0x38, 0x78, "Volume flow (", " m^3/h)", 7, -6),
    Prefixed(0x40, 0x78, "Volume flow (", " m^3/min)", 7, -7),
    Prefixed(0x48, 0x78, "Volume flow (", " m^3/s)", 7, -9),
    Prefixed(0x50, 0x78, "Mass flow (", " kg/h)", 7, -3),
    Prefixed(0x58, 0x7C, "Flow temperature (", "deg C)", 3, -3),
    Prefixed(0x5C, 0x7C, "Return temperature (", "deg C)", 3, -3),
    Prefixed(0x60, 0x7C, "Temperature Difference (", " deg C)", 3, -3),
    Prefixed(0x64, 0x7C, "External temperature (", " deg C)", 3, -3),
    Prefixed(0x68, 0x7C, "Pressure (", " bar)", 3, -3),
    Text(0x6C, 0x7F, "Time Point (date)"),
    Text(0x6D, 0x7F, "Time Point (time / date)"),
    Text(0x6E, 0x7F, "Units for H.C.A."),
    Text(0x6F, 0x7F, "Reserved"),
    Timed(0x70, "Averaging Duration "),
    Timed(0x74, "Actuality Duration "),
    Text(0x78, 0x7F, "Fabrication number"),
    Of(UnitKind::VifHex, 0x79, 0x7F),
    Text(0x7A, 0x7F, "Bus Address"),
    Of(UnitKind::VifHex, 0x7B, 0x7F),
    Of(UnitKind::PlainText, 0x7C, 0x7F),
    Of(UnitKind::VifHex, 0x7D, 0x7F),
    Text(0x7E, 0x7F, "Any VIF"),
    Text(0x7F, 0x7F, "Manufacturer specific"),
};

// First VIFE after VIF 0xFD, matched on the whole byte.
constexpr UnitEntry kFdUnits[] = {
    Text(0x08, 0x7F, "Access Number (transmission count)"),
    Text(0x09, 0x7F, "Medium (as in fixed header)"),
    Text(0x0A, 0x7F, "Manufacturer (as in fixed header)"),
    Text(0x0B, 0x7F, "Parameter set identification"),
    Text(0x0C, 0x7F, "Model / Version"),
    Text(0x0D, 0x7F, "Hardware version"),
    Text(0x0E, 0x7F, "Firmware version"),
    Text(0x0F, 0x7F, "Software version"),
    Text(0x10, 0xFF, "Customer location"),
    Text(0x11, 0xFF, "Customer"),
    Text(0x16, 0xFF, "Password"),
    Text(0x17, 0x7F, "Error flag"),
    Text(0x1A, 0xFF, "Digital output (binary)"),
    Text(0x1B, 0xFF, "Digital input (binary)"),
    Prefixed(0x40, 0x70, "", " V", 0x0F, -9),
    Prefixed(0x50, 0x70, "", " A", 0x0F, -12),
    Of(UnitKind::VifeHex, 0x70, 0xF0, "Reserved VIF extension"),
    Of(UnitKind::VifeHex, 0x00, 0x00, "Unrecognized VIF extension"),
};

// First VIFE after VIF 0xFB, matched on the whole byte.
constexpr UnitEntry kFbUnits[] = {
    Prefixed(0x00, 0xFE, "Energy (", "MWh)", 1, -1),
    Prefixed(0x02, 0xFE, "Reactive energy (", "kVARh)", 1, 0),
    Prefixed(0x04, 0xFE, "Apparent energy (", "kVAh)", 1, 0),
    Prefixed(0x08, 0xFE, "Energy (", "GJ)", 1, -1),
    Prefixed(0x0C, 0xFE, "Energy (", "MCal)", 3, -1),
    Prefixed(0x10, 0xFE, "Volume (", " m^3)", 1, 2),
    Prefixed(0x14, 0xFC, "Reactive power (", "kVAR)", 3, -3),
    Prefixed(0x18, 0xFE, "Mass (", "t)", 1, 2),
    Prefixed(0x1A, 0xFE, "Relative humidity (", "%)", 1, -1),
    Prefixed(0x28, 0xFE, "Power (", "MW)", 1, -1),
    Text(0x2A, 0xFF, "Phase U-U"),
    Text(0x2B, 0xFF, "Phase U-I"),
    Prefixed(0x30, 0xFE, "Power (", "GJ/h)", 1, -1),
    Prefixed(0x34, 0xFC, "Apparent power (", "kVA)", 3, -3),
    Prefixed(0x74, 0xFC, "Cold/warm temperature limit (", "deg C)", 3, -3),
    Prefixed(0x78, 0xF8, "Cum. max. of active power (", "W)", 7, -3),
    Prefixed(0xC0, 0xFC, "Frequency (", "Hz)", 3, -3),
    Of(UnitKind::VifeHex, 0x00, 0x00, "Unrecognized VIF extension"),
};

constexpr const char *kTimeUnits[] = {"(seconds)", "(minutes)", "(hours)", "(days)"};

template <size_t N> const UnitEntry *FindUnit(const UnitEntry (&table)[N], unsigned char code)
{
    for (const UnitEntry &entry : table)
    {
        if ((code & entry.mask) == entry.value)
            return &entry;
    }
    return nullptr;
}

void PutVifeAttribute(MbusXmlWriter &out, const char *head, unsigned char vife)
{
    // Closes the unit attribute and opens a vife attribute in the record line.
    out.Put(head);
    out.Put("\" vife=\"0x");
    out.PutHex2(vife, false);
}

// `code` is what the row matched; `vif` the whole VIF byte.
void PutUnit(MbusXmlWriter &out, const UnitEntry *entry, unsigned char code, unsigned char vif, const char *plain)
{
    if (entry == nullptr)
        return;
    switch (entry->kind)
    {
    case UnitKind::Text:
        out.Put(entry->head);
        break;
    case UnitKind::Prefixed:
        out.Put(entry->head);
        out.Put(mbus_unit_prefix((code & entry->exponentMask) + entry->exponentOffset));
        out.Put(entry->tail);
        break;
    case UnitKind::TimeUnit:
        out.Put(entry->head);
        out.Put(kTimeUnits[code & 3]);
        break;
    case UnitKind::VifHex:
        out.Put("Unknown (VIF=0x");
        out.PutHex2(vif);
        out.Put(')');
        break;
    case UnitKind::VifeHex:
        PutVifeAttribute(out, entry->head, code);
        break;
    case UnitKind::PlainText:
        out.Put(plain);
        break;
    }
}

} // namespace

const char *mbus_unit_prefix(int exponent)
{
    static char text[kUnitTextSize];
    for (const PrefixEntry &entry : kPrefixes)
    {
        if (entry.exponent == exponent)
            return entry.text;
    }
    std::snprintf(text, sizeof text, "10^%d", exponent);
    return text;
}

const char *mbus_vif_unit_lookup(unsigned char vif, const char *plain_unit)
{
    static char text[kUnitTextSize];
    MbusXmlWriter out(text, sizeof text);
    unsigned char code = vif & 0x7F;
    PutUnit(out, FindUnit(kPrimaryUnits, code), code, vif, plain_unit);
    return text;
}

const char *mbus_vib_unit_lookup(const mbus_data_record *record)
{
    static char text[kUnitTextSize];
    MbusXmlWriter out(text, sizeof text);
    if (record == nullptr)
        return text;
    unsigned char vif = record->vif;
    bool hasVife = record->nvife > 0;
    unsigned char vife = hasVife ? record->vife[0] : 0;
    if (vif == 0xFD || vif == 0xFB)
    {
        if (!hasVife)
            out.Put("Missing VIF extension");
        else
            PutUnit(out, FindUnit(vif == 0xFD ? kFdUnits : kFbUnits, vife), vife, vif, record->plain_unit);
    }
    else if (vif == 0xEF)
        PutVifeAttribute(out, "Reserved VIF extension", vife);
    else if ((vif & 0x7F) == 0x7F)
        PutVifeAttribute(out, "Vendor specific VIF extension", vife);
    else if (vif == 0xFC && hasVife && (vife & 0x78) == 0x70)
    {
        out.Put(mbus_unit_prefix((vife & 7) - 6));
        out.Put(' ');
        out.Put(record->plain_unit);
    }
    else if (vif == 0xFC)
        out.Put(record->plain_unit);
    else
        return mbus_vif_unit_lookup(vif, record->plain_unit);
    return text;
}

namespace
{
constexpr const char *kFixedUnits[64] = {
    "h,m,s",         "D,M,Y",         "Wh",       "10 Wh",    "100 Wh",   "kWh",      "10 kWh",
    "100 kWh",       "MWh",           "10 MWh",   "100 MWh",  "kJ",       "10 kJ",    "MJ",
    "100 kJ",        "10 MJ",         "100 MJ",   "GJ",       "10 GJ",    "100 GJ",   "W",
    "10 W",          "100 W",         "kW",       "10 kW",    "100 kW",   "MW",       "10 MW",
    "100 MW",        "kJ/h",          "10 kJ/h",  "100 kJ/h", "MJ/h",     "10 MJ/h",  "100 MJ/h",
    "GJ/h",          "10 GJ/h",       "100 GJ/h", "ml",       "10 ml",    "100 ml",   "l",
    "10 l",          "100 l",         "m^3",      "10 m^3",   "m^3",      "ml/h",     "10 ml/h",
    "100 ml/h",      "l/h",           "10 l/h",   "100 l/h",  "m^3/h",    "10 m^3/h", "100 m^3/h",
    "1e-3 \u00B0C",  "units for HCA", "reserved", "reserved", "reserved", "reserved", "reserved but historic",
    "without units",
};
} // namespace

const char *mbus_data_fixed_unit(int counter_type)
{
    static char text[kUnitTextSize];
    MbusXmlWriter out(text, sizeof text);
    out.Put(kFixedUnits[counter_type & 0x3F]);
    return text;
}
