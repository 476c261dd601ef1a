#ifndef MBUS_PROTOCOL_CURSOR_H
#define MBUS_PROTOCOL_CURSOR_H

#include <cstddef>
#include <cstring>

// Reads a byte range front to back. Radio input is untrusted, so every read
// checks what is left and fails without moving when the bytes are not there;
// a length taken from the air can never carry a read past the range.
class MbusCursor
{
public:
    MbusCursor(const unsigned char *bytes, size_t size) : bytes_(bytes), size_(bytes ? size : 0) {}

    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    bool AtEnd() const { return pos_ >= size_; }
    // Start of the unread bytes (valid for Remaining() bytes).
    const unsigned char *Current() const { return bytes_ + pos_; }

    bool Peek(unsigned char &out) const
    {
        if (AtEnd())
            return false;
        out = bytes_[pos_];
        return true;
    }

    bool Read(unsigned char &out)
    {
        if (!Peek(out))
            return false;
        ++pos_;
        return true;
    }

    // Two bytes, low byte first.
    bool ReadLe16(unsigned int &out)
    {
        if (Remaining() < 2)
            return false;
        out = static_cast<unsigned int>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return true;
    }

    bool Read(unsigned char *out, size_t count)
    {
        if (Remaining() < count)
            return false;
        if (count > 0)
            std::memcpy(out, bytes_ + pos_, count);
        pos_ += count;
        return true;
    }

    bool Skip(size_t count)
    {
        if (Remaining() < count)
            return false;
        pos_ += count;
        return true;
    }

private:
    const unsigned char *bytes_;
    size_t size_;
    size_t pos_ = 0;
};

#endif
