#ifndef MBUS_XML_H
#define MBUS_XML_H

// The per-frame XML document beyond what mbus-protocol.h declares: the
// pieces the documents are built from, and the older MBusData writers.

#include "mbus-protocol.h"

#include <cstddef>

// The `radio` and `header` elements of a variable-data document, written
// into `buffer` (cut at capacity - 1 and always terminated). `data` gives
// rssi, hop and the C-field. Returns the characters written.
size_t mbus_data_variable_header_xml_wmbus(const mbus_data_variable_header *header, const mbus_frame_data *data,
                                           char *buffer, size_t capacity);

// One `record` line in a static buffer (empty for a manufacturer-specific
// record without data).
const char *mbus_data_record_xml_wmbus(const mbus_data_record *record);

// Older MBusData documents that nothing in the system calls. The fixed-data
// one is kept in a static buffer; the other two return text the caller frees.
const char *mbus_data_fixed_xml(const mbus_data_fixed *data);
char *mbus_data_variable_xml(const mbus_frame_data *data);
// Parses a wired frame and every frame of its `next` chain into one
// document; null with "M-bus data parse error." or "M-bus variable data
// parse error." in the error text.
char *mbus_frame_xml(mbus_frame *frame);

#endif
