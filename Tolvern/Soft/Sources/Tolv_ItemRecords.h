#ifndef TOLV_ITEMRECORDS_H
#define TOLV_ITEMRECORDS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Tolv
{

using ByteVector = std::vector<uint8_t>;

// One data record of a configuration request or answer. Its key, the DIB and the VIB, says which
// item it is; a record without a key holds bytes that do not make a whole record.
struct ItemRecord
{
    ByteVector key;
    ByteVector value;

    bool operator==(const ItemRecord &other) const { return key == other.key && value == other.value; }
};

// The records of a request or answer, the idle fillers (2F) before, between and after them
// skipped: a module may put them anywhere between records. Bytes that do not make a whole record
// end the list as one record without a key that holds all that is left.
std::vector<ItemRecord> ReadItemRecords(const uint8_t *data, size_t size);

// The name of a template item and its key (DIB and VIB) as requests carry it.
struct ItemName
{
    ByteVector key;
    std::string name;
};
using ItemNames = std::vector<ItemName>;

// The name of the item a key stands for, or "DIB/VIB " and the key's bytes for a key that none
// of names holds.
std::string ItemLabel(const ByteVector &key, const ItemNames &names);

} // namespace Tolv

#endif
