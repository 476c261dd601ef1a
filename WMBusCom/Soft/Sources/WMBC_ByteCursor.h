#ifndef WMBC_BYTECURSOR_H
#define WMBC_BYTECURSOR_H

#include <cstddef>
#include <cstdint>

namespace WMBusMod
{

// Reads a modem answer front to back. Every read checks what is left, so a length byte that
// promises more than arrived ends in a clear error instead of a read past the frame.
class WMBC_ByteCursor
{
public:
    WMBC_ByteCursor(const uint8_t *data, int size);

    // Throw std::runtime_error("malformed response") when fewer bytes are left.
    uint8_t ReadByte();
    const uint8_t *ReadBytes(size_t count);

    size_t Remaining() const { return size - position; }

private:
    const uint8_t *data;
    size_t size;
    size_t position = 0;
};

} // namespace WMBusMod

#endif
