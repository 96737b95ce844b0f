// test_reader.cpp -- package reader tests: volume cuts anywhere, reading and
// skipping across volumes, damaged and truncated packages, ReplaceExtension.
//
// Packages come from the test-side writer (pkgwriter.h) into a fresh folder
// per test below NVR_TEST_DATA or the temporary folder; nothing else is touched.
#include <gtest/gtest.h>
#include "package/reader.h"
#include "package/format.h"
#include "setupinfo/toolkit.h"
#include "tests/win/pkgwriter.h"

namespace {

using pkgw::Bytes;

std::vector<int> g_calls;   // volume indexes the callback was asked for, in order
int g_refuse;               // volume index the callback refuses; 0: none

int RecordVolume(int volume)
{
    g_calls.push_back(volume);
    return volume == g_refuse ? 1 : 0;
}

std::string BaseFolder()
{
    char buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NVR_TEST_DATA", buffer, sizeof buffer);
    if (!n || n >= sizeof buffer) GetTempPathA(sizeof buffer, buffer);
    std::string base = buffer;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    return base;
}

void RemoveFolder(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do DeleteFileA((dir + "\\" + found.cFileName).c_str());
        while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

struct Outcome {
    int read;      // last ReadEntry result (0 = finished), or -1 from BeginEntry
    int end;       // EndEntry result
    Bytes data;    // what ReadEntry delivered
};

// Extracts the current entry in chunks of `chunk` bytes.
Outcome Extract(PackageReader *reader, DWORD chunk = NVR_IO_CHUNK)
{
    Outcome o{-1, -1, {}};
    if (BeginEntry(reader) != 0) return o;
    std::vector<unsigned char> buffer(chunk + 1);
    while ((o.read = ReadEntry(reader, buffer.data(), chunk)) > 0)
        o.data.insert(o.data.end(), buffer.begin(), buffer.begin() + o.read);
    o.end = EndEntry(reader);
    return o;
}

std::string Name(PackageReader *reader)
{
    EntryInfo info{};
    return GetEntryInfo(reader, &info) == 0 ? info.name : "<failed>";
}

class ReaderTest : public ::testing::Test {
protected:
    std::string dir, path;
    Bytes bytes;

    void SetUp() override
    {
        static int serial;
        dir = BaseFolder() + "\\nvr_reader_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++serial);
        CreateDirectoryA(dir.c_str(), NULL);
        path = dir + "\\Setup.exe";
        SetVolumeCallback(RecordVolume);
        g_calls.clear();
        g_refuse = 0;
    }
    void TearDown() override { RemoveFolder(dir); }

    // Builds w with volume length L, writes the volume files, opens the package.
    PackageReader *Open(pkgw::Writer &w, uint32_t L = 0)
    {
        bytes = w.Build(L);
        pkgw::Writer::WriteVolumes(path, bytes, L);
        g_calls.clear();
        return OpenPackage(path.c_str(), NVR_MODULE_LENGTH);
    }

    // IFII, one big incompressible source entry that spans volumes 0 to 3
    // with volume length kSpanLength, and DLL1 whose header lies in volume 3.
    static constexpr uint32_t kSpanLength = 60000;
    pkgw::Writer Spanning()
    {
        pkgw::Writer w;
        w.Add("IFII", pkgw::TextBytes(300, 1));
        w.Add("Src\\Big.bin", pkgw::RandomBytes(150000, 2));
        w.Add("DLL1", pkgw::TextBytes(5000, 3));
        return w;
    }
};

TEST_F(ReaderTest, CutAnywhereIsReadAndSkippedWhole)
{
    pkgw::Writer w;
    w.Add("IFII", pkgw::TextBytes(400, 4)).modTime = 0x12345678;
    pkgw::Entry &src = w.Add("Src\\Docs\\Readme.txt", pkgw::TextBytes(6000, 5));
    src.versionHigh = 0x00020003;
    src.versionLow = 0x00040005;
    w.Add("DLL1", pkgw::RandomBytes(2500, 6));
    w.Build();
    const size_t package = NVR_MODULE_LENGTH;
    const pkgw::Where e0 = w.where[0], e1 = w.where[1];
    struct Cut { const char *what; size_t at; } cuts[] = {
        {"package header: volume count opens volume 1", package + NVR_PH_VOLUME_COUNT},
        {"package header: inside the entry count", package + NVR_PH_ENTRY_COUNT + 2},
        {"first entry header opens volume 1", e0.header},
        {"inside the magic", e1.header + NVR_EH_MAGIC + 2},
        {"inside the uncompressed length", e1.header + NVR_EH_UNCOMPRESSED + 1},
        {"inside the compressed length", e1.header + NVR_EH_COMPRESSED + 3},
        {"inside the CRC", e1.header + NVR_EH_CRC + 2},
        {"inside the time", e1.header + NVR_EH_TIME + 1},
        {"inside version high", e1.header + NVR_EH_VERSION_HIGH + 2},
        {"inside version low", e1.header + NVR_EH_VERSION_LOW + 3},
        {"name length opens volume 1", e1.header + NVR_EH_NAME_LENGTH},
        {"name opens volume 1", e1.name},
        {"inside the name", e1.name + 5},
        {"data opens volume 1", e1.data},
        {"inside the data", e1.data + 7},
        {"data ends at the boundary", e1.end},
    };
    for (const Cut &cut : cuts) {
        SCOPED_TRACE(cut.what);
        PackageReader *reader = Open(w, (uint32_t)cut.at);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(PackageVolumeCount(reader), 2);
        EXPECT_EQ(PackageEntryCount(reader), 3u);
        EXPECT_EQ(PackageVolumeLength(reader), cut.at);
        for (size_t i = 0; i < w.entries.size(); i++) {
            EntryInfo info{};
            ASSERT_EQ(GetEntryInfo(reader, &info), 0) << i;
            EXPECT_EQ(info.name, w.entries[i].name);
            EXPECT_EQ(info.uncompressed, w.entries[i].data.size());
            EXPECT_EQ(info.modTime, w.entries[i].modTime);
            EXPECT_EQ(info.versionHigh, w.entries[i].versionHigh);
            EXPECT_EQ(info.versionLow, w.entries[i].versionLow);
            Outcome o = Extract(reader, 1000);
            EXPECT_EQ(o.read, 0);
            EXPECT_EQ(o.end, 0);
            EXPECT_TRUE(o.data == w.entries[i].data) << i;
            EXPECT_EQ(NextEntry(reader), i + 1 < w.entries.size() ? 0 : -2);
        }
        EXPECT_EQ(g_calls, std::vector<int>{1});
        ClosePackage(reader);

        // The same package walked without reading, then the last entry read.
        reader = Open(w, (uint32_t)cut.at);
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(NextEntry(reader), 0);
        EXPECT_EQ(NextEntry(reader), 0);
        EXPECT_EQ(Name(reader), "DLL1");
        EXPECT_TRUE(Extract(reader).data == w.entries[2].data);
        EXPECT_EQ(g_calls, std::vector<int>{1});
        ClosePackage(reader);
    }
}

TEST_F(ReaderTest, DataSpanningVolumesIsReadInAnyChunkSize)
{
    pkgw::Writer w = Spanning();
    for (DWORD chunk : {1u, 777u, NVR_IO_CHUNK, 3 * NVR_IO_CHUNK + 5}) {
        SCOPED_TRACE(chunk);
        PackageReader *reader = Open(w, kSpanLength);
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(PackageVolumeCount(reader), 4);
        ASSERT_EQ(NextEntry(reader), 0);
        Outcome o = Extract(reader, chunk);
        EXPECT_EQ(o.read, 0);
        EXPECT_EQ(o.end, 0);
        EXPECT_TRUE(o.data == w.entries[1].data);
        EXPECT_EQ(g_calls, (std::vector<int>{1, 2, 3}));
        ASSERT_EQ(NextEntry(reader), 0);
        EXPECT_EQ(Name(reader), "DLL1");
        EXPECT_TRUE(Extract(reader).data == w.entries[2].data);
        EXPECT_EQ(g_calls, (std::vector<int>{1, 2, 3}));
        ClosePackage(reader);
    }
}

TEST_F(ReaderTest, SkipAsksOnlyForTheVolumeOfTheNextHeader)
{
    pkgw::Writer w = Spanning();
    PackageReader *reader = Open(w, kSpanLength);
    ASSERT_NE(reader, nullptr);
    ASSERT_EQ(NextEntry(reader), 0);
    // Volumes 1 and 2 hold nothing but Big.bin's data: a skip must not need them.
    DeleteFileA(pkgw::Writer::VolumePath(path, 1).c_str());
    DeleteFileA(pkgw::Writer::VolumePath(path, 2).c_str());
    ASSERT_EQ(NextEntry(reader), 0);
    EXPECT_EQ(g_calls, std::vector<int>{3});
    EXPECT_EQ(Name(reader), "DLL1");
    Outcome o = Extract(reader);
    EXPECT_EQ(o.end, 0);
    EXPECT_TRUE(o.data == w.entries[2].data);
    EXPECT_EQ(NextEntry(reader), -2);
    ClosePackage(reader);
}

TEST_F(ReaderTest, SkipAfterReadingHalfway)
{
    pkgw::Writer w = Spanning();
    for (uint32_t L : {0u, kSpanLength}) {
        SCOPED_TRACE(L);
        PackageReader *reader = Open(w, L);
        ASSERT_NE(reader, nullptr);
        ASSERT_EQ(NextEntry(reader), 0);
        ASSERT_EQ(BeginEntry(reader), 0);
        std::vector<unsigned char> buffer(20000);
        ASSERT_EQ(ReadEntry(reader, buffer.data(), (DWORD)buffer.size()), 20000);
        EntryInfo info{};
        ASSERT_EQ(GetEntryInfo(reader, &info), 0);
        EXPECT_EQ(info.uncompressed, 150000u - 20000u);
        ASSERT_EQ(NextEntry(reader), 0);
        EXPECT_EQ(g_calls, (L ? std::vector<int>{1, 3} : std::vector<int>{}));
        EXPECT_EQ(Name(reader), "DLL1");
        Outcome o = Extract(reader);
        EXPECT_EQ(o.end, 0);
        EXPECT_TRUE(o.data == w.entries[2].data);
        ClosePackage(reader);
    }
}

TEST_F(ReaderTest, SingleEntryPackage)
{
    pkgw::Writer w;
    w.Add("IFII", pkgw::TextBytes(1000, 7));
    w.Add("Src\\Unreachable.txt", pkgw::TextBytes(10, 8));
    w.entryCount = 1;
    PackageReader *reader = Open(w);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(Name(reader), "IFII");
    EXPECT_TRUE(Extract(reader).data == w.entries[0].data);
    EXPECT_EQ(NextEntry(reader), -2);
    EXPECT_EQ(NextEntry(reader), -2);
    EXPECT_EQ(NextEntry(reader), -2);
    ClosePackage(reader);
}

TEST_F(ReaderTest, EmptyEntryAndEmptyRead)
{
    pkgw::Writer w;
    w.Add("IFII", pkgw::TextBytes(3000, 9));
    w.Add("Src\\Empty.txt", {});
    w.Add("Src\\Data\\", {});
    w.Add("DLL1", pkgw::TextBytes(50, 10));
    PackageReader *reader = Open(w);
    ASSERT_NE(reader, nullptr);
    unsigned char buffer[64];

    // Capacity 0 delivers nothing and changes nothing.
    ASSERT_EQ(BeginEntry(reader), 0);
    EXPECT_EQ(ReadEntry(reader, buffer, 0), 0);
    EXPECT_EQ(ReadEntry(reader, nullptr, 10), -1);
    Bytes data;
    int n;
    while ((n = ReadEntry(reader, buffer, sizeof buffer)) > 0) data.insert(data.end(), buffer, buffer + n);
    EXPECT_EQ(n, 0);
    EXPECT_EQ(EndEntry(reader), 0);
    EXPECT_TRUE(data == w.entries[0].data);

    for (int i = 1; i <= 2; i++) {
        ASSERT_EQ(NextEntry(reader), 0);
        EXPECT_EQ(Name(reader), w.entries[i].name);
        ASSERT_EQ(BeginEntry(reader), 0);
        EXPECT_EQ(ReadEntry(reader, buffer, sizeof buffer), 0);
        EXPECT_EQ(EndEntry(reader), 0);
    }
    ASSERT_EQ(NextEntry(reader), 0);
    EXPECT_TRUE(Extract(reader).data == w.entries[3].data);
    ClosePackage(reader);
}

TEST_F(ReaderTest, CallingOrderIsEnforced)
{
    pkgw::Writer w;
    w.Add("IFII", pkgw::TextBytes(100, 11));
    w.Add("DLL1", pkgw::TextBytes(100, 12));
    PackageReader *reader = Open(w);
    ASSERT_NE(reader, nullptr);
    unsigned char buffer[16];
    EXPECT_EQ(ReadEntry(reader, buffer, sizeof buffer), -1);
    EXPECT_EQ(EndEntry(reader), -1);
    EXPECT_EQ(GetEntryInfo(reader, nullptr), -1);
    ASSERT_EQ(BeginEntry(reader), 0);
    EXPECT_EQ(BeginEntry(reader), -1);
    EXPECT_TRUE(Extract(reader).read == -1);   // already active
    while (ReadEntry(reader, buffer, sizeof buffer) > 0) {}
    EXPECT_EQ(EndEntry(reader), 0);
    EXPECT_EQ(BeginEntry(reader), -1);        // an entry's data is decompressed once
    ASSERT_EQ(NextEntry(reader), 0);
    EXPECT_TRUE(Extract(reader).data == w.entries[1].data);
    ClosePackage(reader);

    EntryInfo info{};
    EXPECT_EQ(SetVolumeCallback(nullptr), -1);
    EXPECT_EQ(OpenPackage(nullptr, NVR_MODULE_LENGTH), nullptr);
    EXPECT_EQ(OpenPackage((dir + "\\Missing.exe").c_str(), NVR_MODULE_LENGTH), nullptr);
    EXPECT_EQ(NextEntry(nullptr), -1);
    EXPECT_EQ(GetEntryInfo(nullptr, &info), -1);
    EXPECT_EQ(BeginEntry(nullptr), -1);
    EXPECT_EQ(ReadEntry(nullptr, buffer, sizeof buffer), -1);
    EXPECT_EQ(EndEntry(nullptr), -1);
    EXPECT_EQ(ClosePackage(nullptr), -1);
}

TEST_F(ReaderTest, FlippedDataByteNeverPassesAsGoodData)
{
    pkgw::Writer clean;
    clean.Add("IFII", pkgw::TextBytes(40000, 13));
    const size_t packed = clean.entries[0].packed.size();
    struct Flip { size_t at; bool mustFail; } flips[] = {
        {0, true}, {1, true}, {packed / 3, true}, {packed / 2, true}, {packed - 3, true},
        // The last byte may end in padding bits; the delivered data must still be right.
        {packed - 1, false},
    };
    for (const Flip &flip : flips) {
        SCOPED_TRACE(flip.at);
        pkgw::Writer w = clean;
        w.entries[0].packed[flip.at] ^= 0xFF;
        PackageReader *reader = Open(w);
        ASSERT_NE(reader, nullptr);
        Outcome o = Extract(reader, 5000);
        bool failed = o.read == -1 || o.end == -1;
        if (flip.mustFail) {
            EXPECT_TRUE(failed);
        } else if (!failed) {
            EXPECT_TRUE(o.data == clean.entries[0].data);
        }
        ClosePackage(reader);
    }
    pkgw::Writer w = clean;
    w.entries[0].crc ^= 1;
    PackageReader *reader = Open(w);
    Outcome o = Extract(reader);
    EXPECT_EQ(o.read, 0);
    EXPECT_EQ(o.end, -1);
    ClosePackage(reader);
}

TEST_F(ReaderTest, RefusedOrMissingVolumeStopsTheReader)
{
    pkgw::Writer w = Spanning();
    unsigned char buffer[NVR_IO_CHUNK];
    EntryInfo info{};
    struct Case { const char *what; int refuse; int missing; bool skip; std::vector<int> calls; } cases[] = {
        {"refused while reading", 2, 0, false, {1, 2}},
        {"missing while reading", 0, 2, false, {1, 2}},
        {"refused while skipping", 3, 0, true, {3}},
        {"missing while skipping", 0, 3, true, {3}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        PackageReader *reader = Open(w, kSpanLength);
        ASSERT_NE(reader, nullptr);
        g_refuse = c.refuse;
        if (c.missing) DeleteFileA(pkgw::Writer::VolumePath(path, c.missing).c_str());
        ASSERT_EQ(NextEntry(reader), 0);
        if (c.skip) {
            EXPECT_EQ(NextEntry(reader), -1);
        } else {
            EXPECT_EQ(Extract(reader).read, -1);
        }
        EXPECT_EQ(g_calls, c.calls);
        EXPECT_EQ(GetEntryInfo(reader, &info), -1);
        EXPECT_EQ(NextEntry(reader), -1);
        EXPECT_EQ(BeginEntry(reader), -1);
        EXPECT_EQ(ReadEntry(reader, buffer, sizeof buffer), -1);
        EXPECT_EQ(EndEntry(reader), -1);
        EXPECT_EQ(ClosePackage(reader), 0);
        g_refuse = 0;
        g_calls.clear();
    }
}

TEST_F(ReaderTest, DamagedHeadersAreRefused)
{
    // Each case damages a good three-entry package; `stage` says where the
    // reader must notice: 0 at opening, 1 at the first header, 2 at the second
    // header.
    struct Case {
        const char *what;
        int stage;
        void (*damage)(pkgw::Writer &w);
    };
    const Case cases[] = {
        {"wrong IFAH", 0, [](pkgw::Writer &w) { w.packageMagic = 0x48414648; }},
        {"volume length 0", 0, [](pkgw::Writer &w) { w.volumeLengthField = 0; }},
        {"volume length ends before the header", 0,
         [](pkgw::Writer &w) { w.volumeLengthField = NVR_MODULE_LENGTH + NVR_PH_VOLUME_COUNT - 1; }},
        {"volume count 0", 0, [](pkgw::Writer &w) { w.volumeCount = 0; }},
        {"wrong IFFH first", 1, [](pkgw::Writer &w) { w.entries[0].magic = 0x48464648; }},
        {"wrong IFFH second", 2, [](pkgw::Writer &w) { w.entries[1].magic = 0; }},
        {"skip beyond the last volume", 2,
         [](pkgw::Writer &w) { w.entries[0].compressedOverride = true;
                               w.entries[0].compressedLength = 0xFFFFFFF0u; }},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        pkgw::Writer w;
        w.Add("IFII", pkgw::TextBytes(500, 14));
        w.Add("Src\\A.txt", pkgw::TextBytes(500, 15));
        w.Add("DLL1", pkgw::TextBytes(500, 16));
        c.damage(w);
        bytes = w.Build();
        pkgw::Writer::WriteVolumes(path, bytes);
        PackageReader *reader = OpenPackage(path.c_str(), NVR_MODULE_LENGTH);
        if (c.stage == 0) {
            EXPECT_EQ(reader, nullptr);
            continue;
        }
        ASSERT_NE(reader, nullptr);
        EXPECT_EQ(Name(reader), c.stage == 1 ? "<failed>" : "IFII");
        if (c.stage == 2) {
            int next = NextEntry(reader);
            if (next == 0) EXPECT_EQ(Name(reader), "<failed>");
            else EXPECT_EQ(next, -1);
            EXPECT_EQ(NextEntry(reader), -1);
        }
        ClosePackage(reader);
    }
}

TEST_F(ReaderTest, TruncatedPackageFailsWhereTheBytesEnd)
{
    pkgw::Writer w;
    w.Add("IFII", pkgw::TextBytes(500, 17));
    w.Add("Src\\Photo.bin", pkgw::RandomBytes(40000, 18));
    Bytes whole = w.Build();
    const pkgw::Where e1 = w.where[1];
    // stage: 0 refused at opening, 1 second header unreadable, 2 data ends early.
    struct Case { const char *what; size_t length; int stage; } cases[] = {
        {"shorter than the module", NVR_MODULE_LENGTH - 100, 0},
        {"no package header", NVR_MODULE_LENGTH, 0},
        {"half a package header", NVR_MODULE_LENGTH + 9, 0},
        {"inside the second header", e1.header + 10, 1},
        {"inside the second name", e1.name + 3, 1},
        {"inside the data", e1.data + 20000, 2},
        {"last data byte missing", e1.end - 1, 2},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        pkgw::Writer::WriteFileBytes(path, whole.data(), c.length);
        PackageReader *reader = OpenPackage(path.c_str(), NVR_MODULE_LENGTH);
        if (c.stage == 0) {
            EXPECT_EQ(reader, nullptr);
            continue;
        }
        ASSERT_NE(reader, nullptr);
        EXPECT_TRUE(Extract(reader).data == w.entries[0].data);
        ASSERT_EQ(NextEntry(reader), 0);
        if (c.stage == 1) {
            EXPECT_EQ(Name(reader), "<failed>");
        } else {
            Outcome o = Extract(reader);
            EXPECT_EQ(o.read, -1);
        }
        ClosePackage(reader);
    }
}

TEST_F(ReaderTest, LongestNameIsKeptWhole)
{
    pkgw::Writer w;
    std::string name = "Src\\" + std::string(NVR_MAX_NAME_LENGTH - 4, 'n');
    w.Add(name, pkgw::TextBytes(10, 19));
    PackageReader *reader = Open(w);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(Name(reader), name);
    ClosePackage(reader);
}

TEST(ReplaceExtension, Table)
{
    const std::string x252(252, 'x');
    struct Case { std::string path, expected; } cases[] = {
        {"C:\\Setup\\Setup.exe", "C:\\Setup\\Setup.001"},
        {"Setup.tar.gz", "Setup.tar.001"},
        {"C:\\Setup\\Setup", "C:\\Setup\\Setup"},
        {"C:\\my.dir\\Setup", "C:\\my.dir\\Setup"},
        {"C:a.b\\c", "C:a.b\\c"},
        {"C:a.b", "C:a.001"},
        {"a.b:c", "a.b:c"},
        {"\\\\server\\share.x\\pkg", "\\\\server\\share.x\\pkg"},
        {" \tC:\\Setup\\Setup.exe \t", "C:\\Setup\\Setup.001"},
        {" C:\\Setup\\Setup  ", "C:\\Setup\\Setup"},
        {"Setup.", "Setup.001"},
        {"", ""},
        {"C:\\" + x252 + ".e", "C:\\" + x252 + ".001"},             // 259 characters: fits
        {"C:\\" + x252 + "y.e", "C:\\" + x252 + "y.00"},            // cut at 259
    };
    for (const Case &c : cases) {
        char buffer[NVR_PATH_SIZE];
        CopyBounded(NVR_PATH_SIZE, buffer, c.path.c_str());
        EXPECT_EQ(ReplaceExtension(buffer, ".001"), buffer);
        EXPECT_EQ(std::string(buffer), c.expected) << c.path;
    }
}

}  // namespace
