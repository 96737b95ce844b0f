// compress.h -- turns one entry's bytes into plain raw deflate (RFC 1951, what
// zlib's inflate with window bits -15 reads). Two ways: a whole buffer at
// once (libdeflate when built with it, else zlib) and a zlib stream for files
// too large to hold in memory. Pure computation: no file I/O, no threads.
#ifndef NVRPACK_COMPRESS_H
#define NVRPACK_COMPRESS_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace nvrpack {

// Compression levels: 1 (fastest) .. MaxLevel(). MaxLevel() is 12 with
// libdeflate, 9 with zlib alone. Level 0 is not offered: the module reads
// stored deflate blocks, but nobody needs a package larger than its files.
const int kMinLevel = 1;
const int kDefaultLevel = 6;
int MaxLevel();

// Name of the compressor this nvrpack was built with ("libdeflate 1.14" or
// "zlib 1.2.13"), for --help and --version texts.
std::string CompressorName();

// Files above WholeEntryLimit() bytes are compressed as a zlib stream (level
// capped at 9) instead of in one piece, so that memory stays bounded. With
// libdeflate, which compresses only whole buffers (faster than zlib, and the
// only one with levels above 9), the limit is kWholeEntryLimitHigh, so that a
// large file gets libdeflate and the level asked for; with zlib alone it is
// kWholeEntryLimit. The environment variable NVRPACK_WHOLE_LIMIT (bytes) can
// lower it.
const uint64_t kWholeEntryLimit = 64ull << 20;
const uint64_t kWholeEntryLimitHigh = 1ull << 30;

// The largest file compressed in one piece.
uint64_t WholeEntryLimit();

// zlib's CRC-32 of count bytes, continuing from crc (start with 0).
uint32_t Crc32(uint32_t crc, const uint8_t *data, size_t count);

// A compressor for whole buffers at one level; one per thread (not shared).
class WholeCompressor {
public:
    // level: kMinLevel..MaxLevel(). Throws PackError when out of memory.
    explicit WholeCompressor(int level);
    ~WholeCompressor();
    WholeCompressor(const WholeCompressor &) = delete;
    WholeCompressor &operator=(const WholeCompressor &) = delete;
    // Raw deflate of count bytes (count > 0). The result depends only on
    // the bytes and the level. Throws PackError on a compressor failure.
    std::vector<uint8_t> Compress(const uint8_t *data, size_t count);

private:
    int level_;
    void *state_ = nullptr;   // libdeflate compressor, or nullptr with zlib
};

// One zlib raw deflate stream fed in pieces; the caller writes what it
// produces. level is capped at 9.
class StreamCompressor {
public:
    explicit StreamCompressor(int level);
    ~StreamCompressor();
    StreamCompressor(const StreamCompressor &) = delete;
    StreamCompressor &operator=(const StreamCompressor &) = delete;
    // Compresses count bytes (finish ends the stream) and appends the
    // output to out (which it clears first). Throws PackError.
    void Feed(const uint8_t *data, size_t count, bool finish, std::vector<uint8_t> *out);

private:
    struct State;
    std::unique_ptr<State> s_;
};

}  // namespace nvrpack

#endif
