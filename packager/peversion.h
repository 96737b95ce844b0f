// peversion.h -- reads the file version (VS_FIXEDFILEINFO dwFileVersionMS/LS)
// from the version resource of a PE image. Read-only; never trusts a field of
// the file: every offset is bounds-checked against the source's size.
#ifndef NVRPACK_PEVERSION_H
#define NVRPACK_PEVERSION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace nvrpack {

// Random-access bytes to parse: a file or a buffer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Total size in bytes.
    virtual uint64_t Size() const = 0;
    // Copies count bytes from offset into buffer; false when the range is not
    // wholly inside the source or the read fails.
    virtual bool ReadAt(uint64_t offset, void *buffer, size_t count) = 0;
};

// A ByteSource over a caller-owned buffer that must outlive it.
class MemorySource : public ByteSource {
public:
    MemorySource(const void *data, size_t size) : data_(static_cast<const uint8_t *>(data)), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void *buffer, size_t count) override;

private:
    const uint8_t *data_;   // not owned
    size_t size_;
};

struct FileVersion {
    uint32_t high;   // major << 16 | minor, or NVR_NO_VERSION
    uint32_t low;    // build << 16 | revision, or NVR_NO_VERSION
};

// Looks for RT_VERSION in the resource section of a PE32 or PE32+ image and
// returns its fixed file version. Anything that is not a well-formed PE with
// a version resource (text, truncated or hostile images) gives the
// NVR_NO_VERSION pair; the function never reads outside the source.
FileVersion ReadPeVersion(ByteSource &source);

// Same for a file on disk; a file that cannot be opened has no version.
FileVersion ReadFileVersion(const std::string &path);

}  // namespace nvrpack

#endif
