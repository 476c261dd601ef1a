#ifndef BASIC_NULL_STREAM_H
#define BASIC_NULL_STREAM_H

#include "null_buffer.h"

#include <ostream>

// An output stream that never fails and never produces output.
class basic_null_stream : public std::ostream
{
public:
    basic_null_stream() : std::ostream(&buffer_) {}

private:
    null_buffer buffer_;
};

#endif
