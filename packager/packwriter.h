// packwriter.h -- writes a package (module, package header, entries) from a
// plan, cut into volume files by position. Writes only temporary files beside
// the output and renames them at the end: a failed build leaves nothing.
#ifndef NVRPACK_PACKWRITER_H
#define NVRPACK_PACKWRITER_H

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "compress.h"

#include "packplan.h"

namespace nvrpack {

// How far a build has come, for a progress display.
struct WriteProgress {
    size_t entries;              // entries written so far
    size_t totalEntries;
    uint64_t bytes;              // uncompressed bytes of the entries written
    uint64_t totalBytes;
};

struct WriteOptions {
    std::string output;          // package path, volume 0 (Setup.exe)
    std::string module;          // install module file: exactly NVR_MODULE_LENGTH bytes
    uint32_t volumeLength = 0;   // 0: one volume; else at least NVR_MIN_VOLUME_LENGTH
    int level = kDefaultLevel;   // kMinLevel..MaxLevel()
    unsigned jobs = 0;           // compressing threads; 0: one per core
    // Called on the writing thread after each entry and while a large file
    // streams; may be empty.
    std::function<void(const WriteProgress &)> progress;
};

struct WriteResult {
    unsigned volumes;            // volume files written
    uint64_t length;             // bytes in all volumes together
    std::vector<std::string> files;   // volume paths, volume 0 first
};

// Writes the package described by plan. Entries are compressed independently
// on options.jobs threads (files up to WholeEntryLimit() in one piece, larger
// ones streamed by the writing thread) and written in plan order, so the
// bytes do not depend on the number of threads. Throws PackError (and
// removes every temporary file) when the module is not NVR_MODULE_LENGTH
// bytes, a file cannot be read or changed size since planning, the package
// would need more than NVR_MAX_VOLUMES volumes or exceed 4 GiB - 1 bytes, or
// writing fails.
WriteResult WritePackage(const PackagePlan &plan, const WriteOptions &options);

// Reads the install module and checks its length. Throws PackError.
std::vector<uint8_t> ReadModule(const std::string &path);

}  // namespace nvrpack

#endif
