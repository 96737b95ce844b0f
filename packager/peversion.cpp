// peversion.cpp -- walks MZ header -> PE headers -> section table -> resource
// directory (type RT_VERSION, first name, first language) -> VS_VERSIONINFO.
// Must not follow resource subdirectories deeper than the three fixed levels,
// so a looping directory cannot trap it.
#include "peversion.h"

#include <cstring>
#include <fstream>

#include "package/format.h"

namespace nvrpack {

namespace {

const uint32_t kDosMagic = 0x5A4D;              // "MZ"
const uint32_t kPeMagic = 0x00004550;           // "PE\0\0"
const uint32_t kLfanewOffset = 0x3C;
const uint32_t kCoffHeaderSize = 20;
const uint32_t kOptMagicPe32 = 0x10B;
const uint32_t kOptMagicPe32Plus = 0x20B;
const uint32_t kDirCountOffsetPe32 = 92;        // NumberOfRvaAndSizes
const uint32_t kDirCountOffsetPe32Plus = 108;
const uint32_t kResourceDirIndex = 2;
const uint32_t kDataDirSize = 8;
const uint32_t kSectionHeaderSize = 40;
const uint32_t kMaxSections = 96;               // the loader's limit
const uint32_t kResDirHeaderSize = 16;
const uint32_t kResEntrySize = 8;
const uint32_t kResSubdirFlag = 0x80000000u;
const uint32_t kResNameFlag = 0x80000000u;
const uint32_t kRtVersion = 16;
const uint32_t kVersionKeyOffset = 6;           // after wLength, wValueLength, wType
const char kVersionKey[] = "VS_VERSION_INFO";
const uint32_t kFixedInfoSize = 52;
const uint32_t kFixedInfoSignature = 0xFEEF04BDu;
const uint32_t kFixedVersionMsOffset = 8;
const uint32_t kFixedVersionLsOffset = 12;

struct Section {
    uint32_t virtualAddress;
    uint32_t virtualSize;
    uint32_t rawSize;
    uint32_t rawOffset;
};

// The parser's view of one image: the source and its section table.
class PeImage {
public:
    explicit PeImage(ByteSource &source) : source_(source) {}
    bool Load();
    bool FindVersion(FileVersion *out);

private:
    bool Read16(uint64_t offset, uint32_t *value);
    bool Read32(uint64_t offset, uint32_t *value);
    bool RvaToOffset(uint32_t rva, uint32_t size, uint64_t *offset) const;
    bool FindChild(uint32_t dir, bool matchId, uint32_t id, uint32_t *child);

    ByteSource &source_;
    std::vector<Section> sections_;
    uint32_t resourceRva_ = 0;    // start of the resource directory
    uint32_t resourceSize_ = 0;
};

bool PeImage::Read16(uint64_t offset, uint32_t *value)
{
    uint8_t b[2];
    if (!source_.ReadAt(offset, b, sizeof b))
        return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8;
    return true;
}

bool PeImage::Read32(uint64_t offset, uint32_t *value)
{
    uint8_t b[4];
    if (!source_.ReadAt(offset, b, sizeof b))
        return false;
    *value = uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
    return true;
}

// Reads the headers and the section table; false for anything that is not a
// PE image with a resource directory.
bool PeImage::Load()
{
    uint32_t magic, lfanew, peMagic, sectionCount, optSize, optMagic;
    if (!Read16(0, &magic) || magic != kDosMagic || !Read32(kLfanewOffset, &lfanew))
        return false;
    uint64_t pe = lfanew;
    if (!Read32(pe, &peMagic) || peMagic != kPeMagic)
        return false;
    uint64_t coff = pe + 4;
    if (!Read16(coff + 2, &sectionCount) || !Read16(coff + 16, &optSize))
        return false;
    uint64_t opt = coff + kCoffHeaderSize;
    if (sectionCount == 0 || sectionCount > kMaxSections || !Read16(opt, &optMagic))
        return false;
    uint32_t countOffset;
    if (optMagic == kOptMagicPe32)
        countOffset = kDirCountOffsetPe32;
    else if (optMagic == kOptMagicPe32Plus)
        countOffset = kDirCountOffsetPe32Plus;
    else
        return false;
    uint32_t dirCount;
    uint32_t dirEnd = countOffset + 4 + (kResourceDirIndex + 1) * kDataDirSize;
    if (optSize < dirEnd || !Read32(opt + countOffset, &dirCount) || dirCount <= kResourceDirIndex)
        return false;
    uint64_t resDir = opt + countOffset + 4 + kResourceDirIndex * kDataDirSize;
    if (!Read32(resDir, &resourceRva_) || !Read32(resDir + 4, &resourceSize_) || resourceRva_ == 0)
        return false;
    uint64_t table = opt + optSize;
    for (uint32_t i = 0; i < sectionCount; i++) {
        uint64_t at = table + uint64_t(i) * kSectionHeaderSize;
        Section s;
        if (!Read32(at + 8, &s.virtualSize) || !Read32(at + 12, &s.virtualAddress) ||
            !Read32(at + 16, &s.rawSize) || !Read32(at + 20, &s.rawOffset))
            return false;
        sections_.push_back(s);
    }
    return true;
}

// Maps size bytes at rva to a file offset; false unless the whole range lies
// in the raw data of one section.
bool PeImage::RvaToOffset(uint32_t rva, uint32_t size, uint64_t *offset) const
{
    for (const Section &s : sections_) {
        uint64_t span = s.virtualSize ? (s.virtualSize < s.rawSize ? s.virtualSize : s.rawSize) : s.rawSize;
        if (rva >= s.virtualAddress && uint64_t(rva) - s.virtualAddress + size <= span) {
            *offset = uint64_t(s.rawOffset) + (rva - s.virtualAddress);
            return true;
        }
    }
    return false;
}

// Finds in the resource directory at directory offset dir (relative to the
// resource root) the entry with ID id (matchId) or the first entry; stores
// its OffsetToData. False when there is none.
bool PeImage::FindChild(uint32_t dir, bool matchId, uint32_t id, uint32_t *child)
{
    uint64_t at;
    uint32_t named, ids;
    if (!RvaToOffset(resourceRva_ + dir, kResDirHeaderSize, &at) || !Read16(at + 12, &named) ||
        !Read16(at + 14, &ids) || named + ids == 0)
        return false;
    for (uint32_t i = 0; i < named + ids; i++) {
        uint64_t entry;
        uint32_t nameField;
        uint32_t rel = dir + kResDirHeaderSize + i * kResEntrySize;
        if (!RvaToOffset(resourceRva_ + rel, kResEntrySize, &entry) || !Read32(entry, &nameField))
            return false;
        if (!matchId || (!(nameField & kResNameFlag) && nameField == id))
            return Read32(entry + 4, child);
    }
    return false;
}

bool PeImage::FindVersion(FileVersion *out)
{
    uint32_t typeDir, nameDir, leaf;
    if (!FindChild(0, true, kRtVersion, &typeDir) || !(typeDir & kResSubdirFlag))
        return false;
    if (!FindChild(typeDir & ~kResSubdirFlag, false, 0, &nameDir) || !(nameDir & kResSubdirFlag))
        return false;
    if (!FindChild(nameDir & ~kResSubdirFlag, false, 0, &leaf) || (leaf & kResSubdirFlag))
        return false;
    uint64_t leafAt, dataAt;
    uint32_t dataRva, dataSize;
    if (!RvaToOffset(resourceRva_ + leaf, 8, &leafAt) || !Read32(leafAt, &dataRva) ||
        !Read32(leafAt + 4, &dataSize))
        return false;
    // VS_VERSIONINFO: wLength, wValueLength, wType, L"VS_VERSION_INFO", pad to 4, fixed info.
    const uint32_t keyBytes = sizeof kVersionKey * 2;
    const uint32_t fixedAt = (kVersionKeyOffset + keyBytes + 3) & ~3u;
    if (dataSize < fixedAt + kFixedInfoSize || !RvaToOffset(dataRva, fixedAt + kFixedInfoSize, &dataAt))
        return false;
    uint8_t head[(kVersionKeyOffset + sizeof kVersionKey * 2 + 3) & ~3u];
    if (!source_.ReadAt(dataAt, head, sizeof head))
        return false;
    uint32_t valueLength = uint32_t(head[2]) | uint32_t(head[3]) << 8;
    for (uint32_t i = 0; i < sizeof kVersionKey; i++) {
        if (head[kVersionKeyOffset + 2 * i] != uint8_t(kVersionKey[i]) || head[kVersionKeyOffset + 2 * i + 1])
            return false;
    }
    uint8_t fixed[kFixedInfoSize];
    if (valueLength < kFixedInfoSize || !source_.ReadAt(dataAt + fixedAt, fixed, sizeof fixed))
        return false;
    auto get32 = [&fixed](uint32_t at) {
        return uint32_t(fixed[at]) | uint32_t(fixed[at + 1]) << 8 | uint32_t(fixed[at + 2]) << 16 |
               uint32_t(fixed[at + 3]) << 24;
    };
    if (get32(0) != kFixedInfoSignature)
        return false;
    out->high = get32(kFixedVersionMsOffset);
    out->low = get32(kFixedVersionLsOffset);
    return true;
}

// A ByteSource over an open file.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string &path) : in_(path, std::ios::binary)
    {
        if (in_) {
            in_.seekg(0, std::ios::end);
            std::streamoff end = in_.tellg();
            size_ = end > 0 ? uint64_t(end) : 0;
        }
    }
    bool Ok() const { return bool(in_); }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void *buffer, size_t count) override
    {
        if (offset > size_ || count > size_ - offset)
            return false;
        in_.clear();
        in_.seekg(std::streamoff(offset));
        in_.read(static_cast<char *>(buffer), std::streamsize(count));
        return in_.gcount() == std::streamsize(count);
    }

private:
    std::ifstream in_;
    uint64_t size_ = 0;
};

}  // namespace

bool MemorySource::ReadAt(uint64_t offset, void *buffer, size_t count)
{
    if (offset > size_ || count > size_ - offset)
        return false;
    std::memcpy(buffer, data_ + offset, count);
    return true;
}

FileVersion ReadPeVersion(ByteSource &source)
{
    FileVersion version{NVR_NO_VERSION, NVR_NO_VERSION};
    PeImage image(source);
    FileVersion found;
    if (image.Load() && image.FindVersion(&found))
        version = found;
    return version;
}

FileVersion ReadFileVersion(const std::string &path)
{
    FileSource source(path);
    if (!source.Ok())
        return FileVersion{NVR_NO_VERSION, NVR_NO_VERSION};
    return ReadPeVersion(source);
}

}  // namespace nvrpack
