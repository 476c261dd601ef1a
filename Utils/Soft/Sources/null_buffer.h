#ifndef NULL_BUFFER_H
#define NULL_BUFFER_H

#include <streambuf>

// A stream buffer that swallows every character and always reports success.
class null_buffer : public std::streambuf
{
protected:
    int_type overflow(int_type c) override { return traits_type::eq_int_type(c, traits_type::eof()) ? 0 : c; }
    std::streamsize xsputn(const char_type *, std::streamsize n) override { return n; }
};

#endif
