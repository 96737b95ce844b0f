// extract.cpp -- extraction of a package into a folder (see extract.h). Must
// not trust entry names: each is checked like an install path before use.
#include "extract.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "description.h"
#include "fattime.h"
#include "package/format.h"
#include "packerror.h"
#include "packread.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace nvrpack {

namespace {

const char kInfoFileName[] = "setup.ini";
const char kDllPrefix[] = "DLL";

bool IsDllName(const std::string &name)
{
    size_t prefix = sizeof kDllPrefix - 1;
    if (name.size() <= prefix || name.compare(0, prefix, kDllPrefix) != 0 || name[prefix] == '0')
        return false;
    return name.find_first_not_of("0123456789", prefix) == std::string::npos;
}

// Writes one file entry; removes the file when its data is bad.
void ExtractFile(PackageInput &input, const EntryHeader &e, const fs::path &target)
{
    fs::create_directories(target.parent_path());
    {
        std::ofstream file(target, std::ios::binary | std::ios::trunc);
        if (!file)
            throw PackError("cannot create " + target.string() + ": " + std::strerror(errno));
        try {
            input.ReadData(e, [&](const uint8_t *data, size_t count) {
                file.write(reinterpret_cast<const char *>(data), std::streamsize(count));
                if (!file)
                    throw PackError("cannot write " + target.string() + " (disk full?)");
            });
            file.close();
            if (file.fail())
                throw PackError("cannot write " + target.string());
        } catch (...) {
            file.close();
            std::error_code ec;
            fs::remove(target, ec);
            throw;
        }
    }
    std::time_t when = TimeFromFat(e.time);
    if (when != std::time_t(-1))
        SetFileTime(target.string(), when);
}

}  // namespace

std::string ExtractName(const std::string &name)
{
    const std::string prefix = NVR_SOURCE_PREFIX;
    if (name == NVR_INFO_ENTRY_NAME)
        return kInfoFileName;
    if (IsDllName(name))
        return name;
    if (name.compare(0, prefix.size(), prefix) != 0 || name.size() == prefix.size())
        throw PackError("entry \"" + name + "\" is none of IFII, Src\\..., DLLn: not extracted");
    std::string rel = CheckInstallPath(name.substr(prefix.size()), "entry \"" + name + "\": ");
    for (char &c : rel) {
        if (c == '\\')
            c = '/';
    }
    return "Src/" + rel;
}

uint32_t ExtractPackage(const std::string &path, const std::string &folder, std::ostream &out)
{
    PackageInput input(path);
    const PackageHeader &h = input.Header();
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder))
        throw PackError("cannot create folder " + folder + (ec ? ": " + ec.message() : std::string()));
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < h.entryCount; i++) {
        EntryHeader e = input.NextEntry();
        fs::path target = fs::path(folder) / fs::path(ExtractName(e.name));
        if (!e.name.empty() && e.name.back() == '\\') {
            fs::create_directories(target, ec);
            if (ec)
                throw PackError("cannot create folder " + target.string() + ": " + ec.message());
            input.SkipData(e);
            continue;
        }
        ExtractFile(input, e, target);
        bytes += e.uncompressed;
    }
    out << input.VolumeName(0) << ": " << h.entryCount << (h.entryCount == 1 ? " entry, " : " entries, ") << bytes
        << " bytes extracted to " << folder << "\n";
    return h.entryCount;
}

}  // namespace nvrpack
