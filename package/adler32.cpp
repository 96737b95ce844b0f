// adler32.cpp -- a small Adler-32 for zlib's inflate.
//
// The package's entries are raw deflate streams: they carry no Adler-32, and
// the reader never asks inflate for the zlib-wrapped mode that checks one.
// inflate still refers to adler32(), so this plain (unrolled-nowhere)
// implementation stands in for zlib's larger one to keep the module small.
// It computes the same value.
#include "zlib.h"

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef *buf, uInt len)
{
    const uLong base = 65521;   // largest prime below 2^16
    uLong a = adler & 0xFFFF;
    uLong b = (adler >> 16) & 0xFFFF;
    if (buf == Z_NULL)
        return 1;
    while (len--) {
        a = (a + *buf++) % base;
        b = (b + a) % base;
    }
    return (b << 16) | a;
}
