// packwriter.cpp -- writes packed entries into volume files in plan order
// (see packwriter.h). Must not hold a file above WholeEntryLimit() in memory,
// and must not leave a temporary file behind on any way out.
#include "packwriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "entrypool.h"
#include "package/format.h"
#include "packerror.h"
#include "peversion.h"
#include "volumename.h"

namespace fs = std::filesystem;

namespace nvrpack {

namespace {

const size_t kReadChunk = 256 * 1024;         // file bytes per deflate call of a streamed file
const uint64_t kMaxPackageBytes = UINT32_MAX; // every length field is 32 bits
const uint64_t kSingleVolumeLength = kMaxPackageBytes + 1;   // never reached
const unsigned kTokenDigits = 8;

void Put32(uint8_t *at, uint32_t value)
{
    at[0] = uint8_t(value);
    at[1] = uint8_t(value >> 8);
    at[2] = uint8_t(value >> 16);
    at[3] = uint8_t(value >> 24);
}

std::string RandomToken()
{
    static const char kHex[] = "0123456789abcdef";
    std::random_device rd;
    std::string token;
    for (unsigned i = 0; i < kTokenDigits; i++)
        token += kHex[rd() & 15u];
    return token;
}

// The volume files of the package being written: temporary files until
// Commit renames them, removed by the destructor otherwise.
class VolumeSet {
public:
    VolumeSet(const std::string &output, uint32_t volumeLength);
    ~VolumeSet();
    VolumeSet(const VolumeSet &) = delete;
    VolumeSet &operator=(const VolumeSet &) = delete;

    // Appends count bytes at the end of the stream, opening volumes as needed.
    void Write(const void *data, size_t count);
    // Overwrites count bytes at stream position pos (already written).
    void Patch(uint64_t pos, const void *data, size_t count);
    uint64_t Position() const { return pos_; }
    unsigned Count() const { return unsigned(temps_.size()); }
    // Closes the files and renames them to their final names.
    std::vector<std::string> Commit();

private:
    void OpenNext();
    void WriteAt(std::fstream &file, const std::string &name, uint64_t offset, const uint8_t *data, size_t count);

    std::string output_;
    uint64_t length_;                 // volume length L
    unsigned maxVolumes_;
    std::string token_;               // random part of the temporary names
    std::vector<std::string> temps_;  // temporary file of each volume so far
    std::fstream file_;               // the last volume, open for writing
    uint64_t pos_ = 0;                // stream position of the next byte
    bool committed_ = false;
};

VolumeSet::VolumeSet(const std::string &output, uint32_t volumeLength)
    : output_(output),
      length_(volumeLength ? volumeLength : kSingleVolumeLength),
      maxVolumes_(volumeLength ? NVR_MAX_VOLUMES : 1),
      token_(RandomToken())
{
    fs::path folder = fs::path(output).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::is_directory(folder, ec))
        throw PackError("output folder " + folder.string() + " does not exist");
    if (!volumeLength)
        return;
    if (VolumePath(output, 1).empty())
        throw PackError("output " + output + " needs an extension (like .exe) so that volume files can be named");
    for (unsigned k = 1; k <= NVR_MAX_VOLUMES; k++) {
        if (VolumePath(output, k) == output)
            throw PackError("output " + output + " has the name of one of its own volume files");
    }
}

VolumeSet::~VolumeSet()
{
    if (file_.is_open())
        file_.close();
    if (committed_)
        return;
    for (const std::string &temp : temps_) {
        std::error_code ec;
        fs::remove(temp, ec);
    }
}

void VolumeSet::OpenNext()
{
    if (temps_.size() >= maxVolumes_)
        throw PackError("the package needs more than " + std::to_string(NVR_MAX_VOLUMES) +
                        " volumes; choose a larger volume length");
    if (file_.is_open()) {
        file_.close();
        if (file_.fail())
            throw PackError("cannot write " + temps_.back());
    }
    std::string temp = output_ + "." + token_ + ".part" + std::to_string(temps_.size());
    temps_.push_back(temp);   // listed first, so that the destructor removes it
    file_.open(temp, std::ios::in | std::ios::out | std::ios::trunc | std::ios::binary);
    if (!file_)
        throw PackError("cannot create " + temp + ": " + std::strerror(errno));
}

void VolumeSet::Write(const void *data, size_t count)
{
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    if (count > kMaxPackageBytes - pos_)
        throw PackError("the package would be larger than 4294967295 bytes (4 GiB - 1)");
    while (count) {
        uint64_t volume = pos_ / length_;
        if (volume >= temps_.size())
            OpenNext();
        size_t part = size_t(std::min<uint64_t>(count, (volume + 1) * length_ - pos_));
        file_.write(reinterpret_cast<const char *>(bytes), std::streamsize(part));
        if (!file_)
            throw PackError("cannot write " + temps_.back() + " (disk full?)");
        pos_ += part;
        bytes += part;
        count -= part;
    }
}

void VolumeSet::WriteAt(std::fstream &file, const std::string &name, uint64_t offset, const uint8_t *data,
                        size_t count)
{
    file.seekp(std::streamoff(offset));
    file.write(reinterpret_cast<const char *>(data), std::streamsize(count));
    if (!file)
        throw PackError("cannot write " + name);
}

void VolumeSet::Patch(uint64_t pos, const void *data, size_t count)
{
    const uint8_t *bytes = static_cast<const uint8_t *>(data);
    while (count) {
        uint64_t volume = pos / length_;
        uint64_t offset = pos % length_;
        size_t part = size_t(std::min<uint64_t>(count, length_ - offset));
        if (volume + 1 == temps_.size()) {
            WriteAt(file_, temps_[volume], offset, bytes, part);
            file_.seekp(0, std::ios::end);
        } else {
            std::fstream earlier(temps_[volume], std::ios::in | std::ios::out | std::ios::binary);
            WriteAt(earlier, temps_[volume], offset, bytes, part);
        }
        pos += part;
        bytes += part;
        count -= part;
    }
}

std::vector<std::string> VolumeSet::Commit()
{
    file_.close();
    if (file_.fail())
        throw PackError("cannot write " + temps_.back());
    std::vector<std::string> finals;
    for (unsigned k = 0; k < temps_.size(); k++)
        finals.push_back(VolumePath(output_, k));
    // Volume 0 last: a package file that exists is complete.
    for (size_t k = temps_.size(); k-- > 0;) {
        std::error_code ec;
        fs::rename(temps_[k], finals[k], ec);
        if (ec)
            throw PackError("cannot rename " + temps_[k] + " to " + finals[k] + ": " + ec.message());
    }
    committed_ = true;
    return finals;
}

// Reports progress to the caller's callback, if any.
class Progress {
public:
    Progress(const WriteOptions &options, const PackagePlan &plan) : callback_(options.progress)
    {
        state_.entries = 0;
        state_.totalEntries = plan.entries.size();
        state_.bytes = 0;
        state_.totalBytes = 0;
        for (const PlanEntry &e : plan.entries)
            state_.totalBytes += e.size;
    }
    void Bytes(uint64_t count)
    {
        state_.bytes += count;
        Report();
    }
    void EntryDone()
    {
        state_.entries++;
        Report();
    }

private:
    void Report()
    {
        if (callback_)
            callback_(state_);
    }
    const std::function<void(const WriteProgress &)> &callback_;
    WriteProgress state_;
};

// Streams a large file through zlib into the volumes; its length must still
// be the planned one. Returns the compressed length.
uint64_t StreamFile(VolumeSet &out, const PlanEntry &e, int level, Progress &progress, uint32_t *crc)
{
    std::ifstream in(e.localPath, std::ios::binary);
    if (!in)
        throw PackError("cannot read " + e.localPath + ": " + std::strerror(errno));
    StreamCompressor z(level);
    std::vector<uint8_t> chunk(kReadChunk), packed;
    uint64_t total = 0, written = 0;
    *crc = 0;
    for (bool end = false; !end;) {
        in.read(reinterpret_cast<char *>(chunk.data()), std::streamsize(chunk.size()));
        size_t got = size_t(in.gcount());
        if (in.bad())
            throw PackError("cannot read " + e.localPath);
        end = got < chunk.size();
        total += got;
        if (total > e.size)
            break;
        *crc = Crc32(*crc, chunk.data(), got);
        z.Feed(chunk.data(), got, end, &packed);
        out.Write(packed.data(), packed.size());
        written += packed.size();
        progress.Bytes(got);
    }
    if (total != e.size)
        throw PackError(e.localPath + " changed size while it was packed");
    return written;
}

std::vector<uint8_t> EntryHeaderBytes(const PlanEntry &e, const FileVersion &version)
{
    std::vector<uint8_t> header(NVR_ENTRY_HEADER_SIZE + e.name.size());
    Put32(&header[NVR_EH_MAGIC], NVR_ENTRY_MAGIC);
    Put32(&header[NVR_EH_UNCOMPRESSED], uint32_t(e.size));
    Put32(&header[NVR_EH_TIME], e.time);
    Put32(&header[NVR_EH_VERSION_HIGH], version.high);
    Put32(&header[NVR_EH_VERSION_LOW], version.low);
    header[NVR_EH_NAME_LENGTH] = uint8_t(e.name.size());
    std::memcpy(&header[NVR_EH_NAME], e.name.data(), e.name.size());
    return header;
}

// Writes one entry: header and data. A packed entry's CRC-32 and length are
// known up front; a streamed one's are patched into its header afterwards.
void WriteEntry(VolumeSet &out, const PlanEntry &e, PackedEntry packed, int level, Progress &progress)
{
    if (packed.streamed)
        packed.version = ReadFileVersion(e.localPath);
    std::vector<uint8_t> header = EntryHeaderBytes(e, packed.version);
    Put32(&header[NVR_EH_COMPRESSED], uint32_t(packed.data.size()));
    Put32(&header[NVR_EH_CRC], packed.crc);
    uint64_t at = out.Position();
    out.Write(header.data(), header.size());
    if (!packed.streamed) {
        out.Write(packed.data.data(), packed.data.size());
        progress.Bytes(e.size);
        return;
    }
    uint32_t crc = 0;
    uint64_t compressed = StreamFile(out, e, level, progress, &crc);
    uint8_t fields[8];
    Put32(fields, uint32_t(compressed));
    Put32(fields + 4, crc);
    out.Patch(at + NVR_EH_COMPRESSED, fields, sizeof fields);
}

}  // namespace

std::vector<uint8_t> ReadModule(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw PackError("cannot read install module " + path + ": " + std::strerror(errno));
    std::vector<uint8_t> module(NVR_MODULE_LENGTH + 1);
    in.read(reinterpret_cast<char *>(module.data()), std::streamsize(module.size()));
    if (in.bad())
        throw PackError("cannot read install module " + path);
    if (size_t(in.gcount()) != NVR_MODULE_LENGTH)
        throw PackError("install module " + path + " is " + (in.gcount() > std::streamsize(NVR_MODULE_LENGTH) ? "longer" : "shorter") +
                        " than " + std::to_string(NVR_MODULE_LENGTH) + " bytes");
    module.resize(NVR_MODULE_LENGTH);
    return module;
}

WriteResult WritePackage(const PackagePlan &plan, const WriteOptions &options)
{
    if (options.level < kMinLevel || options.level > MaxLevel())
        throw PackError("compression level " + std::to_string(options.level) + " is outside " +
                        std::to_string(kMinLevel) + ".." + std::to_string(MaxLevel()));
    if (options.volumeLength && options.volumeLength < NVR_MIN_VOLUME_LENGTH)
        throw PackError("volume length " + std::to_string(options.volumeLength) + " is below the minimum " +
                        std::to_string(NVR_MIN_VOLUME_LENGTH));
    std::vector<uint8_t> module = ReadModule(options.module);
    VolumeSet out(options.output, options.volumeLength);
    out.Write(module.data(), module.size());

    uint8_t header[NVR_PACKAGE_HEADER_SIZE] = {};
    Put32(&header[NVR_PH_MAGIC], NVR_PACKAGE_MAGIC);
    Put32(&header[NVR_PH_ENTRY_COUNT], uint32_t(plan.entries.size()));
    out.Write(header, sizeof header);
    Progress progress(options, plan);
    EntryPool pool(plan, options.level, options.jobs);
    for (size_t i = 0; i < plan.entries.size(); i++) {
        WriteEntry(out, plan.entries[i], pool.Take(i), options.level, progress);
        progress.EntryDone();
    }

    uint64_t length = out.Position();
    Put32(&header[NVR_PH_PACKAGE_LENGTH], uint32_t(length));
    Put32(&header[NVR_PH_VOLUME_LENGTH], options.volumeLength ? options.volumeLength : uint32_t(length));
    header[NVR_PH_VOLUME_COUNT] = uint8_t(out.Count());
    out.Patch(NVR_MODULE_LENGTH, header, sizeof header);

    WriteResult result;
    result.volumes = out.Count();
    result.length = length;
    result.files = out.Commit();
    return result;
}

}  // namespace nvrpack
