#include "mbus-xml-writer.h"

#include "WMBH_HexText.h"
#include "mbus-xml-escape.h"

#include <charconv>
#include <cstdlib>
#include <cstring>
#include <string>

namespace
{
constexpr char kUpperDigits[] = "0123456789ABCDEF";
constexpr char kLowerDigits[] = "0123456789abcdef";
} // namespace

MbusXmlWriter::MbusXmlWriter(char *storage, size_t capacity) : text_(storage), capacity_(storage ? capacity : 0)
{
    if (capacity_ > 0)
        text_[0] = '\0';
    else
        failed_ = true;
}

MbusXmlWriter::MbusXmlWriter(size_t initialCapacity) : owned_(true)
{
    capacity_ = initialCapacity > 0 ? initialCapacity : 1;
    text_ = static_cast<char *>(std::malloc(capacity_));
    if (text_ == nullptr)
    {
        capacity_ = 0;
        failed_ = true;
        return;
    }
    text_[0] = '\0';
}

MbusXmlWriter::~MbusXmlWriter()
{
    if (owned_)
        std::free(text_);
}

bool MbusXmlWriter::Reserve(size_t more)
{
    if (failed_)
        return false;
    if (more < capacity_ - length_)
        return true;
    if (!owned_)
        return false;
    size_t wanted = capacity_;
    while (more >= wanted - length_)
    {
        if (wanted > static_cast<size_t>(-1) / 2)
        {
            failed_ = true;
            return false;
        }
        wanted *= 2;
    }
    char *grown = static_cast<char *>(std::realloc(text_, wanted));
    if (grown == nullptr)
    {
        failed_ = true;
        return false;
    }
    text_ = grown;
    capacity_ = wanted;
    return true;
}

void MbusXmlWriter::PutSlow(const char *text, size_t count)
{
    if (failed_ || text == nullptr)
        return;
    if (!Reserve(count))
    {
        if (owned_)
            return;
        // Caller storage: keep what fits.
        count = capacity_ - length_ - 1;
    }
    std::memcpy(text_ + length_, text, count);
    length_ += count;
    text_[length_] = '\0';
}

void MbusXmlWriter::PutDecimal(long long value)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    Put(digits, static_cast<size_t>(result.ptr - digits));
}

void MbusXmlWriter::PutUnsigned(unsigned long long value)
{
    char digits[24];
    auto result = std::to_chars(digits, digits + sizeof digits, value);
    Put(digits, static_cast<size_t>(result.ptr - digits));
}

void MbusXmlWriter::PutHex2(unsigned char value, bool upper)
{
    const char *table = upper ? kUpperDigits : kLowerDigits;
    char digits[2] = {table[value >> 4], table[value & 0x0F]};
    Put(digits, 2);
}

void MbusXmlWriter::PutHex(const unsigned char *bytes, size_t count)
{
    if (bytes == nullptr || failed_)
        return;
    std::string hex = DataToHex(bytes, count);
    Put(hex.data(), hex.size());
}

void MbusXmlWriter::PutEscaped(const char *text)
{
    if (text == nullptr || failed_)
        return;
    size_t longest = std::strlen(text) * MBUS_XML_ESCAPE_MAX;
    if (!Reserve(longest) && owned_)
        return;
    length_ += mbus_xml_safe_length(text_ + length_, text, capacity_ - length_);
}

void MbusXmlWriter::Advance(size_t count)
{
    if (failed_)
        return;
    size_t room = capacity_ - length_ - 1;
    length_ += count < room ? count : room;
    text_[length_] = '\0';
}

char *MbusXmlWriter::Release()
{
    if (!owned_)
        return nullptr;
    char *text = failed_ ? nullptr : text_;
    if (failed_)
        std::free(text_);
    text_ = nullptr;
    capacity_ = 0;
    length_ = 0;
    owned_ = false;
    failed_ = true;
    return text;
}
