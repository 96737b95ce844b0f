// test_hostile.cpp -- careless and hostile install information under Wine:
// keys with quotes and blanks, the presence sentinels as values, values longer
// than every buffer (Title, DefInstallFolder, DLL lines and their fields),
// DLL lines with too many fields or none, macros that expand past a path,
// relative DLL targets. Buffers the tests own carry canaries; the worker runs
// for real through the worker harness and must end with the specified result.
// Must not leave files outside its data folder, nor registry values behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "pkgwriter.h"
#include "uidriver.h"
#include "ui/pages.h"
#include "workerharness.h"

namespace {

using uidriver::BoxWatcher;

const size_t kCanary = 64;          // guard bytes after every buffer handed to module code
const unsigned char kGuard = 0xA5;  // their value

// A buffer of size bytes followed by kCanary guard bytes.
struct Guarded {
    std::vector<char> bytes;
    size_t size;
    explicit Guarded(size_t n, char fill = 'Z') : bytes(n + kCanary, (char)kGuard), size(n)
    {
        memset(bytes.data(), fill, n);
        bytes[n - 1] = '\0';
    }
    char *data() { return bytes.data(); }
    bool Intact() const
    {
        for (size_t i = size; i < bytes.size(); i++)
            if ((unsigned char)bytes[i] != kGuard)
                return false;
        return true;
    }
};

pkgw::Bytes Raw(const std::string &s) { return pkgw::Bytes(s.begin(), s.end()); }

class Hostile : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = uidriver::TestData();
        if (data.empty()) {
            char buf[MAX_PATH];
            GetTempPathA(sizeof buf, buf);
            data = std::string(buf) + "nvr_hostile";
        }
        CreateDirectoryA(data.c_str(), NULL);
        inst = data + "\\inst_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        for (char &c : inst)
            if (c == '/')
                c = '_';
        wh::RemoveTree(inst);
        g_languageFlag = 1;
        lstrcpynA(g_caption, "Installation of Hostile", NVR_CAPTION_SIZE);
    }
    void TearDown() override
    {
        h.Close();
        wh::DropPendingRenames(inst);
        wh::RemoveTree(inst);
    }

    // Writes an information file (as the IFII entry would be) and returns its path.
    std::string InfoFile(const std::string &name, const std::string &text)
    {
        std::string path = data + "\\" + name + ".ini";
        uidriver::WriteFileBytes(path, text);
        return path;
    }

    // A package: "IFII" = info, then entries (name, content).
    std::string Package(const std::string &name, const std::string &info,
                        const std::vector<std::pair<std::string, std::string>> &entries)
    {
        pkgw::Writer w;
        w.Add(NVR_INFO_ENTRY_NAME, Raw(info));
        for (const auto &e : entries)
            w.Add(e.first, Raw(e.second));
        std::string path = data + "\\" + name + ".exe";
        pkgw::Writer::WriteVolumes(path, w.Build());
        return path;
    }

    wh::Harness h;
    std::string data, inst;
};

std::string General(const std::string &lines) { return "[General]\r\n" + lines; }

// ---- keys of [General] as the launcher and the folder page read them ----------

struct GeneralCase {
    const char *name;
    std::string text;        // the whole information file
    std::string title;       // g_title afterwards
    int languageFlag;        // g_languageFlag afterwards
};

class GeneralKeys : public Hostile, public ::testing::WithParamInterface<GeneralCase> {};

TEST_P(GeneralKeys, TitleAndLanguageReadWithinTheirBuffers)
{
    const GeneralCase &c = GetParam();
    std::string file = InfoFile(c.name, c.text);
    memset(g_title, 'T', sizeof g_title);
    memset(g_caption, 'C', sizeof g_caption);
    g_languageFlag = 7;
    ReadLanguageAndTitle(file.c_str());
    ASSERT_LT(strnlen(g_title, sizeof g_title), sizeof g_title);
    ASSERT_LT(strnlen(g_caption, sizeof g_caption), sizeof g_caption);
    EXPECT_EQ(std::string(g_title), c.title);
    EXPECT_EQ(g_languageFlag != 0, c.languageFlag != 0);
    // The caption holds the title whole (the caption buffer is made for it).
    EXPECT_NE(std::string(g_caption).find(c.title), std::string::npos);
}

const std::string kLong(1000, 'x');

INSTANTIATE_TEST_SUITE_P(
    Info, GeneralKeys,
    ::testing::Values(
        GeneralCase{"doubleQuoted", General("Title=\"Quoted Product\"\r\nLanguage=1\r\n"),
                    "Quoted Product", 1},
        GeneralCase{"singleQuoted", General("Title='Single'\r\nLanguage=1\r\n"), "Single", 1},
        GeneralCase{"mixedQuotesKept", General("Title='Mixed\"\r\nLanguage=1\r\n"), "'Mixed\"",
                    1},
        GeneralCase{"blanksAroundKeyAndValue",
                    General("  Title  =   Padded Title   \r\n Language = 2 \r\n"),
                    "Padded Title", 1},
        GeneralCase{"firstSentinelIsAValue",
                    General("Title=$1234567890$\r\nLanguage=$1234567890$\r\n"), "$1234567890$",
                    0},
        GeneralCase{"secondSentinelIsAValue",
                    General("Title=$ABCDEFGHIJ$\r\nLanguage=$ABCDEFGHIJ$\r\n"), "$ABCDEFGHIJ$",
                    0},
        GeneralCase{"emptyValues", General("Title=\r\nLanguage=\r\n"), "", 0},
        GeneralCase{"titleOverThePathBuffer", General("Title=" + kLong + "\r\nLanguage=3\r\n"),
                    std::string(259, 'x'), 1},
        GeneralCase{"quotedTitleOverThePathBuffer",
                    General("Title=\"" + kLong + "\"\r\nLanguage=1\r\n"), std::string(259, 'x'),
                    1},
        GeneralCase{"languageSignAndBlank", General("Title=A\r\nLanguage= -5\r\n"), "A", 1},
        GeneralCase{"languageHuge", General("Title=A\r\nLanguage=99999999999999999999\r\n"), "A",
                    1},
        GeneralCase{"noGeneralSection", "[Other]\r\nTitle=Elsewhere\r\n", "", 0}),
    [](const ::testing::TestParamInfo<GeneralCase> &info) { return std::string(info.param.name); });

// The profile layer with a caller's buffer: reads are cut at its size and the
// key test finds keys whose value is a sentinel.
TEST_F(Hostile, ProfileReadsStayInsideTheCallersBuffer)
{
    std::string file = InfoFile("profile", "[S]\r\nlong=" + kLong + "\r\nq=\"" + kLong +
                                               "\"\r\ns1=$1234567890$\r\ns2=$ABCDEFGHIJ$\r\n"
                                               "empty=\r\n");
    for (const char *key : {"long", "q"}) {
        for (size_t size : {1u, 2u, 12u, 40u, 260u, 520u}) {
            Guarded buf(size);
            ASSERT_TRUE(ProfileReadString("S", key, NULL, buf.data(), (int)size, file.c_str()));
            EXPECT_TRUE(buf.Intact()) << key << " size " << size;
            EXPECT_EQ(strlen(buf.data()), size - 1) << key << " size " << size;
        }
        // A default longer than the buffer is cut too.
        Guarded buf(12);
        ProfileReadString("S", "missing", kLong.c_str(), buf.data(), 12, file.c_str());
        EXPECT_TRUE(buf.Intact());
        EXPECT_EQ(std::string(buf.data()), std::string(11, 'x'));
    }
    EXPECT_TRUE(ProfileKeyExists("S", "s1", file.c_str()));
    EXPECT_TRUE(ProfileKeyExists("S", "s2", file.c_str()));
    EXPECT_TRUE(ProfileKeyExists("S", "empty", file.c_str()));
    EXPECT_FALSE(ProfileKeyExists("S", "missing", file.c_str()));
    EXPECT_EQ(ProfileReadNumber("S", "long", 42, file.c_str()), 42);
    EXPECT_EQ(ProfileReadNumber("S", "s1", 42, file.c_str()), 42);
}

// ---- DefInstallFolder and macros past a path -----------------------------------

TEST_F(Hostile, FolderProposalIsCutAtAPath)
{
    CopyBounded(NVR_PATH_SIZE, g_packageFolder, "C:\\packages");
    CopyBounded(NVR_PATH_SIZE, g_packageDrive, "C:");
    const std::string values[] = {
        "C:\\" + kLong,                              // absolute, over the buffer
        "{ProgramFiles}\\" + kLong,                  // macro then a long tail
        std::string(40, '{') + "ProgramFiles}" + kLong,
        "{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}"
        "{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}{WinSysDir}",
        kLong,                                       // relative: below the package folder
        "{}}{{}" + kLong,
        "\"{ProgramFiles}\\Quoted\"",
        "",
    };
    for (const std::string &value : values) {
        for (BOOL removable : {FALSE, TRUE}) {
            Guarded folder(NVR_PATH_SIZE), sub(NVR_PATH_SIZE);
            ProposeFolder(value.c_str(), removable, folder.data(), sub.data());
            EXPECT_TRUE(folder.Intact()) << value.substr(0, 40);
            EXPECT_TRUE(sub.Intact()) << value.substr(0, 40);
            EXPECT_LT(strnlen(folder.data(), NVR_PATH_SIZE), (size_t)NVR_PATH_SIZE);
            EXPECT_LT(strnlen(sub.data(), NVR_PATH_SIZE), (size_t)NVR_PATH_SIZE);
        }
    }
}

TEST_F(Hostile, MacrosExpandingPastAPathAreCutAt259)
{
    CopyBounded(NVR_PATH_SIZE, g_windowsFolder, "C:\\windows");
    std::string many;
    for (int i = 0; i < 30; i++)
        many += "{WinDir}{}}";
    Guarded path(NVR_PATH_SIZE);
    CopyBounded(NVR_PATH_SIZE, path.data(), many.c_str());
    EXPECT_TRUE(ExpandPathMacros(path.data()));
    EXPECT_TRUE(path.Intact());
    // Rows apply in order, each cut at 259: the escapes are replaced only in
    // what the folder row left, so a cut escape stays as it is.
    std::string expected;
    for (int i = 0; i < 30; i++)
        expected += std::string(g_windowsFolder) + "{}}";
    expected = expected.substr(0, 259);
    for (size_t at; (at = expected.find("{}}")) != std::string::npos;)
        expected.replace(at, 3, "}");
    EXPECT_EQ(std::string(path.data()), expected);
    // A value that is itself longer than a path.
    Guarded one(NVR_PATH_SIZE);
    CopyBounded(NVR_PATH_SIZE, one.data(), "{TempDir}");
    std::string longValue(600, 'v');
    EXPECT_TRUE(ReplaceMacro(one.data(), "{TempDir}", longValue.c_str()));
    EXPECT_TRUE(one.Intact());
    EXPECT_EQ(std::string(one.data()), std::string(259, 'v'));
}

TEST_F(Hostile, CommaFieldsAreCutAndCounted)
{
    std::string line = std::string(700, 'a') + "," + std::string(300, 'b') + ",2,,x,1,7,8,9";
    Guarded field(NVR_PATH_SIZE);
    std::vector<std::string> fields;
    char *f = NextCommaField(field.data(), line.c_str());
    for (int i = 0; i < 9; i++) {
        ASSERT_TRUE(field.Intact()) << i;
        fields.push_back(field.data());
        // The returned field lies in the record buffer and is not cut.
        EXPECT_EQ(std::string(f).substr(0, 259), fields.back());
        f = NextCommaField(field.data(), NULL);
    }
    EXPECT_EQ(fields[0], std::string(259, 'a'));
    EXPECT_EQ(fields[1], std::string(259, 'b'));
    EXPECT_EQ(fields[2], "2");
    EXPECT_EQ(fields[3], "");
    EXPECT_EQ(fields[6], "7");
    EXPECT_EQ(std::string(f), "");   // used up: empty from now on
    EXPECT_TRUE(field.Intact());
}

// ---- DLL lines through the worker -------------------------------------------

struct DllCase {
    const char *name;
    std::string line;                     // DLL1 value; "@" stands for the install folder
    LPARAM done;                          // CodeWorkerDone result
    const char *box;                      // "" no box, "install" MsgInstallFileFailed, "archive"
    std::string placed;                   // where the DLL lands ("@" install folder,
                                          // "=" cut at 259, "journal" as recorded); "" none
    bool removedByRollback = true;        // removal flag 1
};

class DllLines : public Hostile, public ::testing::WithParamInterface<DllCase> {};

// Names in folder (not "." and ".."), one level.
std::vector<std::string> Snapshot(const std::string &folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return names;
    do
        if (strcmp(fd.cFileName, ".") && strcmp(fd.cFileName, ".."))
            names.push_back(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

std::string Fill(std::string s, const std::string &inst)
{
    for (size_t at; (at = s.find('@')) != std::string::npos;)
        s.replace(at, 1, inst);
    return s;
}

// Where a case's DLL must land: "=" the text cut at 259 characters, else as
// written ("@" = install folder).
std::string Where(const std::string &placed, const std::string &inst)
{
    if (placed.empty())
        return placed;
    if (placed[0] == '=')
        return Fill(placed.substr(1), inst).substr(0, NVR_PATH_SIZE - 1);
    return Fill(placed, inst);
}

TEST_P(DllLines, EndAsSpecifiedAndRollBack)
{
    const DllCase &c = GetParam();
    CreateDirectoryA(inst.c_str(), NULL);
    std::string cwd = inst + "\\cwd";
    CreateDirectoryA(cwd.c_str(), NULL);
    char oldCwd[MAX_PATH];
    GetCurrentDirectoryA(sizeof oldCwd, oldCwd);
    SetCurrentDirectoryA(cwd.c_str());   // where a relative target would land

    std::string line = Fill(c.line, inst);
    std::string info = "[General]\r\nTitle=Hostile\r\nLanguage=1\r\n[DLLFiles]\r\nDLL1=" + line +
                       "\r\n";
    ASSERT_TRUE(h.Open(Package(c.name, info, {{"Src\\a.txt", "a"}, {"DLL1", "dll bytes"}}),
                       inst));
    wh::Seen seen;
    std::vector<uidriver::MessageBoxSeen> boxes;
    {
        BoxWatcher watcher;
        seen = h.Run({}, nullptr, 30000);
        boxes = watcher.Stop();
    }
    EXPECT_EQ(seen.doneCount, 1);
    EXPECT_EQ(seen.done, c.done);
    std::string box = c.box;
    if (box.empty()) {
        EXPECT_TRUE(boxes.empty()) << boxes[0].text;
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        TextId id = box == "install" ? MsgInstallFileFailed : MsgArchiveCorrupt;
        std::string text = CatalogText(id);
        EXPECT_EQ(boxes[0].text.substr(0, 10), text.substr(0, 10)) << boxes[0].text;
    }
    std::vector<std::string> records = wh::JournalRecords(NVR_JOURNAL_DLLS);
    std::string recorded = records.empty() ? "" : records[0];
    for (int i = 0; i < 5 && recorded.rfind(',') != std::string::npos; i++)
        recorded.erase(recorded.rfind(','));   // the five numbers after the path
    std::string at = c.placed == "journal" ? recorded : Where(c.placed, inst);
    SCOPED_TRACE("journal DLL record: " + (records.empty() ? std::string("none") : records[0]));
    if (!at.empty()) {
        DWORD attributes = GetFileAttributesA(at.c_str());
        EXPECT_TRUE(attributes != INVALID_FILE_ATTRIBUTES &&
                    !(attributes & FILE_ATTRIBUTE_DIRECTORY))
            << at << " is missing or a folder; restart needed " << g_restartNeeded;
        EXPECT_EQ(wh::ReadAll(at), "dll bytes") << at;
        if (c.placed == "journal") {
            EXPECT_EQ(at.rfind(inst + "\\", 0), 0u) << at;
            EXPECT_LE(at.size(), 259u);
        }
    }
    // Nothing lands in the current folder and nothing waits for a restart.
    EXPECT_EQ(g_restartNeeded, 0);
    EXPECT_TRUE(Snapshot(cwd).empty()) << "the run wrote into the current folder";
    // Every journal record stays within a path.
    for (const std::string &r : wh::JournalRecords(NVR_JOURNAL_DLLS))
        EXPECT_LT(r.size(), (size_t)NVR_JOURNAL_ITEM_SIZE);

    // The rollback takes everything back out, the relative target too.
    g_abortFlag = 1;
    wh::Seen back = h.RunRollback(30000);
    EXPECT_EQ(back.rolledBack, 1);
    EXPECT_FALSE(wh::Exists(inst + "\\a.txt"));
    if (!at.empty() && c.removedByRollback) {
        EXPECT_FALSE(wh::Exists(at)) << at;
    }
    SetCurrentDirectoryA(oldCwd);
}

std::string Escapes(int n)
{
    std::string s;
    for (int i = 0; i < n; i++)
        s += "{}}";
    return s;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, DllLines,
    ::testing::Values(
        DllCase{"plain", "@\\d.dll,2,1,0,0,0", 1, "", "@\\d.dll"},
        DllCase{"quotedLine", "\"@\\q.dll,2,1,0,0,0\"", 1, "", "@\\q.dll"},
        DllCase{"blanksBeforeTheLine", "   @\\b.dll,2,1,0,0,0   ", 1, "", "@\\b.dll"},
        DllCase{"moreThanSixFields", "@\\m.dll,2,1,0,0,0,extra,7,8,9,10", 1, "", "@\\m.dll"},
        // Without a removal flag the rollback leaves the file.
        DllCase{"onlyTheTarget", "@\\t.dll", 1, "", "@\\t.dll", false},
        // Nothing to place to: the target cannot be created.
        DllCase{"emptyLine", "", 0, "install", ""},
        DllCase{"onlyCommas", ",,,,,,,,", 0, "install", ""},
        // A target that is still relative after its macros goes below the
        // install folder, like the source files: never into the process's
        // current folder, never a folder named like the file.
        DllCase{"sentinelTargetIsRelative", "$1234567890$,2,1,0,0,0", 1, "", "@\\$1234567890$"},
        DllCase{"relativeTarget", "rel.dll,2,1,0,0,0", 1, "", "@\\rel.dll"},
        DllCase{"relativeTargetInAFolder", "sub\\rel.dll,2,1,0,0,0", 1, "", "@\\sub\\rel.dll"},
        // The target field is cut at 259 characters; the line at 519.
        DllCase{"targetOverAPath", "@\\" + std::string(400, 'n') + ",2,1,0,0,0", 1, "",
                "=@\\" + std::string(400, 'n')},
        DllCase{"lineOverItsBuffer",
                "@\\l.dll,2,1,0,0,0," + std::string(900, 'z'), 1, "", "@\\l.dll"},
        DllCase{"fieldsOverAPath",
                "@\\f.dll," + std::string(300, '2') + ",1" + std::string(300, ' ') + ",1" +
                    std::string(300, ' ') + ",0,0",
                1, "", "@\\f.dll"},
        // Cut at 259 as a field, expanded, cut again: the file lands where the
        // journal says, below the install folder.
        DllCase{"macrosPastAPath", "{InstallDir}\\" + std::string(20, 'p') + Escapes(250) + ",2,1",
                1, "", "journal", false}),
    [](const ::testing::TestParamInfo<DllCase> &info) { return std::string(info.param.name); });

// DLL keys that do not follow one another: numbering with a leading zero or
// blanks inside the key are other keys; the pass ends at the first missing one.
TEST_F(Hostile, DllKeysWithGapsAndOddNames)
{
    std::string info = "[General]\r\nTitle=Hostile\r\nLanguage=1\r\n[DLLFiles]\r\n"
                       "DLL1=" + inst + "\\k1.dll,2,1,0,0,0\r\n"
                       "DLL02=" + inst + "\\k2.dll,2,1,0,0,0\r\n"
                       "DLL 2=" + inst + "\\k2b.dll,2,1,0,0,0\r\n"
                       "DLL3=" + inst + "\\k3.dll,2,1,0,0,0\r\n";
    ASSERT_TRUE(h.Open(Package("keys", info, {{"DLL1", "one"}, {"DLL2", "two"}, {"DLL3", "3"}}),
                       inst));
    wh::Seen seen;
    std::vector<uidriver::MessageBoxSeen> boxes;
    {
        BoxWatcher watcher;
        seen = h.Run({}, nullptr, 30000);
        boxes = watcher.Stop();
    }
    EXPECT_EQ(seen.done, 1);
    EXPECT_TRUE(boxes.empty());
    EXPECT_EQ(wh::ReadAll(inst + "\\k1.dll"), "one");
    EXPECT_FALSE(wh::Exists(inst + "\\k2.dll"));
    EXPECT_FALSE(wh::Exists(inst + "\\k2b.dll"));
    EXPECT_FALSE(wh::Exists(inst + "\\k3.dll"));
}

}  // namespace
