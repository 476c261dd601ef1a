#ifndef WMBH_CURSOR_H
#define WMBH_CURSOR_H

#include <cstddef>
#include <cstdint>

// Read-only window over bytes that came from the air. Every access checks the
// remaining length, so a length byte inside the frame can never carry a read
// past the buffer that really holds it.
class WMBH_Cursor
{
public:
    WMBH_Cursor(const uint8_t *data, size_t size) : data_(data), size_(data ? size : 0) {}

    size_t Remaining() const { return size_ - offset_; }

    bool Skip(size_t count)
    {
        if (count > Remaining())
            return false;
        offset_ += count;
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
