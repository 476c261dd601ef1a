// Unit prefixes, the VIF and VIF extension tables, media and manufacturer codes.

#include "mbus-protocol.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

mbus_data_record Record(unsigned char vif, std::vector<unsigned char> vife = {}, const char *plain = "")
{
    mbus_data_record record{};
    record.vif = vif;
    for (unsigned char e : vife)
        record.vife[record.nvife++] = e;
    std::strncpy(record.plain_unit, plain, MBUS_PLAIN_UNIT_LENGTH_MAX);
    return record;
}

TEST(UnitPrefix, NamedExponentsAndPowersOfTen)
{
    const struct
    {
        int exponent;
        const char *text;
    } cases[] = {{0, ""},  {1, "10 "}, {2, "100 "}, {3, "k"},      {4, "10 k"},   {5, "100 k"}, {6, "M"},
                 {9, "T"}, {-3, "m"},  {-6, "my"},  {-1, "10^-1"}, {-2, "10^-2"}, {7, "10^7"},  {-12, "10^-12"}};
    for (const auto &c : cases)
        EXPECT_STREQ(mbus_unit_prefix(c.exponent), c.text) << c.exponent;
}

struct UnitCase
{
    unsigned char vif;
    std::vector<unsigned char> vife;
    const char *unit;
};

class VibUnit : public ::testing::TestWithParam<UnitCase>
{
};

TEST_P(VibUnit, Text)
{
    mbus_data_record record = Record(GetParam().vif, GetParam().vife, "xyz");
    EXPECT_STREQ(mbus_vib_unit_lookup(&record), GetParam().unit);
}

INSTANTIATE_TEST_SUITE_P(
    Primary, VibUnit,
    ::testing::Values(
        UnitCase{0x03, {}, "Energy (Wh)"}, UnitCase{0x06, {}, "Energy (kWh)"}, UnitCase{0x0E, {}, "Energy (MJ)"},
        UnitCase{0x13, {}, "Volume (m m^3)"}, UnitCase{0x14, {}, "Volume (10^-2 m^3)"},
        UnitCase{0x16, {}, "Volume ( m^3)"}, UnitCase{0x1B, {}, "Mass (kg)"}, UnitCase{0x22, {}, "On time (hours)"},
        UnitCase{0x27, {}, "Operating time (days)"}, UnitCase{0x2B, {}, "Power (W)"},
        UnitCase{0x3B, {}, "Volume flow (m m^3/h)"}, UnitCase{0x47, {}, "Volume flow ( m^3/min)"},
        UnitCase{0x4F, {}, "Volume flow (10^-2 m^3/s)"}, UnitCase{0x53, {}, "Mass flow ( kg/h)"},
        UnitCase{0x59, {}, "Flow temperature (10^-2deg C)"}, UnitCase{0x5F, {}, "Return temperature (deg C)"},
        UnitCase{0x61, {}, "Temperature Difference (10^-2 deg C)"},
        UnitCase{0x66, {}, "External temperature (10^-1 deg C)"}, UnitCase{0x68, {}, "Pressure (m bar)"},
        UnitCase{0x6C, {}, "Time Point (date)"}, UnitCase{0x6D, {}, "Time Point (time / date)"},
        UnitCase{0x6E, {}, "Units for H.C.A."}, UnitCase{0x6F, {}, "Reserved"},
        UnitCase{0x70, {}, "Averaging Duration (seconds)"}, UnitCase{0x75, {}, "Actuality Duration (minutes)"},
        UnitCase{0x78, {}, "Fabrication number"}, UnitCase{0x79, {}, "Unknown (VIF=0x79)"},
        UnitCase{0x7A, {}, "Bus Address"}, UnitCase{0x7C, {}, "xyz"}, UnitCase{0x7E, {}, "Any VIF"},
        // Bit 7 only announces a VIFE; the unit comes from the low bits.
        UnitCase{0x86, {0x3E}, "Energy (kWh)"}, UnitCase{0xFD, {}, "Missing VIF extension"}));

INSTANTIATE_TEST_SUITE_P(
    Extensions, VibUnit,
    ::testing::Values(
        UnitCase{0xFD, {0x0E}, "Firmware version"}, UnitCase{0xFD, {0x8E, 0x01}, "Firmware version"},
        UnitCase{0xFD, {0x08}, "Access Number (transmission count)"}, UnitCase{0xFD, {0x11}, "Customer"},
        UnitCase{0xFD, {0x97}, "Error flag"}, UnitCase{0xFD, {0x96}, "Unrecognized VIF extension\" vife=\"0x96"},
        UnitCase{0xFD, {0x1B}, "Digital input (binary)"}, UnitCase{0xFD, {0x48}, "10^-1 V"},
        UnitCase{0xFD, {0x49}, " V"}, UnitCase{0xFD, {0x5C}, " A"}, UnitCase{0xFD, {0x59}, "m A"},
        UnitCase{0xFD, {0x74}, "Reserved VIF extension\" vife=\"0x74"}, UnitCase{0xFB, {}, "Missing VIF extension"},
        UnitCase{0xFB, {0x00}, "Energy (10^-1MWh)"}, UnitCase{0xFB, {0x01}, "Energy (MWh)"},
        UnitCase{0xFB, {0x03}, "Reactive energy (10 kVARh)"}, UnitCase{0xFB, {0x0D}, "Energy (MCal)"},
        UnitCase{0xFB, {0x11}, "Volume (k m^3)"}, UnitCase{0xFB, {0x16}, "Reactive power (10^-1kVAR)"},
        UnitCase{0xFB, {0x1B}, "Relative humidity (%)"}, UnitCase{0xFB, {0x2A}, "Phase U-U"},
        UnitCase{0xFB, {0x2B}, "Phase U-I"}, UnitCase{0xFB, {0x31}, "Power (GJ/h)"},
        UnitCase{0xFB, {0x77}, "Cold/warm temperature limit (deg C)"},
        UnitCase{0xFB, {0x7F}, "Cum. max. of active power (10 kW)"}, UnitCase{0xFB, {0xC2}, "Frequency (10^-1Hz)"},
        UnitCase{0xFB, {0x20}, "Unrecognized VIF extension\" vife=\"0x20"},
        UnitCase{0xEF, {}, "Reserved VIF extension\" vife=\"0x00"},
        UnitCase{0xEF, {0x12}, "Reserved VIF extension\" vife=\"0x12"},
        UnitCase{0xFF, {0xAB}, "Vendor specific VIF extension\" vife=\"0xab"},
        UnitCase{0x7F, {}, "Vendor specific VIF extension\" vife=\"0x00"}, UnitCase{0xFC, {}, "xyz"},
        UnitCase{0xFC, {0x73}, "m xyz"}, UnitCase{0xFC, {0x76}, " xyz"}, UnitCase{0xFC, {0x10}, "xyz"}));

TEST(VifUnit, DirectLookupKeepsTheWholeByteInUnknown)
{
    EXPECT_STREQ(mbus_vif_unit_lookup(0xFB, nullptr), "Unknown (VIF=0xFB)");
    EXPECT_STREQ(mbus_vif_unit_lookup(0x7F, nullptr), "Manufacturer specific");
    EXPECT_STREQ(mbus_vif_unit_lookup(0x7C, "l/h"), "l/h");
    EXPECT_STREQ(mbus_vib_unit_lookup(nullptr), "");
}

TEST(VibUnit, LongestPlainTextFitsWithItsPrefix)
{
    std::string text(MBUS_PLAIN_UNIT_LENGTH_MAX, 'u');
    mbus_data_record record = Record(0xFC, {0x71}, text.c_str());
    EXPECT_EQ(std::string(mbus_vib_unit_lookup(&record)), "10^-5 " + text);
}

TEST(Medium, VariableDataTable)
{
    const struct
    {
        unsigned char code;
        const char *text;
    } cases[] = {{0x00, "Other"},
                 {0x03, "Gas"},
                 {0x07, "Water"},
                 {0x0D, "Heat / Cooling load meter"},
                 {0x10, "Reserved"},
                 {0x15, "Hot water"},
                 {0x16, "Cold water"},
                 {0x1B, "Temperature"},
                 {0x37, "Radio converter (meter side)"},
                 {0x11, "Unknown medium (0x11)"},
                 {0x1A, "Unknown medium (0x1a)"},
                 {0xFF, "Unknown medium (0xff)"}};
    for (const auto &c : cases)
        EXPECT_STREQ(mbus_data_variable_medium_lookup(c.code), c.text) << int(c.code);
}

TEST(Medium, FixedDataFromBothCounterTypes)
{
    mbus_data_fixed data{};
    EXPECT_STREQ(mbus_data_fixed_medium(&data), "Other");
    data.counter1_type = 0xC0; // index 3
    EXPECT_STREQ(mbus_data_fixed_medium(&data), "Gas");
    data.counter2_type = 0x80; // index 8 + 3
    EXPECT_STREQ(mbus_data_fixed_medium(&data), "Heat Mode 2");
    data.counter2_type = 0xC0;
    EXPECT_STREQ(mbus_data_fixed_medium(&data), "Reserved");
}

TEST(FixedUnit, CounterTypeLowSixBits)
{
    EXPECT_STREQ(mbus_data_fixed_unit(0), "h,m,s");
    EXPECT_STREQ(mbus_data_fixed_unit(5), "kWh");
    EXPECT_STREQ(mbus_data_fixed_unit(44), "m^3");
    EXPECT_STREQ(mbus_data_fixed_unit(46), "m^3");
    EXPECT_STREQ(mbus_data_fixed_unit(56), "1e-3 \xC2\xB0"
                                           "C");
    EXPECT_STREQ(mbus_data_fixed_unit(62), "reserved but historic");
    EXPECT_STREQ(mbus_data_fixed_unit(0xC0 | 63), "without units");
}

TEST(Manufacturer, DecodeAndEncode)
{
    EXPECT_STREQ(mbus_decode_manufacturer(0xD2, 0x6A), "ZVR");
    EXPECT_STREQ(mbus_decode_manufacturer(0x93, 0x15), "ELS");
    EXPECT_STREQ(mbus_decode_manufacturer(0x00, 0x00), "@@@");

    unsigned char wire[2] = {};
    EXPECT_EQ(mbus_encode_manufacturer(wire, "ZVR"), 0);
    EXPECT_EQ(wire[0], 0xD2);
    EXPECT_EQ(wire[1], 0x6A);
    EXPECT_EQ(mbus_encode_manufacturer(wire, "QDS"), 0);
    EXPECT_STREQ(mbus_decode_manufacturer(wire[0], wire[1]), "QDS");

    EXPECT_EQ(mbus_encode_manufacturer(nullptr, "ZVR"), -1);
    EXPECT_EQ(mbus_encode_manufacturer(wire, nullptr), -1);
    EXPECT_EQ(mbus_encode_manufacturer(wire, "ZV"), -1);
}

} // namespace
