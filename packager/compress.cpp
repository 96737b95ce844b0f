// compress.cpp -- raw deflate of entry data (see compress.h). Must produce the
// same bytes for the same input and level on every run and thread count: no
// state is carried from one entry to the next.
#include "compress.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#ifdef NVR_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "package/format.h"
#include "packerror.h"

namespace nvrpack {

namespace {

const int kZlibMaxLevel = 9;
const int kMemLevel = 8;                    // zlib's default memory level
const size_t kStreamOutChunk = 256 * 1024;  // output bytes per deflate call
const size_t kCrcPiece = 1u << 30;          // crc32 takes a 32-bit length

#ifndef NVR_HAVE_LIBDEFLATE
// Raw deflate of a whole buffer with zlib (the build without libdeflate).
std::vector<uint8_t> ZlibWhole(const uint8_t *data, size_t count, int level)
{
    StreamCompressor z(level);
    std::vector<uint8_t> all, piece;
    const size_t kPiece = 16u << 20;
    for (size_t at = 0; at < count;) {
        size_t n = std::min(kPiece, count - at);
        z.Feed(data + at, n, at + n == count, &piece);
        all.insert(all.end(), piece.begin(), piece.end());
        at += n;
    }
    return all;
}
#endif

}  // namespace

uint64_t WholeEntryLimit()
{
    // NVRPACK_WHOLE_LIMIT (bytes) lowers the limit, for a machine with
    // little memory; it never raises it. Read once: asked for every entry.
    static const uint64_t limit = [] {
        uint64_t l = MaxLevel() > kZlibMaxLevel ? kWholeEntryLimitHigh : kWholeEntryLimit;
        if (const char *text = std::getenv("NVRPACK_WHOLE_LIMIT")) {
            char *end = nullptr;
            unsigned long long asked = std::strtoull(text, &end, 10);
            if (end != text && *end == '\0' && asked < l)
                l = asked;
        }
        return l;
    }();
    return limit;
}

int MaxLevel()
{
#ifdef NVR_HAVE_LIBDEFLATE
    return 12;
#else
    return kZlibMaxLevel;
#endif
}

std::string CompressorName()
{
#ifdef NVR_HAVE_LIBDEFLATE
    return std::string("libdeflate ") + LIBDEFLATE_VERSION_STRING;
#else
    return std::string("zlib ") + zlibVersion();
#endif
}

uint32_t Crc32(uint32_t crc, const uint8_t *data, size_t count)
{
    while (count) {
        size_t n = std::min(count, kCrcPiece);
        crc = uint32_t(crc32(crc, data, uInt(n)));
        data += n;
        count -= n;
    }
    return crc;
}

WholeCompressor::WholeCompressor(int level) : level_(level)
{
#ifdef NVR_HAVE_LIBDEFLATE
    state_ = libdeflate_alloc_compressor(level);
    if (!state_)
        throw PackError("cannot start the compressor (level " + std::to_string(level) + ")");
#endif
}

WholeCompressor::~WholeCompressor()
{
#ifdef NVR_HAVE_LIBDEFLATE
    libdeflate_free_compressor(static_cast<libdeflate_compressor *>(state_));
#endif
}

std::vector<uint8_t> WholeCompressor::Compress(const uint8_t *data, size_t count)
{
#ifdef NVR_HAVE_LIBDEFLATE
    auto *c = static_cast<libdeflate_compressor *>(state_);
    std::vector<uint8_t> out(libdeflate_deflate_compress_bound(c, count));
    size_t n = libdeflate_deflate_compress(c, data, count, out.data(), out.size());
    if (n == 0)
        throw PackError("compressor failed");
    out.resize(n);
    out.shrink_to_fit();
    return out;
#else
    return ZlibWhole(data, count, level_);
#endif
}

struct StreamCompressor::State {
    z_stream z{};
};

StreamCompressor::StreamCompressor(int level) : s_(new State)
{
    if (deflateInit2(&s_->z, std::min(level, kZlibMaxLevel), Z_DEFLATED, NVR_INFLATE_WINDOW_BITS, kMemLevel,
                     Z_DEFAULT_STRATEGY) != Z_OK)
        throw PackError("cannot start the compressor");
}

StreamCompressor::~StreamCompressor()
{
    deflateEnd(&s_->z);
}

void StreamCompressor::Feed(const uint8_t *data, size_t count, bool finish, std::vector<uint8_t> *out)
{
    z_stream &z = s_->z;
    out->clear();
    z.next_in = const_cast<Bytef *>(data);
    z.avail_in = uInt(count);
    for (;;) {
        size_t had = out->size();
        out->resize(had + kStreamOutChunk);
        z.next_out = out->data() + had;
        z.avail_out = uInt(kStreamOutChunk);
        int rc = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
        if (rc == Z_STREAM_ERROR)
            throw PackError("compressor failed");
        out->resize(had + kStreamOutChunk - z.avail_out);
        if (finish ? rc == Z_STREAM_END : (z.avail_in == 0 && z.avail_out != 0))
            return;
    }
}

}  // namespace nvrpack
