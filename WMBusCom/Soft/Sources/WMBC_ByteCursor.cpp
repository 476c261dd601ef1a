#include "WMBC_ByteCursor.h"

#include <stdexcept>

namespace WMBusMod
{

WMBC_ByteCursor::WMBC_ByteCursor(const uint8_t *data, int size) : data(data), size(size > 0 ? size_t(size) : 0)
{
    // A negative size comes from a frame whose L is below 3: such a frame holds nothing.
    if (size < 0)
    {
        throw std::runtime_error("malformed response");
    }
}

uint8_t WMBC_ByteCursor::ReadByte()
{
    return *ReadBytes(1);
}

const uint8_t *WMBC_ByteCursor::ReadBytes(size_t count)
{
    if (count > Remaining())
    {
        throw std::runtime_error("malformed response");
    }
    const uint8_t *at = data + position;
    position += count;
    return at;
}

} // namespace WMBusMod
