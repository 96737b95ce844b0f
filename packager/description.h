// description.h -- the package description: an INI-style text that names the
// install information keys and where every file to pack comes from. Parsing
// only checks and collects; it reads no file other than the description.
//
//   [General]    Title (required), Language, DefInstallFolder, SpaceNeeded
//   [Source]     Folder = tree installed below the install folder
//   [Files]      install\path = local file; install\folder\ = local tree or
//                nothing (an empty folder)
//   [DLLFiles]   DLL1 = target,mode,removal,shared,register,typelib (copied)
//   [DLLSources] DLL1 = local file that becomes entry DLL1
// Relative local paths start at the description's folder. Values are bytes,
// copied unchanged (a Korean title stays in CP949).
#ifndef NVRPACK_DESCRIPTION_H
#define NVRPACK_DESCRIPTION_H

#include <cstdint>
#include <string>
#include <vector>

namespace nvrpack {

// One [Files] line.
struct FileMapping {
    std::string installPath;   // relative, '\' separated, checked; a folder ends with '\'
    std::string localPath;     // resolved local path; empty for a bare folder
    int line;                  // line in the description, for messages
};

struct Description {
    std::string path;             // the description file, for messages
    std::string title;            // [General] Title, as written
    long language = 0;            // [General] Language; 0 Korean, other English
    bool hasDefInstallFolder = false;
    std::string defInstallFolder;
    bool hasSpaceNeeded = false;  // false: computed from the file sizes
    uint32_t spaceNeeded = 0;
    std::string sourceFolder;     // resolved [Source] Folder; empty when absent
    std::vector<FileMapping> files;
    std::vector<std::string> dllLines;    // [DLLFiles] DLL1.. in order
    std::vector<std::string> dllSources;  // resolved [DLLSources] DLL1.. in order
};

// Parses description text. name prefixes messages ("name:line: ..."), baseDir
// is where relative local paths start. Throws PackError on the first problem.
Description ParseDescription(const std::string &text, const std::string &name, const std::string &baseDir);

// Reads and parses the description file at path. Throws PackError.
Description LoadDescription(const std::string &path);

// Checks an install path relative to the install folder ('\' or '/'
// separated; a trailing separator marks a folder) and returns it with '\'
// separators. Throws PackError (prefixed by where) when it is empty, absolute,
// holds "." or ".." or an empty part, or a character Windows cannot store in a
// file name.
std::string CheckInstallPath(const std::string &path, const std::string &where);

// Upper-cases ASCII letters, leaving both bytes of a CP949 double-byte
// character alone: the key under which Windows sees two names as the same.
std::string FoldName(const std::string &name);

}  // namespace nvrpack

#endif
