// test_worker.cpp -- the install worker under Wine with real packages: one
// built by nvrpack in test_worker.prep (source files, a folder entry, a
// multi-chunk file, the COM server test DLL, a Wine DLL with a version
// resource) and odd shapes built here with pkgwriter (a lower-case "src"
// entry, gaps and missing DLL entries, controlled versions and times).
// Checks the notices the page receives, the replace decisions and the scripted
// replace-file query, the journal, SharedDLLs counts, COM registration and its
// deferral once a restart is pending. Cleans up its own registry values, keys
// and pending renames.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "engine/registration.h"
#include "pkgwriter.h"
#include "uidriver.h"
#include "workerharness.h"

namespace {

using uidriver::BoxWatcher;

using wh::Answer;

const char kServerKey[] = "Software\\NuvarTest\\";

std::string Bytes(const pkgw::Bytes &b) { return std::string(b.begin(), b.end()); }
pkgw::Bytes Raw(const std::string &s) { return pkgw::Bytes(s.begin(), s.end()); }


class WorkerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = uidriver::TestData();
        ASSERT_FALSE(data.empty()) << "run through tests/wine-run (NVR_TEST_DATA)";
        inst = data + "\\inst_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char &c : inst)
            if (c == '/')
                c = '_';
        wh::RemoveTree(inst);
        g_languageFlag = 1;
    }
    void TearDown() override
    {
        h.Close();
        for (const std::string &dll : registered_)
            RegDeleteKeyA(HKEY_CURRENT_USER, (kServerKey + dll).c_str());
        for (const std::string &path : shared_)
            wh::DeleteSharedCount(path);
        wh::DropPendingRenames(inst);
        wh::RemoveTree(inst);
    }

    // Registry traces of a DLL that the test removes at the end.
    void Track(const std::string &path)
    {
        shared_.push_back(path);
        registered_.push_back(path.substr(path.rfind('\\') + 1));
        wh::DeleteSharedCount(path);
        RegDeleteKeyA(HKEY_CURRENT_USER, (kServerKey + registered_.back()).c_str());
    }

    std::string In(const std::string &relative) const { return inst + "\\" + relative; }
    std::string Product(const std::string &relative) const
    {
        return data + "\\product\\" + relative;
    }
    void Put(const std::string &path, const std::string &bytes)
    {
        CreateDirectoryA(inst.c_str(), NULL);
        std::string folder = path.substr(0, path.rfind('\\'));
        CreateDirectoryA(folder.c_str(), NULL);
        ASSERT_TRUE(uidriver::WriteFileBytes(path, bytes)) << path;
    }

    // Writes a pkgwriter package with "IFII" = info in front of entries.
    std::string Package(const std::string &name, const std::string &info,
                        const std::vector<pkgw::Entry> &entries)
    {
        pkgw::Writer w;
        w.Add(NVR_INFO_ENTRY_NAME, Raw(info));
        for (const pkgw::Entry &e : entries) {
            pkgw::Entry &added = w.Add(e.name, e.data);
            added.modTime = e.modTime;
            added.versionHigh = e.versionHigh;
            added.versionLow = e.versionLow;
        }
        std::string path = data + "\\" + name;
        pkgw::Writer::WriteVolumes(path, w.Build());
        return path;
    }

    wh::Harness h;
    std::string data, inst;
    std::vector<std::string> shared_, registered_;
};

pkgw::Entry E(const std::string &name, const std::string &bytes, DWORD fat = 0x5A2B6000,
              DWORD high = NVR_NO_VERSION, DWORD low = NVR_NO_VERSION)
{
    pkgw::Entry e;
    e.name = name;
    e.data = Raw(bytes);
    e.modTime = fat;
    e.versionHigh = high;
    e.versionLow = low;
    return e;
}

std::string Info(const std::string &dllLines)
{
    return "[General]\r\nTitle=Worker Test\r\nLanguage=1\r\n" +
           (dllLines.empty() ? std::string() : "[DLLFiles]\r\n" + dllLines);
}

// ---- a package built by nvrpack ---------------------------------------------

const char *const kSourceFiles[] = {"bin\\tool.dat", "docs\\guide.txt", "docs\\sub\\deep.txt",
                                    "readme.txt"};
const char *const kDllFiles[] = {"bin\\comsrv.dll", "lib\\plain.dll", "lib\\verdll.dll"};

class MainPackageTest : public WorkerTest {
protected:
    void SetUp() override
    {
        WorkerTest::SetUp();
        for (const char *dll : kDllFiles)
            Track(In(dll));
    }
    // Sum of every entry's size but "IFII".
    unsigned long long EntryBytes()
    {
        unsigned long long sum = 0;
        for (const char *f : kSourceFiles)
            sum += wh::ReadAll(Product(std::string("files\\") + f)).size();
        for (const char *d : kDllFiles)
            sum += wh::ReadAll(Product(std::string("dlls\\") + (strchr(d, '\\') + 1))).size();
        return sum;
    }
};

TEST_F(MainPackageTest, FreshInstallPlacesRecordsCountsAndRegisters)
{
    ASSERT_TRUE(h.Open(data + "\\main.exe", inst));
    wh::Seen seen = h.Run();

    EXPECT_EQ(seen.doneCount, 1);
    EXPECT_EQ(seen.done, 1);
    EXPECT_TRUE(seen.asked.empty());
    std::vector<std::string> paths(std::begin(kSourceFiles), std::end(kSourceFiles));
    for (const char *d : kDllFiles)
        paths.push_back(In(d));
    EXPECT_EQ(seen.paths, paths) << "no notice for the folder entry";
    EXPECT_EQ(seen.bytes, EntryBytes());
    // tool.dat (40,000 bytes) arrives in chunks of at most 16,384 bytes.
    ASSERT_GE(seen.chunks.size(), 3u);
    EXPECT_EQ(seen.chunks[0], 16384u);
    EXPECT_EQ(seen.chunks[1], 16384u);
    EXPECT_EQ(seen.chunks[2], 40000u - 2 * 16384u);

    for (const char *f : kSourceFiles)
        EXPECT_EQ(wh::ReadAll(In(f)), wh::ReadAll(Product(std::string("files\\") + f))) << f;
    EXPECT_EQ(GetFileAttributesA(In("empty").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              (DWORD)FILE_ATTRIBUTE_DIRECTORY);
    EXPECT_EQ(wh::ReadAll(In("bin\\comsrv.dll")), wh::ReadAll(Product("dlls\\comsrv.dll")));

    // Journal: folders parent first, the four source files, one record per DLL line.
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_FOLDER),
              (std::vector<std::string>{inst, In("bin"), In("docs"), In("docs\\sub"), In("empty"),
                                        In("lib")}));
    EXPECT_EQ(wh::JournalSources(),
              (std::vector<std::string>{In("bin\\tool.dat"), In("docs\\guide.txt"),
                                        In("docs\\sub\\deep.txt"), In("readme.txt")}));
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_DLLS),
              (std::vector<std::string>{In("bin\\comsrv.dll") + ",1,1,1,0,0",
                                        In("lib\\plain.dll") + ",0,0,0,0,0",
                                        In("lib\\verdll.dll") + ",1,1,0,0,0"}));

    // Shared counts rise from nothing to 2 for an existing file; the COM server ran.
    EXPECT_EQ(wh::SharedCount(In("bin\\comsrv.dll")).count, 2);
    EXPECT_EQ(wh::SharedCount(In("bin\\comsrv.dll")).type, (DWORD)REG_DWORD);
    EXPECT_EQ(wh::SharedCount(In("lib\\verdll.dll")).count, 2);
    EXPECT_EQ(wh::SharedCount(In("lib\\plain.dll")).type, (DWORD)REG_NONE);
    EXPECT_TRUE(wh::KeyExists(HKEY_CURRENT_USER, std::string(kServerKey) + "comsrv.dll"));
    EXPECT_EQ(g_restartNeeded, 0);
}

TEST_F(MainPackageTest, ExistingFilesAreAskedKeptOrReplacedByMode)
{
    Put(In("docs\\guide.txt"), "old guide");
    Put(In("readme.txt"), "old readme");
    Put(In("bin\\comsrv.dll"), "old server");                  // mode 2: replaced
    Put(In("lib\\plain.dll"), "old plain");                    // mode 7: kept
    Put(In("lib\\verdll.dll"), wh::ReadAll(data + "\\vers\\newer.dll"));  // mode 1: newer stays
    ASSERT_TRUE(h.Open(data + "\\main.exe", inst));
    wh::Seen seen = h.Run({Answer::Keep, Answer::Replace});

    EXPECT_EQ(seen.done, 1);
    ASSERT_EQ(seen.asked.size(), 2u) << "modes 2, 7 and 1 never ask";
    EXPECT_EQ(seen.asked[0].pass, 0);
    EXPECT_EQ(seen.asked[0].packageName, "Src\\docs\\guide.txt");
    EXPECT_EQ(seen.asked[0].existingName, In("docs\\guide.txt"));
    EXPECT_EQ(seen.asked[0].existingSize, 9u);
    EXPECT_EQ(seen.asked[1].packageName, "Src\\readme.txt");
    EXPECT_EQ(wh::ReadAll(In("docs\\guide.txt")), "old guide");
    EXPECT_EQ(wh::ReadAll(In("readme.txt")), wh::ReadAll(Product("files\\readme.txt")));
    EXPECT_EQ(wh::ReadAll(In("bin\\comsrv.dll")), wh::ReadAll(Product("dlls\\comsrv.dll")));
    EXPECT_EQ(wh::ReadAll(In("lib\\plain.dll")), "old plain");
    EXPECT_EQ(wh::ReadAll(In("lib\\verdll.dll")), wh::ReadAll(data + "\\vers\\newer.dll"));
    // Skipped files count their whole size too.
    EXPECT_EQ(seen.bytes, EntryBytes());

    EXPECT_EQ(wh::JournalSources(),
              (std::vector<std::string>{In("bin\\tool.dat"), In("docs\\sub\\deep.txt"),
                                        In("readme.txt*")}));
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_DLLS),
              (std::vector<std::string>{In("bin\\comsrv.dll") + ",1,1,1,0,1",
                                        In("lib\\plain.dll") + ",2,0,0,0,0",
                                        In("lib\\verdll.dll") + ",2,1,0,0,0"}));
    // A kept DLL is still counted.
    EXPECT_EQ(wh::SharedCount(In("lib\\verdll.dll")).count, 2);
}

// ---- "No more query." and Abort in the query ---------------------------------

struct QueryCase {
    const char *name;
    std::vector<Answer> answers;
    std::vector<int> askedPasses;      // pass kind of each question
    const char *installed;             // per file a..c, DLL1..DLL3: 'n' new content, 'o' old
    std::vector<std::string> paths;    // CodeShowPath texts (targets abbreviated "@")
};

class QueryTest : public WorkerTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(QueryTest, PolicyPerPass)
{
    const QueryCase &c = GetParam();
    const char *names[] = {"a.txt", "b.txt", "c.txt", "d1.dll", "d2.dll", "d3.dll"};
    std::string lines;
    for (int i = 0; i < 3; i++) {
        lines += "DLL" + std::to_string(i + 1) + "=" + In(names[3 + i]) + ",0,1,0,0,0\r\n";
        Track(In(names[3 + i]));
    }
    std::vector<pkgw::Entry> entries;
    for (int i = 0; i < 6; i++) {
        Put(In(names[i]), "old");
        entries.push_back(E(i < 3 ? std::string("Src\\") + names[i] : "DLL" + std::to_string(i - 2),
                            std::string("new ") + names[i]));
    }
    ASSERT_TRUE(h.Open(Package("query.exe", Info(lines), entries), inst));
    wh::Seen seen = h.Run(c.answers);

    EXPECT_EQ(seen.done, 1) << "an abort is no failure";
    std::vector<int> passes;
    for (const wh::Asked &a : seen.asked)
        passes.push_back(a.pass);
    EXPECT_EQ(passes, c.askedPasses);
    for (const wh::Asked &a : seen.asked)
        if (a.pass == 1)
            EXPECT_EQ(a.packageName, a.existingName) << "the DLL question names the target";
    for (int i = 0; i < 6; i++)
        EXPECT_EQ(wh::ReadAll(In(names[i])), c.installed[i] == 'n' ? std::string("new ") + names[i]
                                                                   : std::string("old"))
            << names[i];
    std::vector<std::string> expected;
    for (const std::string &p : c.paths)
        expected.push_back(p[0] == '@' ? In(p.substr(1)) : p);
    EXPECT_EQ(seen.paths, expected);
}

const std::vector<std::string> kAllPaths = {"a.txt", "b.txt", "c.txt", "@d1.dll", "@d2.dll",
                                            "@d3.dll"};

INSTANTIATE_TEST_SUITE_P(
    Answers, QueryTest,
    ::testing::Values(
        QueryCase{"replaceAllSourceStillAsksDlls",
                  {Answer::ReplaceAll, Answer::Keep, Answer::KeepAll}, {0, 1, 1}, "nnnooo",
                  kAllPaths},
        QueryCase{"keepAllSourceThenReplaceAllDlls", {Answer::KeepAll, Answer::ReplaceAll},
                  {0, 1}, "ooonnn", kAllPaths},
        QueryCase{"eachAskedSeparately",
                  {Answer::Replace, Answer::Keep, Answer::Replace, Answer::Keep, Answer::Replace,
                   Answer::Keep},
                  {0, 0, 0, 1, 1, 1}, "nonono", kAllPaths},
        QueryCase{"abortInTheQueryEndsBothPasses", {Answer::Replace, Answer::Abort}, {0, 0},
                  "nooooo", {"a.txt", "b.txt"}}),
    [](const ::testing::TestParamInfo<QueryCase> &info) { return std::string(info.param.name); });

// ---- DLL replace modes against versions and times ----------------------------

TEST_F(WorkerTest, DllReplaceModesByVersionAndTime)
{
    DWORD verHigh = 0, verLow = 0;
    ASSERT_TRUE(GetFileVersionPair((data + "\\vers\\same.dll").c_str(), &verHigh, &verLow));
    const std::string versioned = wh::ReadAll(data + "\\vers\\same.dll");
    const DWORD T = 0x50CF5000;          // 2020-06-15 10:00:00, local FAT time
    const DWORD later = T + 0x10000;      // one day later
    const DWORD earlier = T - 0x10000;
    const DWORD none = NVR_NO_VERSION;
    struct Case {
        const char *file;
        int mode;
        bool exists, existingVersioned;
        DWORD entryHigh, entryLow, entryTime;
        bool replace;
    } cases[] = {
        {"absent7.dll", 7, false, false, none, none, T, true},
        {"absent1.dll", 1, false, false, none, none, earlier, true},
        {"always.dll", 2, true, true, verHigh - 0x10000, verLow, earlier, true},
        {"never.dll", 7, true, false, verHigh + 0x10000, verLow, later, false},
        {"never9.dll", -3, true, false, none, none, later, false},
        {"higherVersion.dll", 1, true, true, verHigh + 0x10000, verLow, earlier, true},
        {"lowerVersion.dll", 1, true, true, verHigh - 1, verLow, later, false},
        {"sameVersionLater.dll", 1, true, true, verHigh, verLow, later, true},
        {"sameVersionSameTime.dll", 1, true, true, verHigh, verLow, T, false},
        {"noExistingVersionLater.dll", 1, true, false, verHigh, verLow, later, true},
        {"noExistingVersionEqual.dll", 1, true, false, verHigh + 0x10000, verLow, T, false},
        {"noEntryVersionEarlier.dll", 1, true, true, none, none, earlier, false},
        {"noEntryVersionLater.dll", 1, true, true, none, none, later, true},
    };
    std::string lines;
    std::vector<pkgw::Entry> entries;
    int n = 0;
    for (const Case &c : cases) {
        ++n;
        std::string target = In(std::string("dll\\") + c.file);
        Track(target);
        if (c.exists) {
            Put(target, c.existingVersioned ? versioned : std::string("plain old file"));
            wh::SetLocalFatTime(target, T);
        }
        lines += "DLL" + std::to_string(n) + "={InstallDir}\\dll\\" + c.file + "," +
                 std::to_string(c.mode) + ",1,1,0,0\r\n";
        entries.push_back(E("DLL" + std::to_string(n), std::string("new ") + c.file, c.entryTime,
                            c.entryHigh, c.entryLow));
    }
    ASSERT_TRUE(h.Open(Package("modes.exe", Info(lines), entries), inst));
    wh::Seen seen = h.Run();

    EXPECT_EQ(seen.done, 1);
    EXPECT_TRUE(seen.asked.empty());
    std::vector<std::string> records = wh::JournalRecords(NVR_JOURNAL_DLLS);
    ASSERT_EQ(records.size(), std::size(cases));
    unsigned long long total = 0;
    for (size_t i = 0; i < std::size(cases); i++) {
        const Case &c = cases[i];
        std::string target = In(std::string("dll\\") + c.file);
        total += lstrlenA(c.file) + 4;
        bool placed = wh::ReadAll(target) == std::string("new ") + c.file;
        EXPECT_EQ(placed, c.replace) << c.file;
        EXPECT_EQ(records[i], target + (c.replace ? ",1" : ",2") + ",1,0,0," +
                                  (c.replace && c.exists ? "1" : "0"))
            << c.file;
        // Placed or kept, the count was raised.
        EXPECT_GE(wh::SharedCount(target).count, 1) << c.file;
    }
    EXPECT_EQ(seen.bytes, total);
}

// ---- package shapes -----------------------------------------------------------

struct ShapeCase {
    const char *name;
    std::vector<std::string> entries;   // entry names after "IFII"
    const char *dllLines;               // [DLLFiles] text
    LPARAM done;
    bool corruptBox;                    // MsgArchiveCorrupt shown
    std::vector<std::string> present, absent;   // relative to the install folder
};

class ShapeTest : public WorkerTest, public ::testing::WithParamInterface<ShapeCase> {};

TEST_P(ShapeTest, PassesStopWhereThePackageSays)
{
    const ShapeCase &c = GetParam();
    std::string lines = c.dllLines;
    for (size_t at; (at = lines.find("@")) != std::string::npos;)
        lines.replace(at, 1, inst);
    std::vector<pkgw::Entry> entries;
    for (const std::string &name : c.entries)
        entries.push_back(E(name, "content of " + name));
    lstrcpynA(g_caption, "Installation of Worker Test", NVR_CAPTION_SIZE);
    ASSERT_TRUE(h.Open(Package(std::string(c.name) + ".exe", Info(lines), entries), inst));
    wh::Seen seen;
    std::vector<uidriver::MessageBoxSeen> boxes;
    {
        BoxWatcher watcher;
        seen = h.Run();
        boxes = watcher.Stop();
    }
    EXPECT_EQ(seen.doneCount, 1);
    EXPECT_EQ(seen.done, c.done);
    if (c.corruptBox) {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, CatalogText(MsgArchiveCorrupt));
        EXPECT_EQ(boxes[0].caption, g_caption);
    } else {
        EXPECT_TRUE(boxes.empty());
    }
    for (const std::string &p : c.present)
        EXPECT_TRUE(wh::Exists(In(p))) << p;
    for (const std::string &p : c.absent)
        EXPECT_FALSE(wh::Exists(In(p))) << p;
}

INSTANTIATE_TEST_SUITE_P(
    Packages, ShapeTest,
    ::testing::Values(
        ShapeCase{"lowerCaseSrcEndsSourcePass",
                  {"Src\\a.txt", "src\\b.txt", "Src\\c.txt"}, "", 1, false, {"a.txt"},
                  {"b.txt", "c.txt"}},
        ShapeCase{"fourthCharacterNotExamined", {"Src/x.txt", "SrcYsub\\y.txt"}, "", 1, false,
                  {"x.txt", "sub\\y.txt"}, {}},
        ShapeCase{"noSourceEntries", {"DLL1"}, "DLL1=@\\d1.dll,2,1,0,0,0\r\n", 1, false,
                  {"d1.dll"}, {}},
        ShapeCase{"noDll1KeyEndsDllPass", {"Src\\a.txt", "DLL1", "DLL2"},
                  "DLL2=@\\d2.dll,2,1,0,0,0\r\n", 1, false, {"a.txt"}, {"d2.dll"}},
        ShapeCase{"keyGapNeverReadsDll4", {"DLL1", "DLL2", "DLL3", "DLL4"},
                  "DLL1=@\\d1.dll,2,1,0,0,0\r\nDLL2=@\\d2.dll,2,1,0,0,0\r\n"
                  "DLL4=@\\d4.dll,2,1,0,0,0\r\n",
                  1, false, {"d1.dll", "d2.dll"}, {"d4.dll"}},
        ShapeCase{"dll3ListedButMissing", {"Src\\a.txt", "DLL1", "DLL2"},
                  "DLL1=@\\d1.dll,2,1,0,0,0\r\nDLL2=@\\d2.dll,2,1,0,0,0\r\n"
                  "DLL3=@\\d3.dll,2,1,0,0,0\r\n",
                  0, true, {"a.txt", "d1.dll", "d2.dll"}, {"d3.dll"}},
        ShapeCase{"packageEndsAfterSources", {"Src\\a.txt"}, "DLL1=@\\d1.dll,2,1,0,0,0\r\n", 0,
                  true, {"a.txt"}, {"d1.dll"}},
        ShapeCase{"misnamedDllEntry", {"DLL1", "DLL7"},
                  "DLL1=@\\d1.dll,2,1,0,0,0\r\nDLL2=@\\d2.dll,2,1,0,0,0\r\n", 0, true,
                  {"d1.dll"}, {"d2.dll"}},
        // Out of order: the last source entry behind DLL1 would be missing
        // from an installation reported as done.
        ShapeCase{"sourceEntryBehindTheDllEntries", {"Src\\a.txt", "DLL1", "Src\\b.txt"},
                  "DLL1=@\\d1.dll,2,1,0,0,0\r\n", 0, true, {"a.txt", "d1.dll"}, {"b.txt"}},
        ShapeCase{"dllEntriesNoLineUsesArePassedOver", {"Src\\a.txt", "DLL1", "DLL2"},
                  "DLL1=@\\d1.dll,2,1,0,0,0\r\n", 1, false, {"a.txt", "d1.dll"}, {"d2.dll"}},
        ShapeCase{"dllKeyMatchesIgnoringCase", {"dll1"}, "DLL1=@\\d1.dll,2,1,0,0,0\r\n", 1,
                  false, {"d1.dll"}, {}},
        ShapeCase{"emptyPackage", {}, "", 1, false, {}, {"a.txt"}},
        // A name with nothing after "Src" has no relative path: passed over,
        // never read past its end, never placed over the install folder.
        ShapeCase{"bareSrcNameIsPassedOver", {"Src", "Src\\ ", "Src\\a.txt"}, "", 1, false,
                  {"a.txt"}, {}}),
    [](const ::testing::TestParamInfo<ShapeCase> &info) { return std::string(info.param.name); });

// ---- folder entries and trailing blanks ----------------------------------------

TEST_F(WorkerTest, FolderEntriesOnlyCreateFolders)
{
    ASSERT_TRUE(h.Open(Package("folders.exe", Info(""),
                               {E("Src\\logs\\", ""), E("Src\\deep\\er\\", ""),
                                E("Src\\name.txt  \t", "trailing blanks")}),
                       inst));
    wh::Seen seen = h.Run();
    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(seen.paths, (std::vector<std::string>{"name.txt  \t"}));
    EXPECT_TRUE(wh::Exists(In("logs")));
    EXPECT_TRUE(wh::Exists(In("deep\\er")));
    EXPECT_EQ(wh::ReadAll(In("name.txt")), "trailing blanks");
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_FOLDER),
              (std::vector<std::string>{inst, In("logs"), In("deep"), In("deep\\er")}));
    EXPECT_EQ(wh::JournalSources(), (std::vector<std::string>{In("name.txt")}));
}

// ---- folders the run made, folders that were there, relative DLL targets --------

// Files in a folder this run has made cannot be there already, so they are
// placed without an existence test: a second entry of the same name there
// replaces the run's own file without a question, and the rollback removes
// it. A folder that existed keeps its test, and so does a folder made earlier
// once files went elsewhere in between (d.txt, placed after an existence test).
TEST_F(WorkerTest, NewFoldersSkipTheExistenceTestExistingFoldersKeepIt)
{
    Put(In("old\\b.txt"), "old b");
    Put(In("old\\keep.txt"), "old keep");
    ASSERT_TRUE(h.Open(Package("fresh.exe", Info(""),
                               {E("Src\\new\\a.txt", "a1"), E("Src\\new\\a2.txt", "a2"),
                                E("Src\\new\\a.txt", "a-second"), E("Src\\old\\b.txt", "new b"),
                                E("Src\\old\\c.txt", "c"), E("Src\\old\\keep.txt", "new keep"),
                                E("Src\\new\\d.txt", "d")}),
                       inst));
    wh::Seen seen = h.Run({Answer::Replace, Answer::Keep});
    EXPECT_EQ(seen.done, 1);
    ASSERT_EQ(seen.asked.size(), 2u);
    EXPECT_EQ(seen.asked[0].existingName, In("old\\b.txt"));
    EXPECT_EQ(seen.asked[1].existingName, In("old\\keep.txt"));
    EXPECT_EQ(wh::ReadAll(In("old\\b.txt")), "new b");
    EXPECT_EQ(wh::ReadAll(In("old\\keep.txt")), "old keep");
    EXPECT_EQ(wh::ReadAll(In("new\\a.txt")), "a-second");
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_FOLDER), (std::vector<std::string>{In("new")}));
    EXPECT_EQ(wh::JournalSources(),
              (std::vector<std::string>{In("new\\a.txt"), In("new\\a2.txt"), In("new\\a.txt"),
                                        In("old\\b.txt*"), In("old\\c.txt"), In("new\\d.txt")}));

    wh::Seen back = h.RunRollback();
    EXPECT_TRUE(back.rolledBack);
    EXPECT_FALSE(wh::Exists(In("new")));
    EXPECT_FALSE(wh::Exists(In("old\\c.txt")));
    EXPECT_EQ(wh::ReadAll(In("old\\b.txt")), "new b") << "a replaced file stays";
    EXPECT_EQ(wh::ReadAll(In("old\\keep.txt")), "old keep");
}

// A second run in the same process starts its folder bookkeeping afresh: the
// folder of the first run's last file was removed by its rollback.
TEST_F(WorkerTest, SecondRunAfterRollbackMakesTheFoldersAgain)
{
    const std::string package =
        Package("again.exe", Info(""), {E("Src\\f\\x.txt", "x"), E("Src\\f\\y.txt", "y")});
    ASSERT_TRUE(h.Open(package, inst));
    EXPECT_EQ(h.Run().done, 1);
    EXPECT_TRUE(h.RunRollback().rolledBack);
    ASSERT_FALSE(wh::Exists(In("f")));
    h.Close();
    ASSERT_TRUE(h.Open(package, inst));
    EXPECT_EQ(h.Run().done, 1);
    EXPECT_EQ(wh::ReadAll(In("f\\y.txt")), "y");
}

// A DLL target without a drive or server lies below the install folder (not
// the current folder), and the rollback finds it there.
TEST_F(WorkerTest, RelativeDllTargetGoesBelowTheInstallFolder)
{
    ASSERT_TRUE(h.Open(Package("reldll.exe", Info("DLL1=lib\\rel.dll,2,1\r\nDLL2=top.dll,2,1\r\n"),
                               {E("Src\\a.txt", "a"), E("DLL1", "rel dll"), E("DLL2", "top")}),
                       inst));
    wh::Seen seen = h.Run();
    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(seen.paths, (std::vector<std::string>{"a.txt", In("lib\\rel.dll"), In("top.dll")}));
    EXPECT_EQ(wh::ReadAll(In("lib\\rel.dll")), "rel dll");
    EXPECT_EQ(wh::ReadAll(In("top.dll")), "top");
    EXPECT_EQ(wh::JournalRecords(NVR_JOURNAL_DLLS),
              (std::vector<std::string>{In("lib\\rel.dll") + ",1,0,0,0,0",
                                        In("top.dll") + ",1,0,0,0,0"}));
    EXPECT_TRUE(h.RunRollback().rolledBack);
    EXPECT_FALSE(wh::Exists(In("lib")));
    EXPECT_FALSE(wh::Exists(In("top.dll")));
}

// ---- restart pending: later registrations are deferred -------------------------

TEST_F(WorkerTest, InUseTargetDefersLaterRegistrations)
{
    const std::string server = wh::ReadAll(data + "\\vers\\comserver.dll");
    std::string busy = In("busy.dll"), later = In("later.dll"), before = In("before.dll");
    Track(busy);
    Track(later);
    Track(before);
    Put(busy, "in use");
    std::string lines = "DLL1=" + before + ",2,1,0,1,0\r\nDLL2=" + busy + ",2,1,0,0,0\r\nDLL3=" +
                        later + ",2,1,1,1,1\r\n";
    ASSERT_TRUE(h.Open(Package("restart.exe", Info(lines),
                               {E("DLL1", server), E("DLL2", "new busy"), E("DLL3", server)}),
                       inst));
    HANDLE hold = CreateFileA(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0,
                              NULL);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    wh::Seen seen = h.Run();
    CloseHandle(hold);

    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(g_restartNeeded, 1);
    EXPECT_EQ(wh::ReadAll(busy), "in use");
    EXPECT_NE(wh::PendingRenames().find(busy), std::string::npos);
    // Registered before the restart became pending, deferred afterwards.
    EXPECT_TRUE(wh::KeyExists(HKEY_CURRENT_USER, std::string(kServerKey) + "before.dll"));
    EXPECT_FALSE(wh::KeyExists(HKEY_CURRENT_USER, std::string(kServerKey) + "later.dll"));
    std::vector<std::string> records = wh::JournalRecords(NVR_JOURNAL_DLLS);
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], before + ",1,0,1,0,0");
    EXPECT_EQ(records[1], busy + ",1,0,0,0,1");
    EXPECT_EQ(records[2], later + ",1,1,1,1,0");
    auto listed = [](const char *section, const std::string &path) {
        for (int k = 1; k < 50; k++)
            if (wh::Ini(section, std::to_string(k), g_endInstallPath) == path)
                return true;
        return false;
    };
    EXPECT_TRUE(listed(NVR_DEFER_SERVERS, later));
    EXPECT_TRUE(listed(NVR_DEFER_TYPELIBS, later));
    EXPECT_FALSE(listed(NVR_DEFER_SERVERS, before));
    // The temporary file beside the busy target is journalled for a rollback.
    std::vector<std::string> sources = wh::JournalSources();
    ASSERT_EQ(sources.size(), 1u);
    EXPECT_EQ(sources[0].substr(0, inst.size() + 4), inst + "\\_if");
    EXPECT_EQ(wh::ReadAll(sources[0]), "new busy");
}

// Without a seam the worker shows the real query dialog. A test program has
// no dialog templates, so it cannot be shown, and a query that cannot be
// shown keeps the existing file.
const ReplaceAsker kStartingAsker = g_askReplace;

TEST_F(WorkerTest, StartingQueryKeeps)
{
    Put(In("a.txt"), "old");
    ASSERT_TRUE(h.Open(Package("default.exe", Info(""), {E("Src\\a.txt", "new")}), inst));
    g_askReplace = kStartingAsker;
    wh::Seen seen = h.Run();
    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(wh::ReadAll(In("a.txt")), "old");
    EXPECT_EQ(seen.bytes, 3u);
}

}  // namespace
