// pkgwriter.h -- test-side package writer: builds packages byte by byte so the
// Windows-side tests can place volume cuts exactly and make damaged packages.
//
// Header-only, for tests only; the real packager lives in packager/. It writes
// the layout of package/format.h with a zero-filled install module in front,
// deflates with zlib (raw, window bits -15), and never checks what the test
// asks for: wrong magics, wrong counts and wrong CRCs are all allowed.
#ifndef NVR_TESTS_PKGWRITER_H
#define NVR_TESTS_PKGWRITER_H

#include <windows.h>
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>
#include "package/format.h"
#include "zlib.h"

namespace pkgw {

using Bytes = std::vector<unsigned char>;

// Raw deflate of data (no zlib header or trailer).
inline Bytes Deflate(const Bytes &data, int level = Z_BEST_COMPRESSION)
{
    z_stream s{};
    deflateInit2(&s, level, Z_DEFLATED, NVR_INFLATE_WINDOW_BITS, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&s, (uLong)data.size()) + 16);
    s.next_in = const_cast<Bytef *>(data.data());
    s.avail_in = (uInt)data.size();
    s.next_out = out.data();
    s.avail_out = (uInt)out.size();
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

inline uint32_t Crc(const Bytes &data)
{
    return (uint32_t)crc32(0, data.data(), (uInt)data.size());
}

// Incompressible bytes, so that compressed length ~ data length.
inline Bytes RandomBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    Bytes b(n);
    for (auto &c : b) c = (unsigned char)gen();
    return b;
}

// Compressible text bytes.
inline Bytes TextBytes(size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    static const char words[][8] = {"alpha ", "beta ", "gamma ", "delta\r\n", "pi "};
    Bytes b;
    while (b.size() < n) {
        const char *w = words[gen() % 5];
        b.insert(b.end(), w, w + strlen(w));
    }
    b.resize(n);
    return b;
}

struct Entry {
    std::string name;
    Bytes data;                              // uncompressed content
    Bytes packed;                            // compressed bytes written after the name
    uint32_t magic = NVR_ENTRY_MAGIC;
    uint32_t uncompressed = 0;               // header field values, set by Add
    uint32_t crc = 0;
    uint32_t modTime = 0x5A2B6000;           // 2025-01-11 12:00:00 in FAT encoding
    uint32_t versionHigh = NVR_NO_VERSION;
    uint32_t versionLow = NVR_NO_VERSION;
    bool compressedOverride = false;         // write `compressedLength` instead of packed.size()
    uint32_t compressedLength = 0;
};

// Absolute positions of one entry in the package (volume 0 offset 0 = 0).
struct Where {
    size_t header, name, data, end;
};

class Writer {
public:
    uint32_t packageMagic = NVR_PACKAGE_MAGIC;
    int64_t entryCount = -1;        // -1: the number of entries added
    int64_t volumeCount = -1;       // -1: computed from the volume length
    int64_t packageLength = -1;     // -1: the total length
    int64_t volumeLengthField = -1; // -1: the volume length given to Build
    std::vector<Entry> entries;
    std::vector<Where> where;       // filled by Build

    Entry &Add(const std::string &name, const Bytes &data)
    {
        Entry e;
        e.name = name;
        e.data = data;
        e.uncompressed = (uint32_t)data.size();
        e.crc = Crc(data);
        if (!data.empty()) e.packed = Deflate(data);
        entries.push_back(e);
        return entries.back();
    }

    // Whole package as one byte stream. volumeLength 0: single volume whose
    // volume length is the total length.
    Bytes Build(uint32_t volumeLength = 0)
    {
        Bytes b(NVR_MODULE_LENGTH, 0);
        where.clear();
        Put(b, packageMagic);
        size_t lengthAt = b.size();
        Put(b, 0);
        size_t volumeAt = b.size();
        Put(b, 0);
        size_t countAt = b.size();
        b.push_back(0);
        Put(b, entryCount < 0 ? (uint32_t)entries.size() : (uint32_t)entryCount);
        for (const Entry &e : entries) {
            Where w;
            w.header = b.size();
            Put(b, e.magic);
            Put(b, e.uncompressed);
            Put(b, e.compressedOverride ? e.compressedLength : (uint32_t)e.packed.size());
            Put(b, e.crc);
            Put(b, e.modTime);
            Put(b, e.versionHigh);
            Put(b, e.versionLow);
            b.push_back((unsigned char)e.name.size());
            w.name = b.size();
            b.insert(b.end(), e.name.begin(), e.name.end());
            w.data = b.size();
            b.insert(b.end(), e.packed.begin(), e.packed.end());
            w.end = b.size();
            where.push_back(w);
        }
        uint32_t total = (uint32_t)b.size();
        uint32_t length = volumeLength ? volumeLength : total;
        Set(b, lengthAt, packageLength < 0 ? total : (uint32_t)packageLength);
        Set(b, volumeAt, volumeLengthField < 0 ? length : (uint32_t)volumeLengthField);
        b[countAt] = (unsigned char)(volumeCount >= 0 ? volumeCount : (total + length - 1) / length);
        return b;
    }

    // Path of volume k: the package path with its extension replaced.
    static std::string VolumePath(const std::string &path, int k)
    {
        size_t dot = path.find_last_of('.'), sep = path.find_last_of("\\:");
        std::string base = (dot != std::string::npos && (sep == std::string::npos || dot > sep))
                               ? path.substr(0, dot) : path;
        char ext[8];
        snprintf(ext, sizeof ext, NVR_VOLUME_EXT_FORMAT, k);
        return base + ext;
    }

    // Cuts bytes into volumes of volumeLength (0: one file) and writes them
    // as path, path's .001, .002, ... Returns the number of files.
    static int WriteVolumes(const std::string &path, const Bytes &bytes, uint32_t volumeLength = 0)
    {
        size_t length = volumeLength ? volumeLength : bytes.size();
        int k = 0;
        for (size_t at = 0; at < bytes.size() || k == 0; at += length, k++) {
            size_t n = std::min(length, bytes.size() - at);
            WriteFileBytes(k ? VolumePath(path, k) : path, bytes.data() + at, n);
        }
        return k;
    }

    static void WriteFileBytes(const std::string &path, const unsigned char *p, size_t n)
    {
        FILE *f = fopen(path.c_str(), "wb");
        if (!f) return;
        fwrite(p, 1, n, f);
        fclose(f);
    }

private:
    static void Put(Bytes &b, uint32_t v)
    {
        for (int i = 0; i < 4; i++) b.push_back((unsigned char)(v >> (8 * i)));
    }
    static void Set(Bytes &b, size_t at, uint32_t v)
    {
        for (int i = 0; i < 4; i++) b[at + i] = (unsigned char)(v >> (8 * i));
    }
};

}  // namespace pkgw

#endif
