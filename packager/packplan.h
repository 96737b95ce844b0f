// packplan.h -- turns a description into the ordered list of package entries
// and the install information text. Reads folder listings and file sizes and
// times; must not read file contents (the writer does, once).
//
// Entry order (fixed, so equal input gives equal output):
//   1. "IFII", the install information text;
//   2. the source entries "Src\<path>", sorted by the bytes of their names
//      (unsigned byte order, as memcmp compares; a folder entry "Src\A\" sorts
//      where its name falls, like any other name);
//   3. "DLL1" .. "DLLn" in number order.
#ifndef NVRPACK_PACKPLAN_H
#define NVRPACK_PACKPLAN_H

#include <cstdint>
#include <string>
#include <vector>

#include "description.h"

namespace nvrpack {

enum class EntryKind {
    Info,     // the install information text (PackagePlan::info)
    File,     // a file's contents
    Folder,   // an empty folder: no data
};

struct PlanEntry {
    std::string name;        // entry name in the package, at most 255 bytes
    EntryKind kind;
    std::string localPath;   // File: the file to pack
    uint64_t size;           // bytes of data (File: size when planned)
    uint32_t time;           // FAT local date << 16 | time
};

struct PackagePlan {
    std::vector<PlanEntry> entries;   // in package order
    std::string info;                 // text of the "IFII" entry
    uint32_t spaceNeeded;             // value written as SpaceNeeded
};

struct PlanOptions {
    bool fixedTime = false;   // true: every entry carries time (SOURCE_DATE_EPOCH)
    uint32_t time = 0;        // FAT date << 16 | time
};

// Builds the plan: walks [Source] Folder and the [Files] trees, checks every
// name (length, "..", characters, two names Windows would see as one), stats
// every file, totals the sizes (at most 4 GiB - 1) and writes the install
// information text. With options.fixedTime every entry's time is
// options.time instead of the file's. Throws PackError.
PackagePlan PlanPackage(const Description &description, const PlanOptions &options = PlanOptions());

// The "IFII" text for a description: [General] Title, Language,
// DefInstallFolder (when given), SpaceNeeded; [DLLFiles] DLL1..n when there
// are DLLs. CRLF line ends; values copied byte for byte.
std::string InstallInfoText(const Description &description, uint32_t spaceNeeded);

// Last-write time of a file as FAT local time. Throws PackError when the
// file cannot be examined.
uint32_t FileFatTime(const std::string &path);

}  // namespace nvrpack

#endif
