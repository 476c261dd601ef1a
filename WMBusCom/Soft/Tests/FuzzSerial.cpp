// Serial over the fuzz input: linked in place of the port's own implementation, so that the
// frame reader runs on exactly the bytes the fuzzer chose, without a device or a clock.
#include "FuzzLine.h"
#include "Serial.h"

#include <algorithm>

namespace
{

const uint8_t *lineData = nullptr;
size_t lineSize = 0;
size_t linePos = 0;
size_t lineWritten = 0;

} // namespace

namespace FuzzLine
{

void Feed(const uint8_t *data, size_t size)
{
    lineData = data;
    lineSize = size;
    linePos = 0;
    lineWritten = 0;
}

bool Exhausted()
{
    return linePos >= lineSize;
}

size_t Written()
{
    return lineWritten;
}

} // namespace FuzzLine

Serial::Serial() = default;

Serial::~Serial() = default;

bool Serial::IsOpen() const
{
    return true;
}

int Serial::Flush(int)
{
    return 0;
}

int Serial::Read(unsigned char *buffer, unsigned int &count)
{
    if (lineSize - linePos < count)
    {
        count = 0;
        return -1;
    }
    std::copy(lineData + linePos, lineData + linePos + count, buffer);
    linePos += count;
    return 0;
}

int Serial::ReadWithTimeout(unsigned char *buffer, unsigned int &count, std::int32_t)
{
    return Read(buffer, count);
}

int Serial::ReadByte(unsigned char *buffer)
{
    unsigned int count = 1;
    return Read(buffer, count);
}

int Serial::Write(const unsigned char *, unsigned int length)
{
    lineWritten += length;
    return 0;
}

int Serial::WriteByte(unsigned char value)
{
    return Write(&value, 1);
}
