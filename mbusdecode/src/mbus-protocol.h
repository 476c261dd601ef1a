#ifndef MBUS_PROTOCOL_H
#define MBUS_PROTOCOL_H

// The M-Bus decoder: plain records and free functions in C style.
//
// Functions return 0 on success and a negative code on failure; most failures
// also leave a message in the decoder's one error text (mbus_error_str()).
// Text results live in static buffers that the next call of the same function
// overwrites. Nothing here is reentrant: call it from one thread only.
//
// Sources: mbus-protocol-frame.cpp (error text, frame parsing and packing),
// mbus-protocol-wired.cpp (secondary addressing, frame-data packing, dumps),
// mbus-protocol-data.cpp (frame data and records), mbus-protocol-texts.cpp
// (unit and value texts of a record), mbus-protocol-compact.cpp (compact
// frames and profile codecs), mbus-protocol-profile.cpp (profile lines),
// mbus-protocol-print.cpp (debug listings); the unit, value and medium texts
// and the XML document live in mbus-units*.cpp, mbus-values*.cpp and
// mbus-xml*.cpp.

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <memory>

//------------------------------------------------------------------------------
// Constants
//------------------------------------------------------------------------------

#define MBUS_FRAME_DATA_LENGTH 254
// Room for the longest record any frame can carry (a manufacturer-specific
// record or an LVAR record may take nearly all of the frame's data).
#define MBUS_DATA_RECORD_DATA_LENGTH MBUS_FRAME_DATA_LENGTH
#define MBUS_DATA_RECORD_DIFE_COUNT_MAX 10
#define MBUS_DATA_RECORD_VIFE_COUNT_MAX 10
// A plain-text VIF carries at most this many characters; the buffer adds the terminator.
#define MBUS_PLAIN_UNIT_LENGTH_MAX 128
#define MBUS_ERROR_TEXT_SIZE 512

#define MBUS_FRAME_ACK_START 0xE5
#define MBUS_FRAME_SHORT_START 0x10
#define MBUS_FRAME_CONTROL_START 0x68
#define MBUS_FRAME_LONG_START 0x68
#define MBUS_FRAME_STOP 0x16

// mbus_frame.type
#define MBUS_FRAME_TYPE_ANY 0
#define MBUS_FRAME_TYPE_ACK 1
#define MBUS_FRAME_TYPE_SHORT 2
#define MBUS_FRAME_TYPE_CONTROL 3
#define MBUS_FRAME_TYPE_LONG 4
#define MBUS_FRAME_TYPE_WIRELESS 5

// mbus_frame_data.type
#define MBUS_DATA_TYPE_NONE 0
#define MBUS_DATA_TYPE_FIXED 1
#define MBUS_DATA_TYPE_VARIABLE 2
#define MBUS_DATA_TYPE_ERROR 3
#define MBUS_DATA_TYPE_COMPACT 4

// Direction bit of the C-field.
#define MBUS_CONTROL_MASK_DIR_M2S 0x40

// The maker's own manufacturer code "ZVR" (wire bytes D2 6A).
#define MBUS_MANUFACTURER_ZVR 0x6AD2

#define MBUS_DIB_DIF_EXTENSION_BIT 0x80
#define MBUS_DIB_VIF_EXTENSION_BIT 0x80
#define MBUS_DIB_DIF_MANUFACTURER_SPECIFIC 0x0F
#define MBUS_DIB_DIF_MORE_RECORDS_FOLLOW 0x1F
#define MBUS_DIB_DIF_IDLE_FILLER 0x2F
#define MBUS_DATA_RECORD_DIF_MASK_DATA 0x0F
#define MBUS_DATA_RECORD_DIF_MASK_FUNCTION 0x30
#define MBUS_DATA_RECORD_DIF_MASK_STORAGE_NO 0x40
#define MBUS_DIF_VARIABLE_LENGTH 0x0D
#define MBUS_VIF_PLAIN_TEXT 0x7C

//------------------------------------------------------------------------------
// Records
//------------------------------------------------------------------------------

// One frame. Wireless frames (type 5) come from mbus_parse_wmbus, wired
// frames (types 1-4) from mbus_parse or mbus_frame_new.
typedef struct _mbus_frame
{
    unsigned char start1;
    unsigned char length1;
    unsigned char length2; // wireless: copy of the C-field
    unsigned char start2;
    unsigned char control;
    unsigned char address;
    // M (2, low byte first), identification number (4, LSB first), version, device type.
    unsigned char link_address[8];
    unsigned char ci;
    unsigned char access_number;
    unsigned char status;
    unsigned char configuration_word[2]; // as received: first byte, second byte
    unsigned char header_follow_up[2];   // the two bytes after the transport header
    // Long header only: identification number (4), M (2), version, device type.
    unsigned char transport_address[8];
    unsigned char control_information;
    unsigned char checksum; // wireless: third-last input byte
    unsigned char trailer;  // wireless: second-last input byte
    unsigned char rssi;     // wireless: fourth-last input byte
    unsigned char stop;
    unsigned char data[MBUS_FRAME_DATA_LENGTH];
    size_t data_size;
    int type;
    time_t timestamp;
    uint16_t format_signature;
    unsigned char format_length;
    uint16_t full_frame_crc;
    struct _mbus_frame *next;
} mbus_frame;

// The 16 bytes of fixed-structure data (CI 0x73), in wire order.
typedef struct _mbus_data_fixed
{
    unsigned char id_bcd[4];
    unsigned char access_number;
    unsigned char status;
    unsigned char counter1_type;
    unsigned char counter2_type;
    unsigned char counter1_value[4];
    unsigned char counter2_value[4];
} mbus_data_fixed;

// The data header of variable-structure data.
typedef struct _mbus_data_variable_header
{
    unsigned char id_bcd[4]; // LSB first, as received
    unsigned char manufacturer[2];
    unsigned char version;
    unsigned char medium;
    unsigned char access_number;
    unsigned char status;
    unsigned char signature[2]; // the configuration word as received
    // Long header only: identification number (4), manufacturer (2), version, device type.
    unsigned char transport_address[8];
} mbus_data_variable_header;

typedef struct _mbus_data_record
{
    unsigned char dif;
    unsigned char dife[MBUS_DATA_RECORD_DIFE_COUNT_MAX];
    size_t ndife;
    unsigned char vif;
    char *custom_vif; // freed with the record when set
    unsigned char vife[MBUS_DATA_RECORD_VIFE_COUNT_MAX];
    size_t nvife;
    // Text of a plain-text VIF, reversed from the wire so that it reads forwards.
    char plain_unit[MBUS_PLAIN_UNIT_LENGTH_MAX + 1];
    // Compact profiles: LVAR data length including the two profile bytes; 0 otherwise.
    unsigned char compact_length;
    unsigned char spacing_control;
    unsigned char spacing_value;
    uint16_t format_signature;
    unsigned char lvar; // length byte of a variable-length record
    unsigned char data[MBUS_DATA_RECORD_DATA_LENGTH];
    size_t data_len;
    time_t timestamp;
    struct _mbus_data_record *next;
} mbus_data_record;

typedef struct _mbus_frame_data
{
    int control;
    mbus_data_variable_header header;
    mbus_data_record *records;
    size_t nrecords;
    // Points into the mbus_frame the data were parsed from: that frame must outlive every use.
    const unsigned char *raw_data;
    size_t raw_data_len;
    unsigned char more_records_follow;
    unsigned char rssi;
    unsigned char hop;
    uint16_t format_signature;
    unsigned char format_length;
    mbus_data_fixed fixed;
    int type;
    int error;
} mbus_frame_data;

//------------------------------------------------------------------------------
// Error text and debug flag (mbus-protocol-frame.cpp)
//------------------------------------------------------------------------------

const char *mbus_error_str(void);
// Copies `message` into the error text (truncated to 511 characters); null changes nothing.
void mbus_error_str_set(const char *message);
// Formats a message into the error text (truncated to 511 characters).
void mbus_error_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));
// Sets the error text to "no errors".
void mbus_error_reset(void);
void mbus_set_debug(int debug);

//------------------------------------------------------------------------------
// Wireless frames (mbus-protocol-frame.cpp)
//------------------------------------------------------------------------------

// Input: 0x68, L, C, M (2), A (6), CI, headers, data, rssi, x, y, 0x16 with L
// counting C through y. Returns 0; -1 null argument; -2 rejected frame; -3
// verification failed; -4 bad start byte; > 0 bytes still missing.
int mbus_parse_wmbus(mbus_frame *frame, const unsigned char *data, size_t data_size);
int mbus_frame_verify(mbus_frame *frame);

//------------------------------------------------------------------------------
// Wired frames and tools (mbus-protocol-frame.cpp, mbus-protocol-wired.cpp)
//------------------------------------------------------------------------------

mbus_frame *mbus_frame_new(int frame_type);
int mbus_frame_free(mbus_frame *frame);
unsigned char mbus_frame_calc_checksum(mbus_frame *frame);
unsigned char mbus_frame_calc_length(mbus_frame *frame);
int mbus_frame_set_checksum(mbus_frame *frame);
int mbus_frame_set_length(mbus_frame *frame);
int mbus_frame_pack(mbus_frame *frame, unsigned char *data, size_t data_size);
int mbus_parse(mbus_frame *frame, const unsigned char *data, size_t data_size);
int mbus_frame_direction(mbus_frame *frame);
int mbus_frame_type(mbus_frame *frame);
const char *mbus_frame_get_secondary_address(mbus_frame *frame);
int mbus_frame_select_secondary_pack(mbus_frame *frame, const char *mask);
int mbus_frame_data_pack(mbus_frame *frame, mbus_frame_data *frame_data);
int mbus_is_primary_address(int value);
int mbus_is_secondary_address(const char *value);
int mbus_frame_print(mbus_frame *frame);
void mbus_hex_dump(const char *label, const unsigned char *data, size_t len);
void mbus_dump_recv(const unsigned char *data, size_t len);
void mbus_dump_send(const unsigned char *data, size_t len);

//------------------------------------------------------------------------------
// Frame data and data records (mbus-protocol-data.cpp)
//------------------------------------------------------------------------------

mbus_frame_data *mbus_frame_data_new(void);
void mbus_frame_data_free(mbus_frame_data *data);
// Frame data that free themselves: each mbus_frame_data_new paired with its free by ownership.
struct mbus_frame_data_deleter
{
    void operator()(mbus_frame_data *data) const { mbus_frame_data_free(data); }
};
using mbus_frame_data_ptr = std::unique_ptr<mbus_frame_data, mbus_frame_data_deleter>;
// `format_frame` is the stored format frame of a compact frame, or null.
int mbus_frame_data_parse(mbus_frame *frame, mbus_frame_data *data, mbus_frame *format_frame);
int mbus_data_variable_parse(mbus_frame *frame, mbus_frame_data *data, mbus_frame *format_frame);
int mbus_data_fixed_parse(mbus_frame *frame, mbus_data_fixed *data);
void mbus_data_variable_header_copy(mbus_frame *frame, mbus_frame_data *data);
// Bytes of data for the low nibble of a DIF; variable length (0x0D) gives 0.
int mbus_dif_datalength_lookup(unsigned char dif);

mbus_data_record *mbus_data_record_new(void);
// Frees the record, its custom unit text and every following record.
void mbus_data_record_free(mbus_data_record *record);
void mbus_data_record_append(mbus_frame_data *data, mbus_data_record *record);

// Accessors; texts in static buffers.
const char *mbus_data_record_function(const mbus_data_record *record);     // "inst", "max", "min", "error_state"
long long mbus_data_record_storage_number(const mbus_data_record *record); // up to 41 bits
long mbus_data_record_tariff(const mbus_data_record *record);              // -1 without DIFE
int mbus_data_record_subunit(const mbus_data_record *record);              // -1 without DIFE
const char *mbus_data_record_unit(const mbus_data_record *record);
const char *mbus_data_record_value(const mbus_data_record *record);

const char *mbus_data_error_lookup(int error);
const char *mbus_data_fixed_function(int status);      // "stored" / "actual"
const char *mbus_data_fixed_function_name(int status); // "Stored value" / "Actual value"
// Counter 1 (index 0) or 2 (index 1): its 4 bytes as a two's-complement integer when status
// bit 7 is set, else as BCD (-1 for non-decimal digits); 0 for a null record or another index.
long long mbus_data_fixed_counter(const mbus_data_fixed *data, int index);
const char *mbus_data_record_function_name(int dif); // "Instantaneous value", ...

// Debug listings on standard output (mbus-protocol-print.cpp).
int mbus_frame_data_print(mbus_frame_data *data);
int mbus_data_fixed_print(mbus_data_fixed *data);
int mbus_data_variable_print(mbus_frame_data *data);
int mbus_data_variable_header_print(mbus_data_variable_header *header);

//------------------------------------------------------------------------------
// Format frames, compact frames and compact profiles (mbus-protocol-compact.cpp,
// mbus-protocol-profile.cpp)
//------------------------------------------------------------------------------

int mbus_compact_frame_expand(mbus_frame *frame, size_t offset, mbus_frame *format_frame, mbus_frame_data *data);
// Writes the time-point and value lines of a compact-profile record. The XML
// writers of this section return, like snprintf, the length of the whole
// text: when it is capacity or more the text was cut, and the caller grows
// the buffer and renders again.
size_t mbus_compact_profile_xml(char *buffer, size_t capacity, const mbus_data_record *record,
                                const mbus_frame_data *data);
int mbus_is_compact_profile(unsigned char dif, unsigned char vif);
const mbus_data_record *mbus_compact_reference_time(const mbus_frame_data *data, long long storage);
const mbus_data_record *mbus_compact_reference_value(const mbus_frame_data *data, long long storage);
// One element, least significant byte first: two's complement in the signed
// increment modes (spacing control bits 7-6 00 and 11), unsigned in the others.
// -1 for the no-value marker of that mode (below) or a missing argument.
int mbus_compact_value_decode(const unsigned char *bytes, size_t count, long long *value,
                              unsigned char spacing_control);
// The no-value marker of an element of `code` bytes: 0x80 00 .. 00 (most
// significant byte 0x80) in the signed modes, all 0xFF in the unsigned ones.
int mbus_compact_no_value(int code, const unsigned char *bytes, unsigned char spacing_control);
int mbus_compact_time_step(unsigned char spacing_control, unsigned char spacing_value, struct tm *time);
// Time-point line of a profile element; `time_vif` is the reference time record's VIF.
size_t mbus_compact_time_xml(char *buffer, size_t capacity, const mbus_data_record *profile, unsigned char time_vif,
                             long long storage, const struct tm *time);
size_t mbus_compact_value_xml(char *buffer, size_t capacity, const mbus_data_record *profile, long long storage,
                              int code, long long value);
// "        <record type=\"%s\" unit=\"%s\" storage=\"%lld\"" plus the tariff and
// subunit attributes when the record has DIFEs. `unit` goes in as given
// (its vife="0x.." extension included) except for a plain-text VIF, whose
// radio text is made xml-safe.
size_t mbus_data_record_xml_head(char *buffer, size_t capacity, const mbus_data_record *record, long long storage,
                                 const char *unit);

//------------------------------------------------------------------------------
// Units, media and values (mbus-units*.cpp, mbus-values*.cpp)
//------------------------------------------------------------------------------

// BCD values: a most significant nibble 0xF makes the value negative (F0 00 00 22
// read last byte first is -22); any other non-decimal nibble makes it invalid,
// -1 from mbus_data_bcd_decode and a -1 result from the _signed form, which
// tells an invalid value from a real -1.
long long mbus_data_bcd_decode(const unsigned char *bcd, size_t count);
int mbus_data_bcd_decode_signed(const unsigned char *bcd, size_t count, long long *value);
// Identification numbers carry no sign: every non-decimal nibble gives -1.
long long mbus_data_bcd_decode_unsigned(const unsigned char *bcd, size_t count);
int mbus_data_int_decode(const unsigned char *bytes, size_t count, int *value);
int mbus_data_long_decode(const unsigned char *bytes, size_t count, long *value);
int mbus_data_long_long_decode(const unsigned char *bytes, size_t count, long long *value);
int mbus_data_int_encode(unsigned char *buffer, size_t count, int value);
float mbus_data_float_decode(const unsigned char *bytes);
void mbus_data_str_decode(unsigned char *destination, const unsigned char *source, size_t count);
void mbus_data_tm_decode(struct tm *time, const unsigned char *bytes, size_t size);
const char *mbus_decode_manufacturer(unsigned char low, unsigned char high);
int mbus_encode_manufacturer(unsigned char *out, const char *letters);
const char *mbus_data_record_decode(const mbus_data_record *record);
const char *mbus_vib_unit_lookup(const mbus_data_record *record);
const char *mbus_vif_unit_lookup(unsigned char vif, const char *plain_unit);
const char *mbus_unit_prefix(int exponent);
const char *mbus_data_variable_medium_lookup(unsigned char medium);
const char *mbus_data_fixed_medium(const mbus_data_fixed *data);
const char *mbus_data_fixed_unit(int counter_type);

//------------------------------------------------------------------------------
// Per-frame XML document (mbus-xml*.cpp); the caller frees every returned text.
//------------------------------------------------------------------------------

char *mbus_frame_data_xml(mbus_frame_data *data);
char *mbus_data_variable_xml_wmbus(mbus_frame_data *data);
char *mbus_data_fixed_xml_wmbus(mbus_data_fixed *data);
char *mbus_frame_error_xml(mbus_frame *frame, const char *error);
char *mbus_frame_raw_xml(const unsigned char *data, size_t count);
// The raw document with the reason the bytes did not decode, in the error
// document's error element (left out for an empty text).
char *mbus_frame_raw_error_xml(const unsigned char *data, size_t count, const char *error);
const char *mbus_control_str(unsigned char control);
void mbus_xml_safe(char *destination, const char *source, size_t capacity);

#endif
