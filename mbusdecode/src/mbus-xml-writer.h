#ifndef MBUS_XML_WRITER_H
#define MBUS_XML_WRITER_H

#include <cstddef>
#include <cstring>

// Writes the decoder's texts: the per-frame XML document and the unit and
// value texts that go into it.
//
// Two modes. Over caller storage (the static result buffers) it writes what
// fits and always keeps the text terminated, so a long radio text is cut
// rather than written past the buffer. Growing, it owns malloc'd storage that
// doubles before every append that would not fit; the finished text is
// handed over with Release() and the caller frees it with free(). When a
// growth fails the writer stops writing, and Release() frees the storage and
// returns null, so a half-built document never reaches the caller.
class MbusXmlWriter
{
public:
    MbusXmlWriter(char *storage, size_t capacity);
    explicit MbusXmlWriter(size_t initialCapacity);
    ~MbusXmlWriter();
    MbusXmlWriter(const MbusXmlWriter &) = delete;
    MbusXmlWriter &operator=(const MbusXmlWriter &) = delete;

    // Makes room for `more` characters and the terminator (growing mode);
    // false when the storage cannot hold them.
    bool Reserve(size_t more);

    // Inline, so that the length of a literal is known when compiling and
    // the common case is one copy.
    void Put(const char *text)
    {
        if (text != nullptr)
            Put(text, std::strlen(text));
    }
    void Put(const char *text, size_t count)
    {
        if (!failed_ && text != nullptr && count < capacity_ - length_)
        {
            std::memcpy(text_ + length_, text, count);
            length_ += count;
            text_[length_] = '\0';
        }
        else
            PutSlow(text, count);
    }
    void Put(char c) { Put(&c, 1); }
    void PutDecimal(long long value);
    void PutUnsigned(unsigned long long value);
    // Two hexadecimal digits ("%02X", or "%02x" when !upper).
    void PutHex2(unsigned char value, bool upper = true);
    // Two upper-case digits per byte, no separator.
    void PutHex(const unsigned char *bytes, size_t count);
    // Copies `text` made xml-safe.
    void PutEscaped(const char *text);

    // For helpers that print into a plain buffer: the free room (terminator
    // included) and the step past what they wrote there.
    char *Tail() { return text_ + length_; }
    size_t Room() const { return capacity_ - length_; }
    void Advance(size_t count);

    const char *Text() const { return text_; }
    size_t Length() const { return length_; }
    bool Failed() const { return failed_; }
    // Growing mode: the text for the caller to free, or null after a failure.
    char *Release();

private:
    void PutSlow(const char *text, size_t count);

    char *text_ = nullptr;
    size_t capacity_ = 0;
    size_t length_ = 0;
    bool owned_ = false;
    bool failed_ = false;
};

#endif
