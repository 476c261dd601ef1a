#include "Tolv_ItemRecords.h"

#include "WMBH_Cursor.h"
#include "WMBH_HexText.h"

namespace Tolv
{

namespace
{

constexpr uint8_t Filler = 0x2F;
constexpr uint8_t ExtensionBit = 0x80;
// EN 13757-3 allows ten extensions to a DIF or a VIF.
constexpr size_t MaxExtensions = 10;
// Manufacturer data follow (0x1F: and more records in the next frame): the rest is one value.
constexpr uint8_t ManufacturerData = 0x0F;
constexpr uint8_t ManufacturerDataMore = 0x1F;
constexpr int VariableLength = -1;
constexpr int SpecialFunction = -2;

// Value bytes by the DIF's data field.
int ValueLength(uint8_t dif)
{
    static constexpr int Lengths[16] = {0, 1, 2, 3, 4, 4, 6, 8, 0, 1, 2, 3, 4, VariableLength, 6, SpecialFunction};
    return Lengths[dif & 0x0F];
}

// The length of a variable-length value by its LVAR byte; -1 for the codings EN 13757-3 reserves.
int VariableValueLength(uint8_t lvar)
{
    if (lvar < 0xC0)
    {
        return lvar; // text
    }
    if (lvar <= 0xC9)
    {
        return lvar - 0xC0; // positive BCD
    }
    if (lvar >= 0xD0 && lvar <= 0xD9)
    {
        return lvar - 0xD0; // negative BCD
    }
    if (lvar >= 0xE0 && lvar <= 0xEF)
    {
        return lvar - 0xE0; // binary
    }
    if (lvar >= 0xF0 && lvar <= 0xF4)
    {
        return 4 * (lvar - 0xEC);
    }
    if (lvar == 0xF5)
    {
        return 48;
    }
    if (lvar == 0xF6)
    {
        return 64;
    }
    return -1;
}

// Reads records front to back; the cursor keeps every read within the bytes given.
class RecordReader
{
public:
    RecordReader(const uint8_t *data, size_t size) : cursor(data, size) {}

    bool AtEnd() const { return cursor.AtEnd(); }
    void SkipFillers()
    {
        uint8_t byte = 0;
        while (cursor.Peek(byte) && byte == Filler)
        {
            cursor.Skip(1);
        }
    }

    // One record from here; false, with the position unchanged, when the bytes do not make one.
    bool Read(ItemRecord &record)
    {
        const WMBH_Cursor start = cursor;
        if (ReadRecord(record))
        {
            return true;
        }
        cursor = start;
        return false;
    }

    ItemRecord Rest()
    {
        ItemRecord rest;
        ReadBytes(cursor.Remaining(), rest.value);
        return rest;
    }

private:
    bool ReadBytes(size_t count, ByteVector &to)
    {
        const uint8_t *view = nullptr;
        if (!cursor.Take(count, view))
        {
            return false;
        }
        to.insert(to.end(), view, view + count);
        return true;
    }

    // The byte and the extensions that its top bit announces, into key.
    bool ReadWithExtensions(ByteVector &key)
    {
        uint8_t byte = 0;
        if (!cursor.Read(byte))
        {
            return false;
        }
        key.push_back(byte);
        for (size_t count = 0; byte & ExtensionBit; ++count)
        {
            if (count == MaxExtensions || !cursor.Read(byte))
            {
                return false;
            }
            key.push_back(byte);
        }
        return true;
    }

    bool ReadRecord(ItemRecord &record)
    {
        record = ItemRecord{};
        uint8_t dif = 0;
        if (!cursor.Peek(dif))
        {
            return false;
        }
        const int length = ValueLength(dif);
        if (length == SpecialFunction)
        {
            if (dif != ManufacturerData && dif != ManufacturerDataMore)
            {
                return false;
            }
            record.key.push_back(dif);
            cursor.Skip(1);
            return ReadBytes(cursor.Remaining(), record.value);
        }
        if (!ReadWithExtensions(record.key) || !ReadWithExtensions(record.key))
        {
            return false;
        }
        if (length != VariableLength)
        {
            return ReadBytes(static_cast<size_t>(length), record.value);
        }
        uint8_t lvar = 0;
        if (!cursor.Read(lvar))
        {
            return false;
        }
        const int bytes = VariableValueLength(lvar);
        record.value.push_back(lvar);
        return bytes >= 0 && ReadBytes(static_cast<size_t>(bytes), record.value);
    }

    WMBH_Cursor cursor;
};

} // namespace

std::vector<ItemRecord> ReadItemRecords(const uint8_t *data, size_t size)
{
    std::vector<ItemRecord> records;
    RecordReader reader(data, size);
    for (reader.SkipFillers(); !reader.AtEnd(); reader.SkipFillers())
    {
        ItemRecord record;
        if (!reader.Read(record))
        {
            records.push_back(reader.Rest());
            break;
        }
        records.push_back(std::move(record));
    }
    return records;
}

std::string ItemLabel(const ByteVector &key, const ItemNames &names)
{
    for (const ItemName &name : names)
    {
        if (name.key == key)
        {
            return name.name;
        }
    }
    std::string hex = BytesToHex(key.data(), key.size());
    if (!hex.empty() && hex.back() == ' ')
    {
        hex.pop_back();
    }
    return "DIB/VIB " + hex;
}

} // namespace Tolv
