// packwriter.h -- writes a package (module, package header, entries) from a
// plan, cut into volume files by position. Writes only temporary files beside
// the output and renames them at the end: a failed build leaves nothing.
#ifndef NVRPACK_PACKWRITER_H
#define NVRPACK_PACKWRITER_H

#include <cstdint>
#include <string>
#include <vector>

#include "packplan.h"

namespace nvrpack {

struct WriteOptions {
    std::string output;          // package path, volume 0 (Setup.exe)
    std::string module;          // install module file: exactly NVR_MODULE_LENGTH bytes
    uint32_t volumeLength = 0;   // 0: one volume; else at least NVR_MIN_VOLUME_LENGTH
    int level = 9;               // zlib compression level 0..9
};

struct WriteResult {
    unsigned volumes;            // volume files written
    uint64_t length;             // bytes in all volumes together
    std::vector<std::string> files;   // volume paths, volume 0 first
};

// Writes the package described by plan. Each entry's data is raw deflate
// (window bits -15, memory level 8) of the file, read in chunks; its CRC-32
// and lengths are patched into its header afterwards. Throws PackError (and
// removes every temporary file) when the module is not NVR_MODULE_LENGTH
// bytes, a file cannot be read or changed size since planning, the package
// would need more than NVR_MAX_VOLUMES volumes or exceed 4 GiB - 1 bytes, or
// writing fails.
WriteResult WritePackage(const PackagePlan &plan, const WriteOptions &options);

// Reads the install module and checks its length. Throws PackError.
std::vector<uint8_t> ReadModule(const std::string &path);

}  // namespace nvrpack

#endif
