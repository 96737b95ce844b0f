// extract.h -- `nvrpack extract`: writes every entry of a package as a file
// below a folder ("IFII" as setup.ini, "Src\a\b" as Src/a/b, "DLLn" as DLLn,
// folder entries as folders). Never writes outside that folder: names that
// would leave it are refused before anything is written for them.
#ifndef NVRPACK_EXTRACT_H
#define NVRPACK_EXTRACT_H

#include <cstdint>
#include <ostream>
#include <string>

namespace nvrpack {

// The file name, relative to the extraction folder and '/'-separated, of an
// entry name; throws PackError for a name that could leave the folder or is
// not one of the three kinds ("IFII", "Src\...", "DLLn").
std::string ExtractName(const std::string &entryName);

// Extracts the package at path into folder (created when missing), checking
// every entry's data as verify does and giving each file its entry's time.
// A file whose data fails its check is removed. Writes a one-line summary to
// out; returns the entry count. Throws PackError naming the entry and volume
// file at the first problem.
uint32_t ExtractPackage(const std::string &path, const std::string &folder, std::ostream &out);

}  // namespace nvrpack

#endif
