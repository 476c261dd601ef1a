// Unit and value texts of a record, kept in buffers of their own so that
// they survive the next lookup of a unit or value.

#include "mbus-protocol.h"

#include <cstdio>

const char *mbus_data_record_unit(const mbus_data_record *record)
{
    // A prefix, a blank and a 128-character plain-text unit must fit.
    static char text[256];
    if (!record)
        return nullptr;
    const char *unit = mbus_vib_unit_lookup(record);
    std::snprintf(text, sizeof text, "%s", unit ? unit : "");
    return text;
}

const char *mbus_data_record_value(const mbus_data_record *record)
{
    static char text[768];
    if (!record)
        return nullptr;
    const char *value = mbus_data_record_decode(record);
    std::snprintf(text, sizeof text, "%s", value ? value : "");
    return text;
}
