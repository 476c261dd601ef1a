#ifndef MODEMEMU_BYTECURSOR_H
#define MODEMEMU_BYTECURSOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace ModemEmu
{

// Bounded reader over bytes that came from the host or from a script: every
// read checks what is left, so a length taken from the input can never make
// us index past the end. A failed read leaves the cursor where it was.
class ByteCursor
{
public:
    ByteCursor(const uint8_t *bytes, size_t size) : bytes_(bytes), size_(size) {}
    explicit ByteCursor(const std::vector<uint8_t> &bytes) : ByteCursor(bytes.data(), bytes.size()) {}

    size_t Remaining() const { return size_ - pos_; }
    size_t Position() const { return pos_; }

    bool ReadByte(uint8_t &out)
    {
        if (Remaining() < 1)
            return false;
        out = bytes_[pos_++];
        return true;
    }

    bool ReadBytes(size_t count, std::vector<uint8_t> &out)
    {
        if (Remaining() < count)
            return false;
        out.assign(bytes_ + pos_, bytes_ + pos_ + count);
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

    // Everything that is left, consumed.
    std::vector<uint8_t> Rest()
    {
        std::vector<uint8_t> out(bytes_ + pos_, bytes_ + size_);
        pos_ = size_;
        return out;
    }

private:
    const uint8_t *bytes_;
    size_t size_;
    size_t pos_ = 0;
};

} // namespace ModemEmu

#endif
