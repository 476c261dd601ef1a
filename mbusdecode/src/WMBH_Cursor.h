#ifndef WMBH_CURSOR_H
#define WMBH_CURSOR_H

#include <cstddef>
#include <cstdint>
#include <cstring>

// Read-only window over bytes that came from the air or from the modem, read front to back.
// Every access checks what is left and fails without moving when the bytes are not there, so a
// length byte inside a frame can never carry a read past the buffer that really holds it.
// Header-only in the lowest target: the modem driver, the radio-frame helpers and the decoder
// all parse through it.
class WMBH_Cursor
{
public:
    WMBH_Cursor(const uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t Position() const { return offset_; }
    size_t Remaining() const { return size_ - offset_; }
    bool AtEnd() const { return offset_ >= size_; }
    // Start of the unread bytes (valid for Remaining() bytes).
    const uint8_t *Current() const { return data_ + offset_; }

    bool Peek(uint8_t &value) const { return PeekAt(offset_, value); }

    bool Read(uint8_t &value)
    {
        if (!Peek(value))
            return false;
        ++offset_;
        return true;
    }

    // Two bytes, low byte first.
    bool ReadLe16(unsigned int &value)
    {
        if (Remaining() < 2)
            return false;
        value = static_cast<unsigned int>(data_[offset_] | (data_[offset_ + 1] << 8));
        offset_ += 2;
        return true;
    }

    // Copies the next `count` bytes out and moves past them.
    bool Read(uint8_t *out, size_t count)
    {
        const uint8_t *view = nullptr;
        if (!Take(count, view))
            return false;
        if (count > 0)
            std::memcpy(out, view, count);
        return true;
    }

    // Hands out a view of the next `count` bytes and moves past them.
    bool Take(size_t count, const uint8_t *&view)
    {
        if (count > Remaining())
            return false;
        view = data_ + offset_;
        offset_ += count;
        return true;
    }

    bool Skip(size_t count)
    {
        if (count > Remaining())
            return false;
        offset_ += count;
        return true;
    }

    // Byte at an absolute offset, without moving.
    bool PeekAt(size_t offset, uint8_t &value) const
    {
        if (offset >= size_)
            return false;
        value = data_[offset];
        return true;
    }

private:
    const uint8_t *data_;
    size_t size_;
    size_t offset_ = 0;
};

#endif
