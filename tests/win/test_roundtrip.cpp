// test_roundtrip.cpp -- packages written by nvrpack (natively, by the .prep
// script) read back entry by entry by the module's reader under Wine: every
// byte, version pair and time as the files on disk have them, across volume
// files of several lengths and at the lowest and highest compression level
// (whole and streamed entries alike).
#include <gtest/gtest.h>
#include <map>
#include <set>
#include "package/format.h"
#include "package/reader.h"
#include "tests/win/uidriver.h"

using namespace uidriver;

namespace {

struct Expected {
    std::string bytes;
    DWORD modTime;
    DWORD versionHigh;
    DWORD versionLow;
};

// Last-write time of a file as local FAT date << 16 | time, the way the
// packager must have stored it.
DWORD LocalFatTime(const FILETIME &ft)
{
    FILETIME local;
    WORD date = 0, time = 0;
    FileTimeToLocalFileTime(&ft, &local);
    FileTimeToDosDateTime(&local, &date, &time);
    return (DWORD)date << 16 | time;
}

void VersionOf(const std::string &path, DWORD *high, DWORD *low)
{
    *high = *low = NVR_NO_VERSION;
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    if (size == 0)
        return;
    std::string block(size, '\0');
    VS_FIXEDFILEINFO *info = NULL;
    UINT len = 0;
    if (GetFileVersionInfoA(path.c_str(), 0, size, &block[0]) &&
        VerQueryValueA(&block[0], "\\", reinterpret_cast<void **>(&info), &len) && info) {
        *high = info->dwFileVersionMS;
        *low = info->dwFileVersionLS;
    }
}

// Walks the source tree: files by their entry names, and the empty folders.
void Walk(const std::string &dir, const std::string &rel, std::map<std::string, Expected> *files,
          std::set<std::string> *emptyFolders)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    ASSERT_NE(INVALID_HANDLE_VALUE, h);
    bool empty = true;
    do {
        std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        empty = false;
        std::string path = dir + "\\" + name;
        std::string entry = rel.empty() ? name : rel + "\\" + name;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            Walk(path, entry, files, emptyFolders);
        } else {
            Expected e;
            e.bytes = ReadFileBytes(path);
            e.modTime = LocalFatTime(fd.ftLastWriteTime);
            VersionOf(path, &e.versionHigh, &e.versionLow);
            (*files)["Src\\" + entry] = e;
        }
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    if (empty && !rel.empty())
        emptyFolders->insert("Src\\" + rel + "\\");
}

int g_highestVolume;   // highest volume the reader asked for

int CountVolumes(int volume)
{
    if (volume > g_highestVolume)
        g_highestVolume = volume;
    return 0;
}

class RoundTrip : public ::testing::TestWithParam<const char *> {
protected:
    static void SetUpTestSuite()
    {
        ASSERT_FALSE(TestData().empty());
        Walk(TestData() + "\\tree", "", &files_, &emptyFolders_);
        ASSERT_GE(files_.size(), 1000u);
        ASSERT_FALSE(emptyFolders_.empty());
    }
    static std::map<std::string, Expected> files_;
    static std::set<std::string> emptyFolders_;
};
std::map<std::string, Expected> RoundTrip::files_;
std::set<std::string> RoundTrip::emptyFolders_;

TEST_P(RoundTrip, EveryEntryReadsBackAsPacked)
{
    std::string package = TestData() + "\\" + GetParam() + "\\Setup.exe";
    g_highestVolume = 0;
    SetVolumeCallback(CountVolumes);
    PackageReader *reader = OpenPackage(package.c_str(), NVR_MODULE_LENGTH);
    ASSERT_TRUE(reader != NULL) << package;

    EntryInfo info;
    ASSERT_EQ(0, GetEntryInfo(reader, &info));
    EXPECT_STREQ(NVR_INFO_ENTRY_NAME, info.name);

    std::set<std::string> seenFiles, seenFolders;
    std::string data(NVR_IO_CHUNK, '\0');
    int rc;
    while ((rc = NextEntry(reader)) == 0) {
        ASSERT_EQ(0, GetEntryInfo(reader, &info));
        std::string name = info.name;
        if (!name.empty() && name.back() == '\\') {
            EXPECT_TRUE(emptyFolders_.count(name)) << name;
            seenFolders.insert(name);
            continue;   // a folder entry is skipped unread
        }
        auto it = files_.find(name);
        ASSERT_TRUE(it != files_.end()) << "unexpected entry " << name;
        const Expected &e = it->second;
        EXPECT_EQ(e.bytes.size(), info.uncompressed) << name;
        EXPECT_EQ(e.modTime, info.modTime) << name;
        EXPECT_EQ(e.versionHigh, info.versionHigh) << name;
        EXPECT_EQ(e.versionLow, info.versionLow) << name;

        std::string got;
        ASSERT_EQ(0, BeginEntry(reader)) << name;
        int n;
        while ((n = ReadEntry(reader, &data[0], NVR_IO_CHUNK)) > 0)
            got.append(data, 0, n);
        ASSERT_EQ(0, n) << name;
        ASSERT_EQ(0, EndEntry(reader)) << name;
        EXPECT_TRUE(got == e.bytes) << "content differs: " << name;
        seenFiles.insert(name);
    }
    EXPECT_EQ(-2, rc);
    EXPECT_EQ(files_.size(), seenFiles.size());
    EXPECT_EQ(emptyFolders_.size(), seenFolders.size());
    EXPECT_EQ(PackageVolumeCount(reader) - 1, g_highestVolume);
    ClosePackage(reader);
}

INSTANTIATE_TEST_SUITE_P(VolumeLengths, RoundTrip,
                         ::testing::Values("single", "floppy", "odd51219", "odd51235", "fastest",
                                           "max", "streamed"));

}  // namespace
