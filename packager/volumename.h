// volumename.h -- names of a package's volume files. Pure string work; must
// not touch the file system.
#ifndef NVRPACK_VOLUMENAME_H
#define NVRPACK_VOLUMENAME_H

#include <string>

namespace nvrpack {

// Path of volume k of the package at packagePath: k = 0 is the package
// itself; k >= 1 replaces the extension (the text from the last '.' after
// the last '/', '\' or ':') by NVR_VOLUME_EXT_FORMAT of k, as the install
// module does (Setup.exe -> Setup.001). Returns an empty string for k >= 1
// when the name has no extension: the module could not find such volumes.
std::string VolumePath(const std::string &packagePath, unsigned k);

// The file-name part of a path, for messages ("Setup.002").
std::string BaseName(const std::string &path);

}  // namespace nvrpack

#endif
