// packread.cpp -- package reading for list and verify (see packread.h). Must
// not trust any length in the file: every read is bounded by the volumes.
#include "packread.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "fattime.h"
#include "package/format.h"
#include "packerror.h"
#include "volumename.h"

namespace nvrpack {

namespace {

const size_t kInputChunk = 64 * 1024;    // compressed bytes per inflate call
const size_t kOutputChunk = 256 * 1024;  // inflated bytes per sink call
const size_t kLineSize = 64;             // formatted numbers of one list line
const size_t kHexSize = 16;
const unsigned kMaxNamedVolumes = 8;     // a longer span is named by its ends

uint32_t Get32(const uint8_t *at)
{
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

std::string Hex(uint32_t value)
{
    char text[kHexSize];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

std::string EntryContext(const std::string &name)
{
    return "entry \"" + name + "\": ";
}

// Owns a z_stream for one entry.
struct Inflater {
    z_stream z{};
    Inflater()
    {
        if (inflateInit2(&z, NVR_INFLATE_WINDOW_BITS) != Z_OK)
            throw PackError("cannot start the decompressor");
    }
    ~Inflater() { inflateEnd(&z); }
};

}  // namespace

PackageInput::PackageInput(const std::string &path) : path_(path)
{
    header_.volumeCount = 1;
    header_.volumeLength = UINT32_MAX;
    OpenVolume(0, "");
    file_.seekg(0, std::ios::end);
    uint64_t size = uint64_t(file_.tellg());
    fileOffset_ = ~uint64_t(0);
    if (size < NVR_MODULE_LENGTH + NVR_PACKAGE_HEADER_SIZE)
        throw PackError(VolumeName(0) + " is not a package: it is shorter than the install module and package header");
    uint8_t h[NVR_PACKAGE_HEADER_SIZE];
    pos_ = NVR_MODULE_LENGTH;
    Read(h, sizeof h, "");
    if (Get32(h + NVR_PH_MAGIC) != NVR_PACKAGE_MAGIC)
        throw PackError(VolumeName(0) + " is not a package: no \"IFAH\" header at offset " +
                        std::to_string(NVR_MODULE_LENGTH));
    header_.packageLength = Get32(h + NVR_PH_PACKAGE_LENGTH);
    header_.volumeLength = Get32(h + NVR_PH_VOLUME_LENGTH);
    header_.volumeCount = h[NVR_PH_VOLUME_COUNT];
    header_.entryCount = Get32(h + NVR_PH_ENTRY_COUNT);
    if (header_.volumeCount == 0 || header_.volumeLength < NVR_MODULE_LENGTH + NVR_PACKAGE_HEADER_SIZE)
        throw PackError(VolumeName(0) + ": package header is damaged (volume count " +
                        std::to_string(header_.volumeCount) + ", volume length " +
                        std::to_string(header_.volumeLength) + ")");
    if (header_.volumeCount == 1 && size < header_.packageLength)
        throw PackError(VolumeName(0) + " is truncated: " + std::to_string(size) + " bytes of " +
                        std::to_string(header_.packageLength));
    if (header_.volumeCount > 1 && size < header_.volumeLength)
        throw PackError(VolumeName(0) + " is truncated: " + std::to_string(size) + " bytes, volume length " +
                        std::to_string(header_.volumeLength));
    if (header_.volumeCount > 1 && VolumePath(path_, 1).empty())
        throw PackError(VolumeName(0) + " has volumes but no extension, so they cannot be named");
}

std::string PackageInput::VolumeName(unsigned k) const
{
    return BaseName(VolumePath(path_, k));
}

void PackageInput::OpenVolume(unsigned k, const std::string &context)
{
    if (open_ == k)
        return;
    file_.close();
    file_.clear();
    open_ = ~0u;
    file_.open(VolumePath(path_, k), std::ios::binary);
    if (!file_)
        throw PackError(context + "volume file " + VolumeName(k) + " is missing or cannot be read (" +
                        std::strerror(errno) + ")");
    open_ = k;
    fileOffset_ = 0;
}

void PackageInput::Read(void *buffer, size_t count, const std::string &context)
{
    uint8_t *out = static_cast<uint8_t *>(buffer);
    const uint64_t length = header_.volumeLength;
    while (count) {
        uint64_t volume = pos_ / length;
        uint64_t offset = pos_ % length;
        if (volume >= header_.volumeCount)
            throw PackError(context + "the package ends in its last volume " + VolumeName(header_.volumeCount - 1) +
                            " before all its data (truncated?)");
        OpenVolume(unsigned(volume), context);
        if (fileOffset_ != offset) {
            file_.clear();
            file_.seekg(std::streamoff(offset));
        }
        size_t part = size_t(std::min<uint64_t>(count, length - offset));
        file_.read(reinterpret_cast<char *>(out), std::streamsize(part));
        size_t got = size_t(file_.gcount());
        fileOffset_ = offset + got;
        if (got != part)
            throw PackError(context + "volume file " + VolumeName(unsigned(volume)) + " ends early, at byte " +
                            std::to_string(offset + got));
        pos_ += part;
        out += part;
        count -= part;
    }
}

EntryHeader PackageInput::NextEntry()
{
    uint8_t h[NVR_ENTRY_HEADER_SIZE];
    uint64_t at = pos_;
    std::string where = "header of entry " + std::to_string(entriesRead_ + 1) + " of " +
                        std::to_string(header_.entryCount) +
                        (lastName_.empty() ? std::string() : " (after \"" + lastName_ + "\")") + ": ";
    Read(h, sizeof h, where);
    if (Get32(h + NVR_EH_MAGIC) != NVR_ENTRY_MAGIC)
        throw PackError(where + "no \"IFFH\" magic in " + VolumeName(unsigned(at / header_.volumeLength)) +
                        " (the package is damaged)");
    EntryHeader e;
    e.uncompressed = Get32(h + NVR_EH_UNCOMPRESSED);
    e.compressed = Get32(h + NVR_EH_COMPRESSED);
    e.crc = Get32(h + NVR_EH_CRC);
    e.time = Get32(h + NVR_EH_TIME);
    e.versionHigh = Get32(h + NVR_EH_VERSION_HIGH);
    e.versionLow = Get32(h + NVR_EH_VERSION_LOW);
    e.headerPosition = at;
    e.name.resize(h[NVR_EH_NAME_LENGTH]);
    if (!e.name.empty())
        Read(&e.name[0], e.name.size(), where);
    e.dataPosition = pos_;
    entriesRead_++;
    lastName_ = e.name;
    return e;
}

void PackageInput::SkipData(const EntryHeader &entry)
{
    pos_ = entry.dataPosition + entry.compressed;
}

std::string PackageInput::VolumesOf(uint64_t first, uint64_t count) const
{
    uint64_t length = header_.volumeLength;
    unsigned a = unsigned(first / length);
    unsigned b = unsigned((first + (count ? count - 1 : 0)) / length);
    if (b - a >= kMaxNamedVolumes)
        return VolumeName(a) + " to " + VolumeName(b);
    std::string names = VolumeName(a);
    for (unsigned k = a + 1; k <= b; k++)
        names += (k == b ? " or " : ", ") + VolumeName(k);
    return names;
}

void PackageInput::ReadData(const EntryHeader &e, const DataSink &sink)
{
    std::string context = EntryContext(e.name);
    std::string damaged = "entry \"" + e.name + "\" is damaged";
    pos_ = e.dataPosition;
    if (e.compressed == 0) {
        if (e.uncompressed != 0 || e.crc != 0)
            throw PackError(damaged + " in " + VolumeName(unsigned(pos_ / header_.volumeLength)) +
                            ": no data for " + std::to_string(e.uncompressed) + " bytes (CRC-32 " + Hex(e.crc) + ")");
        return;
    }
    Inflater inf;
    std::vector<uint8_t> in(kInputChunk), out(kOutputChunk);
    uint64_t left = e.compressed, produced = 0;
    uint32_t crc = 0;
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (inf.z.avail_in == 0) {
            if (left == 0)
                throw PackError(damaged + " in " + VolumesOf(e.dataPosition, e.compressed) +
                                ": its deflate data ends early");
            // A chunk never crosses a volume end, so an inflate error names
            // the volume that holds the bad data.
            uint64_t toVolumeEnd = header_.volumeLength - pos_ % header_.volumeLength;
            size_t part = size_t(std::min<uint64_t>(std::min<uint64_t>(left, in.size()), toVolumeEnd));
            Read(in.data(), part, context);
            left -= part;
            inf.z.next_in = in.data();
            inf.z.avail_in = uInt(part);
        }
        inf.z.next_out = out.data();
        inf.z.avail_out = uInt(out.size());
        rc = inflate(&inf.z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
            throw PackError(damaged + " in " + VolumeName(unsigned((pos_ - 1) / header_.volumeLength)) +
                            ": bad deflate data (" + (inf.z.msg ? inf.z.msg : "zlib error") + ")");
        size_t got = out.size() - inf.z.avail_out;
        produced += got;
        if (produced > e.uncompressed)
            throw PackError(damaged + " in " + VolumesOf(e.dataPosition, e.compressed) +
                            ": it inflates to more than its length " + std::to_string(e.uncompressed));
        crc = uint32_t(crc32(crc, out.data(), uInt(got)));
        if (got)
            sink(out.data(), got);
    }
    std::string span = VolumesOf(e.dataPosition, e.compressed);
    if (left != 0 || inf.z.avail_in != 0)
        throw PackError(damaged + " in " + span + ": its deflate stream ends before its compressed length");
    if (produced != e.uncompressed)
        throw PackError(damaged + " in " + span + ": " + std::to_string(produced) + " bytes instead of " +
                        std::to_string(e.uncompressed));
    if (crc != e.crc)
        throw PackError(damaged + " in " + span + ": CRC-32 " + Hex(crc) + " does not match the stored " + Hex(e.crc));
}

uint64_t PackageInput::TrailingBytes()
{
    uint64_t length = header_.volumeLength;
    unsigned last = header_.volumeCount - 1;
    if (pos_ > uint64_t(last + 1) * length || pos_ < uint64_t(last) * length)
        return 0;
    OpenVolume(last, "");
    file_.clear();
    file_.seekg(0, std::ios::end);
    fileOffset_ = ~uint64_t(0);
    uint64_t size = uint64_t(file_.tellg());
    uint64_t end = pos_ - uint64_t(last) * length;
    return size > end ? size - end : 0;
}

void PackageInput::CheckVolumes(const std::vector<EntryHeader> &entries)
{
    const uint64_t length = header_.volumeLength;
    for (unsigned k = 0; k < header_.volumeCount; k++) {
        uint64_t first = uint64_t(k) * length;
        bool last = k + 1 == header_.volumeCount;
        uint64_t expected = last ? (header_.packageLength > first ? header_.packageLength - first : 0) : length;
        std::error_code ec;
        uintmax_t size = std::filesystem::file_size(VolumePath(path_, k), ec);
        if (!ec && size >= expected)
            continue;
        // The entry whose header or data reaches into the bad volume's bytes.
        uint64_t bad = ec ? first : first + size;
        std::string what = "holds no entry";
        for (const EntryHeader &e : entries) {
            if (e.dataPosition + e.compressed > bad && e.headerPosition < first + length) {
                what = std::string(e.dataPosition > bad ? "holds the header of " : "holds data of ") + "entry \"" +
                       e.name + "\"";
                break;
            }
        }
        if (ec)
            throw PackError("volume file " + VolumeName(k) + " is missing or cannot be read (" + ec.message() +
                            "); it " + what);
        throw PackError("volume file " + VolumeName(k) + " is truncated: " + std::to_string(size) + " bytes of " +
                        std::to_string(expected) + "; it " + what);
    }
}

std::string JsonString(const std::string &bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
        } else if (c < 0x20 || c >= 0x80) {
            char esc[kHexSize];
            std::snprintf(esc, sizeof esc, "\\u%04x", unsigned(c));
            out += esc;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

namespace {

std::string VersionText(const EntryHeader &e)
{
    if (e.versionHigh == NVR_NO_VERSION && e.versionLow == NVR_NO_VERSION)
        return "";
    char version[kLineSize];
    std::snprintf(version, sizeof version, "%u.%u.%u.%u", e.versionHigh >> 16, e.versionHigh & 0xFFFFu,
                  e.versionLow >> 16, e.versionLow & 0xFFFFu);
    return version;
}

const char *KindOf(const std::string &name)
{
    if (name == NVR_INFO_ENTRY_NAME)
        return "info";
    if (name.compare(0, 3, "DLL") == 0)
        return "dll";
    return !name.empty() && name.back() == '\\' ? "folder" : "file";
}

void WriteJson(PackageInput &input, const std::string &path, const std::vector<EntryHeader> &entries,
               std::ostream &out)
{
    const PackageHeader &h = input.Header();
    out << "{\n  \"package\": " << JsonString(BaseName(path)) << ",\n  \"package_length\": " << h.packageLength
        << ",\n  \"volume_length\": " << h.volumeLength << ",\n  \"volumes\": [";
    for (unsigned k = 0; k < h.volumeCount; k++)
        out << (k ? ", " : "") << JsonString(input.VolumeName(k));
    out << "],\n  \"entries\": [";
    for (size_t i = 0; i < entries.size(); i++) {
        const EntryHeader &e = entries[i];
        std::string version = VersionText(e);
        std::string time = FormatFatTime(e.time);
        time[10] = 'T';
        out << (i ? "," : "") << "\n    {\"name\": " << JsonString(e.name) << ", \"kind\": \"" << KindOf(e.name)
            << "\", \"size\": " << e.uncompressed << ", \"packed\": " << e.compressed << ", \"crc32\": \""
            << Hex(e.crc) << "\", \"time\": \"" << time << "\", \"version\": "
            << (version.empty() ? std::string("null") : "\"" + version + "\"") << ", \"volume\": "
            << e.headerPosition / h.volumeLength << "}";
    }
    out << (entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

}  // namespace

uint32_t ListPackage(const std::string &path, std::ostream &out, bool json)
{
    PackageInput input(path);
    std::vector<EntryHeader> entries;
    for (uint32_t i = 0; i < input.Header().entryCount; i++) {
        entries.push_back(input.NextEntry());
        input.SkipData(entries.back());
    }
    input.CheckVolumes(entries);
    if (json) {
        WriteJson(input, path, entries, out);
        return input.Header().entryCount;
    }
    for (const EntryHeader &e : entries) {
        char numbers[kLineSize];
        std::snprintf(numbers, sizeof numbers, "%10u %10u %08x  ", e.uncompressed, e.compressed, e.crc);
        std::string version = VersionText(e);
        out << numbers << FormatFatTime(e.time) << "  " << (version.empty() ? "-" : version) << "  " << e.name << "\n";
    }
    return input.Header().entryCount;
}

uint32_t VerifyPackage(const std::string &path, std::ostream &out)
{
    PackageInput input(path);
    const PackageHeader &h = input.Header();
    for (uint32_t i = 0; i < h.entryCount; i++) {
        EntryHeader e = input.NextEntry();
        if (!e.name.empty() && e.name.back() == '\\')
            input.SkipData(e);   // folder entry: the module skips its data
        else
            input.ReadData(e, [](const uint8_t *, size_t) {});
    }
    uint64_t trailing = input.TrailingBytes();
    out << input.VolumeName(0) << ": " << h.entryCount << (h.entryCount == 1 ? " entry in " : " entries in ")
        << h.volumeCount
        << (h.volumeCount == 1 ? " volume" : " volumes") << ", all data and CRC-32 values correct";
    if (trailing)
        out << " (" << trailing << " bytes after the last entry, ignored)";
    out << "\n";
    return h.entryCount;
}

}  // namespace nvrpack
