// volumename.cpp -- volume file names (see volumename.h).
#include "volumename.h"

#include <cstdio>

#include "package/format.h"

namespace nvrpack {

static const size_t kExtensionSize = 16;   // ".255" and NUL, with room

std::string VolumePath(const std::string &packagePath, unsigned k)
{
    if (k == 0)
        return packagePath;
    size_t dot = packagePath.find_last_of('.');
    size_t sep = packagePath.find_last_of("/\\:");
    if (dot == std::string::npos || (sep != std::string::npos && sep > dot))
        return std::string();
    char ext[kExtensionSize];
    std::snprintf(ext, sizeof ext, NVR_VOLUME_EXT_FORMAT, k);
    return packagePath.substr(0, dot) + ext;
}

std::string BaseName(const std::string &path)
{
    size_t sep = path.find_last_of("/\\");
    return sep == std::string::npos ? path : path.substr(sep + 1);
}

}  // namespace nvrpack
