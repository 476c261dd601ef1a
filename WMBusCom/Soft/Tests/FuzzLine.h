#ifndef FUZZLINE_H
#define FUZZLINE_H

#include <cstddef>
#include <cstdint>

// The serial line of the fuzz target: Serial's reads take their bytes from here instead of a
// device, at once and in order; a read that wants more than is left fails as a time-out does,
// and keeps the bytes for the next read. Writes (link acknowledgements) are counted and dropped.
namespace FuzzLine
{

void Feed(const uint8_t *data, size_t size);
bool Exhausted();
size_t Written();

} // namespace FuzzLine

#endif
