// packplan.cpp -- walks the source trees and orders the entries (see
// packplan.h). Must not open files for reading: sizes and times only.
#include "packplan.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "fattime.h"
#include "package/format.h"
#include "packerror.h"
#include "platform.h"

namespace fs = std::filesystem;

namespace nvrpack {

namespace {

const char kSourcePrefix[] = NVR_SOURCE_PREFIX;
const char kCrLf[] = "\r\n";
const size_t kDllNameSize = 16;   // "DLL" + 10 digits + NUL

// Adds one source entry after checking its name's length.
void AddSource(std::vector<PlanEntry> *out, const std::string &installPath, EntryKind kind,
               const std::string &local, uint64_t size, const std::string &where)
{
    std::string name = kSourcePrefix + installPath;
    if (name.size() > NVR_MAX_NAME_LENGTH)
        throw PackError(where + "entry name \"" + name + "\" is " + std::to_string(name.size()) +
                        " bytes; at most " + std::to_string(NVR_MAX_NAME_LENGTH) + " fit");
    uint32_t time = kind == EntryKind::File ? FileFatTime(local) : kFatTimeMin;
    out->push_back(PlanEntry{name, kind, local, size, time});
}

uint64_t SizeOf(const fs::path &file)
{
    std::error_code ec;
    uintmax_t size = fs::file_size(file, ec);
    if (ec)
        throw PackError("cannot read the size of " + file.string() + ": " + ec.message());
    return size;
}

// Adds every file below dir (install paths start with prefix, which is empty
// or ends with '\'); an empty folder other than the root of a [Source] tree
// becomes a folder entry.
void Walk(const fs::path &dir, const std::string &prefix, std::vector<PlanEntry> *out)
{
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        children.push_back(it->path());
    if (ec)
        throw PackError("cannot list folder " + dir.string() + ": " + ec.message());
    if (children.empty() && !prefix.empty())
        AddSource(out, prefix, EntryKind::Folder, dir.string(), 0, "");
    for (const fs::path &child : children) {
        std::string name = child.filename().string();
        std::string where = child.string() + ": ";
        if (name.find('\\') != std::string::npos)
            throw PackError(where + "a file name with '\\' cannot be installed");
        std::string installPath = CheckInstallPath(prefix + name, where);
        fs::file_status link = fs::symlink_status(child, ec);
        fs::file_status target = fs::status(child, ec);
        if (ec)
            throw PackError(where + ec.message());
        if (fs::is_directory(target)) {
            if (fs::is_symlink(link))
                throw PackError(where + "symbolic links to folders are not followed; copy the folder instead");
            Walk(child, installPath + "\\", out);
        } else if (fs::is_regular_file(target)) {
            AddSource(out, installPath, EntryKind::File, child.string(), SizeOf(child), "");
        } else {
            throw PackError(where + "not a regular file or folder");
        }
    }
}

void CheckIsFolder(const std::string &path, const std::string &where)
{
    std::error_code ec;
    fs::file_status st = fs::status(path, ec);
    if (!fs::exists(st))
        throw PackError(where + "folder " + path + " does not exist");
    if (!fs::is_directory(st))
        throw PackError(where + path + " is not a folder");
}

// Adds the entries of one [Files] line.
void AddMapping(const FileMapping &m, const std::string &descriptionName, std::vector<PlanEntry> *out)
{
    std::string where = descriptionName + ":" + std::to_string(m.line) + ": ";
    bool folder = m.installPath.back() == '\\';
    if (folder && m.localPath.empty()) {
        AddSource(out, m.installPath, EntryKind::Folder, "", 0, where);
    } else if (folder) {
        CheckIsFolder(m.localPath, where);
        Walk(m.localPath, m.installPath, out);
    } else {
        std::error_code ec;
        fs::file_status st = fs::status(m.localPath, ec);
        if (!fs::exists(st))
            throw PackError(where + "file " + m.localPath + " does not exist");
        if (fs::is_directory(st))
            throw PackError(where + m.localPath + " is a folder (end the install path with '\\' to pack a tree)");
        if (!fs::is_regular_file(st))
            throw PackError(where + m.localPath + " is not a regular file");
        AddSource(out, m.installPath, EntryKind::File, m.localPath, SizeOf(m.localPath), where);
    }
}

// Sorts the source entries by name bytes, merges repeated folder entries and
// refuses names that Windows would take for one another.
void OrderSources(std::vector<PlanEntry> *sources)
{
    std::stable_sort(sources->begin(), sources->end(),
                     [](const PlanEntry &a, const PlanEntry &b) { return a.name < b.name; });
    std::map<std::string, const PlanEntry *> byFolded;
    std::set<std::string> folders;   // folded "SRC\A\" for every folder some entry lies in
    std::vector<PlanEntry> kept;
    for (const PlanEntry &e : *sources) {
        std::string folded = FoldName(e.name);
        auto it = byFolded.find(folded);
        if (it != byFolded.end()) {
            if (e.kind == EntryKind::Folder && it->second->kind == EntryKind::Folder)
                continue;
            throw PackError("\"" + it->second->name + "\" and \"" + e.name +
                            "\" would be the same file on Windows (names differ only in letter case, or repeat)");
        }
        byFolded[folded] = &e;
        for (size_t sep = folded.find('\\', sizeof kSourcePrefix - 1); sep != std::string::npos && sep + 1 < folded.size();
             sep = folded.find('\\', sep + 1))
            folders.insert(folded.substr(0, sep + 1));
        kept.push_back(e);
    }
    for (const PlanEntry &e : kept) {
        if (e.kind == EntryKind::File && folders.count(FoldName(e.name) + "\\"))
            throw PackError("\"" + e.name + "\" is a file, but other entries use it as a folder");
    }
    *sources = kept;
}

std::string DllName(size_t number)
{
    char name[kDllNameSize];
    std::snprintf(name, sizeof name, NVR_DLL_ENTRY_FORMAT, int(number));
    return name;
}

}  // namespace

uint32_t FileFatTime(const std::string &path)
{
    std::time_t when;
    if (!GetFileTime(path, &when))
        throw PackError("cannot read the time of " + path + ": " + std::strerror(errno));
    return FatTimeFromTime(when);
}

std::string InstallInfoText(const Description &d, uint32_t spaceNeeded)
{
    std::string t;
    t += std::string("[") + NVR_INFO_SECTION_GENERAL + "]" + kCrLf;
    t += std::string(NVR_INFO_KEY_TITLE) + "=" + d.title + kCrLf;
    t += std::string(NVR_INFO_KEY_LANGUAGE) + "=" + std::to_string(d.language) + kCrLf;
    if (d.hasDefInstallFolder)
        t += std::string(NVR_INFO_KEY_DEF_FOLDER) + "=" + d.defInstallFolder + kCrLf;
    // The module reads numbers as signed 32-bit and uses this one unsigned:
    // the signed text carries every 32-bit value exactly.
    t += std::string(NVR_INFO_KEY_SPACE) + "=" + std::to_string(int32_t(spaceNeeded)) + kCrLf;
    if (!d.dllLines.empty()) {
        t += std::string("[") + NVR_INFO_SECTION_DLLS + "]" + kCrLf;
        for (size_t i = 0; i < d.dllLines.size(); i++)
            t += DllName(i + 1) + "=" + d.dllLines[i] + kCrLf;
    }
    return t;
}

PackagePlan PlanPackage(const Description &d, const PlanOptions &options)
{
    std::vector<PlanEntry> sources;
    if (!d.sourceFolder.empty()) {
        CheckIsFolder(d.sourceFolder, d.path + ": [Source] ");
        Walk(d.sourceFolder, "", &sources);
    }
    for (const FileMapping &m : d.files)
        AddMapping(m, d.path, &sources);
    OrderSources(&sources);

    std::vector<PlanEntry> dlls;
    for (size_t i = 0; i < d.dllSources.size(); i++) {
        std::string where = d.path + ": [DLLSources] " + DllName(i + 1) + ": ";
        std::error_code ec;
        if (!fs::is_regular_file(d.dllSources[i], ec))
            throw PackError(where + "file " + d.dllSources[i] + " does not exist or is not a regular file");
        dlls.push_back(PlanEntry{DllName(i + 1), EntryKind::File, d.dllSources[i], SizeOf(d.dllSources[i]),
                                 FileFatTime(d.dllSources[i])});
    }

    uint64_t total = 0;
    for (const std::vector<PlanEntry> *list : {&sources, &dlls}) {
        for (const PlanEntry &e : *list)
            total += e.size;
    }
    if (total > UINT32_MAX)
        throw PackError("the files total " + std::to_string(total) +
                        " bytes; a package holds at most 4294967295 (4 GiB - 1)");

    PackagePlan plan;
    plan.spaceNeeded = d.hasSpaceNeeded ? d.spaceNeeded : uint32_t(total);
    plan.info = InstallInfoText(d, plan.spaceNeeded);
    // The information entry carries the description's time (none for a
    // description that is not a file, as in tests).
    uint32_t infoTime = kFatTimeMin;
    try {
        infoTime = FileFatTime(d.path);
    } catch (const PackError &) {
    }
    plan.entries.push_back(PlanEntry{NVR_INFO_ENTRY_NAME, EntryKind::Info, "", plan.info.size(), infoTime});
    plan.entries.insert(plan.entries.end(), sources.begin(), sources.end());
    plan.entries.insert(plan.entries.end(), dlls.begin(), dlls.end());
    if (options.fixedTime) {
        for (PlanEntry &e : plan.entries)
            e.time = options.time;
    }
    return plan;
}

}  // namespace nvrpack
