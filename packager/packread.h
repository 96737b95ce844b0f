// packread.h -- reads a package back for `list` and `verify` (and for tests):
// the package header, then each entry's header and data across volume files,
// inflating and checking CRC-32 and lengths. Read-only; never writes a file.
#ifndef NVRPACK_PACKREAD_H
#define NVRPACK_PACKREAD_H

#include <cstdint>
#include <fstream>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace nvrpack {

struct PackageHeader {
    uint32_t packageLength;
    uint32_t volumeLength;
    unsigned volumeCount;
    uint32_t entryCount;
};

struct EntryHeader {
    std::string name;
    uint32_t uncompressed;
    uint32_t compressed;
    uint32_t crc;
    uint32_t time;          // FAT local date << 16 | time
    uint32_t versionHigh;
    uint32_t versionLow;
    uint64_t headerPosition;  // stream position of the entry header
    uint64_t dataPosition;    // stream position of the compressed data
};

// Receives inflated data in order, in chunks.
using DataSink = std::function<void(const uint8_t *data, size_t count)>;

// One package opened for reading: a cursor over the stream that opens each
// volume file when the cursor reaches it. Every failure throws PackError
// with a message that names the volume file and, once known, the entry.
class PackageInput {
public:
    // Opens volume 0 and reads and checks the package header.
    explicit PackageInput(const std::string &path);

    const PackageHeader &Header() const { return header_; }
    // Reads the next entry's header (the cursor must stand on one).
    EntryHeader NextEntry();
    // Moves past the data of the entry just read, without opening volumes.
    void SkipData(const EntryHeader &entry);
    // Inflates the data of the entry just read into sink and checks that
    // the stream ends exactly with its compressed length, that the output is
    // exactly its uncompressed length and that the CRC-32 matches.
    void ReadData(const EntryHeader &entry, const DataSink &sink);
    // Bytes that follow the last entry in the last volume (after all entries
    // were read); 0 for a package as nvrpack writes it.
    uint64_t TrailingBytes();
    // File name (no folder) of volume k, for messages.
    std::string VolumeName(unsigned k) const;
    // Checks that every volume file exists and is as long as the package
    // header says (the last one at least), without reading data. entries
    // are all the package's headers; the message of the PackError names the
    // first missing or short volume and the entry whose bytes it holds.
    void CheckVolumes(const std::vector<EntryHeader> &entries);

private:
    void Read(void *buffer, size_t count, const std::string &context);
    void OpenVolume(unsigned k, const std::string &context);
    std::string VolumesOf(uint64_t first, uint64_t count) const;

    std::string path_;
    PackageHeader header_{};
    uint64_t pos_ = 0;            // stream position of the cursor
    std::ifstream file_;          // the volume open now
    unsigned open_ = ~0u;         // its index; ~0u when none
    uint64_t fileOffset_ = 0;     // read offset in it; ~0 when unknown
    uint32_t entriesRead_ = 0;    // headers read so far
    std::string lastName_;        // name in the last header read
};

// Writes one line per entry to out: uncompressed and compressed size, CRC-32,
// time, version ("-" when none) and name; with json, one JSON document
// instead (see README.md). Reads every header and checks the volume files'
// presence and lengths first, so a failure writes nothing to out. Returns the
// entry count. Throws PackError on a damaged header or a missing or short
// volume.
uint32_t ListPackage(const std::string &path, std::ostream &out, bool json = false);

// The text of bytes as a JSON string literal with its quotes: bytes below
// 0x20, '"' and '\' escaped, bytes 0x80..0xFF as \u0080..\u00FF (one
// character per byte: names are CP949 or other code-page bytes, not UTF-8).
std::string JsonString(const std::string &bytes);

// Reads every entry, inflating and checking all data; folder entries' data
// is skipped as the install module does. Writes a one-line summary to out.
// Throws PackError naming the first damaged entry and its volume file.
uint32_t VerifyPackage(const std::string &path, std::ostream &out);

}  // namespace nvrpack

#endif
