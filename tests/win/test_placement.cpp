// test_placement.cpp -- file placement under Wine: real packages (built with
// pkgwriter.h) extracted into real files, their times and progress notices,
// damaged entries over new and existing targets, targets held open by
// another handle (pending renames on NT; WININIT.INI [Rename] on Windows 98
// through a copy of this program that Wine runs as win98), the message boxes
// read and closed the way a user would, and file versions of real PE files.
//
// Must not leave pending renames, [Rename] lines or AppDefaults keys behind:
// a later wineboot would carry them out as a restart.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/placement.h"
#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "launcher/services.h"
#include "package/reader.h"
#include "pkgwriter.h"
#include "setupinfo/journal.h"
#include "ui/mainwindow.h"
#include "ui/uicodes.h"
#include "uidriver.h"

namespace {

const char kCaption[] = "Installation of PlaceTest";
const char kArchiveCorrupt[] =
    "This install file was corrupted or truncated, There were some errors while extracting "
    "files from archive.\n\nAborting Installation.";
const char kSessionManager[] = "System\\CurrentControlSet\\Control\\Session Manager";
const char kPending[] = "PendingFileRenameOperations";
const char kChildKey[] = "Software\\Wine\\AppDefaults\\nvr_place98.exe";
const char kChildArgs[] =
    "--gtest_brief=1 --gtest_also_run_disabled_tests "
    "--gtest_filter=PlacementTest.DISABLED_Win98Child";

using pkgw::Bytes;

uint32_t FatTime(int y, int mo, int d, int h, int mi, int s)
{
    return (uint32_t)((((y - 1980) << 9) | (mo << 5) | d) << 16) | (h << 11) | (mi << 5) | (s / 2);
}

std::string Text(const Bytes &b) { return std::string(b.begin(), b.end()); }
Bytes Of(const std::string &s) { return Bytes(s.begin(), s.end()); }

SYSTEMTIME LocalWriteTime(const std::string &path)
{
    SYSTEMTIME st = {};
    FILETIME utc, local;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, NULL);
    if (f != INVALID_HANDLE_VALUE && GetFileTime(f, NULL, NULL, &utc) &&
        FileTimeToLocalFileTime(&utc, &local))
        FileTimeToSystemTime(&local, &st);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
    return st;
}

std::string Stamp(const SYSTEMTIME &t)
{
    char buf[40];
    wsprintfA(buf, "%04d-%02d-%02d %02d:%02d:%02d", t.wYear, t.wMonth, t.wDay, t.wHour,
              t.wMinute, t.wSecond);
    return buf;
}

std::vector<std::string> FilesIn(const std::string &dir, const char *pattern)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + pattern).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(dir + "\\" + fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName, full = dir + "\\" + name;
            if (name == "." || name == "..") continue;
            SetFileAttributesA(full.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else DeleteFileA(full.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string ShortName(const std::string &path)
{
    char buf[MAX_PATH];
    DWORD n = GetShortPathNameA(path.c_str(), buf, sizeof buf);
    return n && n < sizeof buf ? std::string(buf) : std::string();
}

std::string ProgramFolder()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, MAX_PATH);
    std::string s(path);
    return s.substr(0, s.rfind('\\'));
}

// The raw PendingFileRenameOperations value (empty when missing).
std::string PendingValue()
{
    std::string value;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return value;
    DWORD size = 0, type;
    if (RegQueryValueExA(key, kPending, NULL, &type, NULL, &size) == ERROR_SUCCESS && size) {
        value.resize(size);
        RegQueryValueExA(key, kPending, NULL, &type, (BYTE *)&value[0], &size);
        value.resize(size);
    }
    RegCloseKey(key);
    return value;
}

void RestorePending(const std::string &value)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManager, 0, KEY_SET_VALUE, &key) != ERROR_SUCCESS)
        return;
    if (value.empty()) RegDeleteValueA(key, kPending);
    else RegSetValueExA(key, kPending, 0, REG_MULTI_SZ, (const BYTE *)value.data(), (DWORD)value.size());
    RegCloseKey(key);
}

// Source/target pairs of the pending renames; a target that replaces an
// existing file carries a leading '!'.
std::vector<std::pair<std::string, std::string>> PendingRenames()
{
    std::vector<std::string> parts;
    std::string value = PendingValue();
    for (size_t at = 0; at < value.size();) {
        size_t end = value.find('\0', at);
        if (end == std::string::npos) end = value.size();
        parts.push_back(value.substr(at, end - at));
        at = end + 1;
    }
    std::vector<std::pair<std::string, std::string>> pairs;
    for (size_t i = 0; i + 1 < parts.size(); i += 2)
        if (!parts[i].empty()) pairs.push_back({parts[i], parts[i + 1]});
    return pairs;
}

// Records the byte counts of the CodeAddBytes notices a page receives.
std::vector<LPARAM> g_added;

LRESULT CALLBACK PageProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    if (m == WM_USER && wp == CodeAddBytes) {
        g_added.push_back(lp);
        return 0;
    }
    return DefWindowProcA(w, m, wp, lp);
}

HWND MakePage()
{
    static ATOM atom;
    if (!atom) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PageProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "NvrPlaceTestPage";
        atom = RegisterClassA(&wc);
    }
    return CreateWindowA("NvrPlaceTestPage", "", 0, 0, 0, 0, 0, HWND_MESSAGE, NULL,
                         GetModuleHandleA(NULL), NULL);
}

// Reads and closes (OK) every message box this process shows while it lives,
// so that an unexpected box fails a test instead of blocking it. PlaceFile
// returns only after its box was closed, so Take() after it sees the box.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Run(); }) {}
    ~BoxWatcher()
    {
        stop_ = true;
        thread_.join();
    }
    std::vector<uidriver::MessageBoxSeen> Take()
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<uidriver::MessageBoxSeen> boxes;
        boxes.swap(boxes_);
        return boxes;
    }

private:
    void Run()
    {
        while (!stop_) {
            uidriver::MessageBoxSeen box = uidriver::WaitMessageBox(GetCurrentProcessId(), 100);
            if (!box.window) continue;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                boxes_.push_back(box);
            }
            uidriver::Press(box.window, IDOK);
            for (int i = 0; i < 500 && IsWindow(box.window); i++) Sleep(10);
        }
    }
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<uidriver::MessageBoxSeen> boxes_;
    std::thread thread_;
};

class PlacementTest : public ::testing::Test {
protected:
    std::string dir, pending;
    pkgw::Writer writer;
    std::unique_ptr<BoxWatcher> watcher;

    void SetUp() override
    {
        static int serial;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        dir = std::string(temp) + "nvr_place_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++serial);
        CreateDirectoryA(dir.c_str(), NULL);
        lstrcpynA(g_caption, kCaption, NVR_CAPTION_SIZE);
        lstrcpynA(g_packagePath, (dir + "\\Setup.exe").c_str(), NVR_PATH_SIZE);
        ASSERT_EQ(SetUpRun(), 1);
        BeginJournalReadBack();   // a fresh journal: counting starts at 0
        g_languageFlag = 1;
        g_currentPage = NULL;
        g_uiReady = 0;
        g_abortFlag = 0;
        g_restartNeeded = 0;
        g_placementFaults = 0;
        g_added.clear();
        pending = PendingValue();
        watcher.reset(new BoxWatcher);
    }
    void TearDown() override
    {
        EXPECT_TRUE(watcher->Take().empty()) << "message box not expected by the test";
        watcher.reset();
        if (g_reader) ClosePackage(g_reader);
        g_reader = NULL;
        if (g_currentPage) DestroyWindow(g_currentPage);
        g_currentPage = NULL;
        CleanUpRun();
        RestorePending(pending);
        RemoveTree(dir);
        g_abortFlag = 0;
        g_uiReady = 0;
    }

    // Writes the package of the entries added to writer and opens it; the
    // first entry is current.
    void OpenWritten()
    {
        pkgw::Writer::WriteVolumes(g_packagePath, writer.Build());
        g_reader = OpenPackage(g_packagePath, NVR_MODULE_LENGTH);
        ASSERT_NE(g_reader, nullptr);
    }

    std::string Path(const std::string &name) { return dir + "\\" + name; }

    // Lays down an existing target with content and a known (UTC) time.
    void MakeExisting(const std::string &path, const std::string &content)
    {
        ASSERT_TRUE(uidriver::WriteFileBytes(path, content));
        SYSTEMTIME st = {2001, 2, 0, 3, 4, 5, 6, 0};
        FILETIME ft;
        SystemTimeToFileTime(&st, &ft);
        HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        SetFileTime(f, NULL, NULL, &ft);
        CloseHandle(f);
    }

    std::vector<std::string> JournalSources()
    {
        std::vector<std::string> names;
        char item[NVR_JOURNAL_ITEM_SIZE];
        BeginJournalReadBack();
        while (NextJournalItem(NVR_JOURNAL_SOURCES, item)) names.push_back(item);
        return names;
    }

    // Holds path open the way a running program would: no write sharing.
    static HANDLE Hold(const std::string &path)
    {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    }

    void InUseRoad(bool expectScheduled);
};

TEST_F(PlacementTest, FreshTargetsGetContentTimeAndProgress)
{
    Bytes big = pkgw::RandomBytes(40000, 1);   // three chunks
    writer.Add("Src\\big.bin", big).modTime = FatTime(2024, 3, 5, 13, 47, 31);
    writer.Add("Src\\empty.txt", Bytes()).modTime = FatTime(1999, 12, 31, 23, 59, 58);
    writer.Add("Src\\quiet.txt", pkgw::TextBytes(20000, 2));
    OpenWritten();
    g_currentPage = MakePage();

    ASSERT_EQ(PlaceFile(Path("big.bin").c_str()), 40000);
    EXPECT_EQ(uidriver::ReadFileBytes(Path("big.bin")), Text(big));
    EXPECT_EQ(Stamp(LocalWriteTime(Path("big.bin"))), "2024-03-05 13:47:30");   // 2-second steps
    LPARAM sum = 0;
    for (LPARAM n : g_added) {
        EXPECT_GT(n, 0);
        EXPECT_LE(n, (LPARAM)NVR_IO_CHUNK);
        sum += n;
    }
    EXPECT_EQ(sum, 40000);
    EXPECT_GE(g_added.size(), 3u);

    // An empty entry is a success: an empty file with the entry's time.
    g_added.clear();
    ASSERT_EQ(NextEntry(g_reader), 0);
    EXPECT_EQ(PlaceFile(Path("empty.txt").c_str()), 0);
    EXPECT_EQ(GetFileAttributesA(Path("empty.txt").c_str()) & FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(uidriver::ReadFileBytes(Path("empty.txt")), "");
    EXPECT_EQ(Stamp(LocalWriteTime(Path("empty.txt"))), "1999-12-31 23:59:58");
    EXPECT_TRUE(g_added.empty());

    // The abort flag silences the notices but does not stop the extraction.
    g_abortFlag = 1;
    ASSERT_EQ(NextEntry(g_reader), 0);
    EXPECT_EQ(PlaceFile(Path("quiet.txt").c_str()), 20000);
    EXPECT_EQ(uidriver::ReadFileBytes(Path("quiet.txt")).size(), 20000u);
    EXPECT_TRUE(g_added.empty());
    EXPECT_TRUE(FilesIn(dir, "_if*").empty());
    EXPECT_TRUE(JournalSources().empty());
    EXPECT_EQ(g_restartNeeded, 0);
}

TEST_F(PlacementTest, ExistingTargetIsReplacedOnlyAfterTheCheck)
{
    Bytes fresh = pkgw::TextBytes(30000, 3);
    writer.Add("Src\\a.txt", fresh).modTime = FatTime(2020, 6, 7, 8, 9, 10);
    OpenWritten();
    MakeExisting(Path("a.txt"), "old content");

    EXPECT_EQ(PlaceFile(Path("a.txt").c_str()), 30000);
    EXPECT_EQ(uidriver::ReadFileBytes(Path("a.txt")), Text(fresh));
    EXPECT_EQ(Stamp(LocalWriteTime(Path("a.txt"))), "2020-06-07 08:09:10");
    EXPECT_EQ(FilesIn(dir, "*.txt").size(), 1u);
    EXPECT_TRUE(FilesIn(dir, "_if*").empty());
    EXPECT_TRUE(JournalSources().empty());
    EXPECT_EQ(g_restartNeeded, 0);
}

// Damage found while reading or only at the end: the new file is removed, an
// existing target keeps its content and time, and the box depends on the
// UI-ready and abort flags.
TEST_F(PlacementTest, DamagedEntriesLoseNothing)
{
    struct Case {
        const char *what;
        bool existing;
        int uiReady, abort;
        bool box;
    } cases[] = {
        {"crc, fresh, ui ready", false, 1, 0, true},
        {"crc, fresh, before the ui", false, 0, 0, false},
        {"crc, fresh, aborted", false, 1, 1, false},
        {"crc, existing", true, 1, 0, true},
        {"truncated stream, existing", true, 1, 0, true},
        {"broken stream, fresh", false, 1, 0, true},
        {"broken stream, existing", true, 0, 0, false},
    };
    for (const Case &c : cases) {
        Bytes data = pkgw::TextBytes(50000, 4);
        pkgw::Entry &e = writer.Add(c.what, data);
        std::string what = c.what;
        if (what.find("crc") == 0) e.crc ^= 1;
        if (what.find("truncated") == 0) e.packed.resize(e.packed.size() / 2);
        if (what.find("broken") == 0)
            for (size_t i = 0; i < e.packed.size(); i += 7) e.packed[i] ^= 0x5A;
    }
    OpenWritten();
    int k = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        if (k++) ASSERT_EQ(NextEntry(g_reader), 0);
        std::string target = Path("t" + std::to_string(k) + ".txt");
        if (c.existing) MakeExisting(target, "keep me");
        g_uiReady = c.uiReady;
        g_abortFlag = c.abort;
        EXPECT_EQ(PlaceFile(target.c_str()), -1);
        std::vector<uidriver::MessageBoxSeen> boxes = watcher->Take();
        if (c.existing) {
            EXPECT_EQ(uidriver::ReadFileBytes(target), "keep me");
            EXPECT_EQ(Stamp(LocalWriteTime(target)).substr(0, 10), "2001-02-03");
        } else {
            EXPECT_EQ(GetFileAttributesA(target.c_str()), INVALID_FILE_ATTRIBUTES);
        }
        EXPECT_TRUE(FilesIn(dir, "_if*").empty());
        ASSERT_EQ(boxes.size(), c.box ? 1u : 0u);
        if (c.box) {
            EXPECT_EQ(boxes[0].caption, kCaption);
            EXPECT_EQ(boxes[0].text, kArchiveCorrupt);
        }
    }
    EXPECT_EQ(g_restartNeeded, 0);
}

TEST_F(PlacementTest, TargetThatCannotBeCreatedIsReported)
{
    writer.Add("Src\\x.txt", pkgw::TextBytes(100, 5));
    OpenWritten();
    std::string target = Path("no such folder\\x.txt");
    g_uiReady = 1;
    EXPECT_EQ(PlaceFile(target.c_str()), -1);
    std::vector<uidriver::MessageBoxSeen> boxes = watcher->Take();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't install file '" + target + "'.\n\nAborting installation.");
    EXPECT_EQ(GetFileAttributesA(Path("no such folder").c_str()), INVALID_FILE_ATTRIBUTES);
    // The entry was not begun: it can still be extracted elsewhere.
    EXPECT_EQ(PlaceFile(Path("x.txt").c_str()), 100);
}

// A target held open without write sharing: the new content goes to a "_if"
// file beside it, which the journal lists and which is scheduled to replace
// the target at the next restart (unless administrator rights are missing).
void PlacementTest::InUseRoad(bool expectScheduled)
{
    Bytes fresh = pkgw::TextBytes(25000, 6);
    writer.Add("DLL1", fresh).modTime = FatTime(2022, 2, 2, 2, 2, 2);
    OpenWritten();
    std::string target = Path("busy.dll");
    MakeExisting(target, "running");
    HANDLE hold = Hold(target);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    g_uiReady = 1;
    EXPECT_EQ(PlaceFile(target.c_str()), 25000);
    std::vector<uidriver::MessageBoxSeen> boxes = watcher->Take();
    CloseHandle(hold);

    EXPECT_EQ(uidriver::ReadFileBytes(target), "running");
    std::vector<std::string> temps = FilesIn(dir, "_if*.tmp");
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(uidriver::ReadFileBytes(temps[0]), Text(fresh));
    EXPECT_EQ(Stamp(LocalWriteTime(temps[0])), "2022-02-02 02:02:02");
    EXPECT_EQ(JournalSources(), std::vector<std::string>{temps[0]});

    std::vector<std::pair<std::string, std::string>> renames = PendingRenames();
    int found = 0;
    for (auto &r : renames)
        if (r.first == "\\??\\" + temps[0] && r.second == "!\\??\\" + target) found++;
    EXPECT_EQ(found, expectScheduled ? 1 : 0);
    EXPECT_EQ(g_restartNeeded, expectScheduled ? 1 : 0);
    if (expectScheduled) {
        EXPECT_TRUE(boxes.empty());
    } else {
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "As current user does not have admin privileges, can't install file '" +
                                     target + "'.\n\nIf you have trouble using this application, "
                                     "log-on as admin and restart installation.");
    }
}

TEST_F(PlacementTest, InUseTargetIsReplacedAtRestart) { InUseRoad(true); }

TEST_F(PlacementTest, InUseTargetWithoutAdminRightsIsOnlyWrittenBeside)
{
    g_placementFaults = NVR_PLACE_NO_ADMIN;
    InUseRoad(false);
}

// A damaged entry for a target in use schedules nothing: no rename may point
// at the deleted temporary file.
TEST_F(PlacementTest, DamagedEntryForTargetInUseSchedulesNothing)
{
    writer.Add("DLL1", pkgw::TextBytes(25000, 7)).crc ^= 0x100;
    OpenWritten();
    std::string target = Path("busy.dll");
    MakeExisting(target, "running");
    HANDLE hold = Hold(target);
    EXPECT_EQ(PlaceFile(target.c_str()), -1);
    CloseHandle(hold);
    EXPECT_EQ(uidriver::ReadFileBytes(target), "running");
    EXPECT_TRUE(FilesIn(dir, "_if*").empty());
    EXPECT_EQ(PendingValue(), pending);
    EXPECT_EQ(g_restartNeeded, 0);
}

// No "_if" name can be made beside the target (seam: Wine makes one even in
// a 247-character folder): reported as a failed install; the target, the
// journal and the pending renames stay as they were.
TEST_F(PlacementTest, NoTemporaryFileBesideTheTarget)
{
    struct Case {
        const char *name;
        size_t size;
        bool inUse;
    } cases[] = {{"free.dll", 100, false}, {"busy.dll", 100, true}, {"empty.dll", 0, true}};
    for (const Case &c : cases) writer.Add(c.name, pkgw::TextBytes(c.size, 8));
    OpenWritten();
    g_placementFaults = NVR_PLACE_NO_TEMP;
    g_uiReady = 1;
    int k = 0;
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        if (k++) ASSERT_EQ(NextEntry(g_reader), 0);
        std::string target = Path(c.name);
        MakeExisting(target, "running");
        HANDLE hold = c.inUse ? Hold(target) : INVALID_HANDLE_VALUE;
        EXPECT_EQ(PlaceFile(target.c_str()), -1);   // even with nothing to write
        std::vector<uidriver::MessageBoxSeen> boxes = watcher->Take();
        if (c.inUse) CloseHandle(hold);
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, "Can't install file '" + target + "'.\n\nAborting installation.");
        EXPECT_EQ(uidriver::ReadFileBytes(target), "running");
    }
    EXPECT_TRUE(FilesIn(dir, "_if*").empty());
    EXPECT_TRUE(JournalSources().empty());
    EXPECT_EQ(PendingValue(), pending);
    EXPECT_EQ(g_restartNeeded, 0);
}

// Windows 98: a copy of this program that Wine runs as win98 does the in-use
// placement (DISABLED_Win98Child); the [Rename] line names both files by
// their short paths.
TEST_F(PlacementTest, InUseTargetOnWindows98GoesToWininit)
{
    std::string wininit = uidriver::WindowsFolder() + "\\WININIT.INI";
    bool hadWininit = GetFileAttributesA(wininit.c_str()) != INVALID_FILE_ATTRIBUTES;
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kChildKey, 0, NULL, 0, KEY_WRITE, NULL, &key, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, (const BYTE *)"win98", 6);
    RegCloseKey(key);
    std::string child = Path("nvr_place98.exe");
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\test_placement.exe").c_str(), child.c_str(), FALSE));
    std::string work = Path("child");
    CreateDirectoryA(work.c_str(), NULL);
    SetEnvironmentVariableA("NVR_PLACE_CHILD_DIR", work.c_str());
    uidriver::Process p = uidriver::Start("\"" + child + "\" " + kChildArgs);
    DWORD code = uidriver::WaitExit(p, 60000);
    SetEnvironmentVariableA("NVR_PLACE_CHILD_DIR", NULL);
    RegDeleteKeyA(HKEY_CURRENT_USER, kChildKey);

    EXPECT_EQ(code, 0u);
    std::string target = work + "\\busy.dll";
    std::vector<std::string> temps = FilesIn(work, "_if*.tmp");
    ASSERT_EQ(temps.size(), 1u);
    EXPECT_EQ(uidriver::ReadFileBytes(target), "running");
    EXPECT_EQ(uidriver::ReadFileBytes(temps[0]), "new content for 98");
    std::string shortTarget = ShortName(target), shortTemp = ShortName(temps[0]);
    ASSERT_FALSE(shortTarget.empty());
    char value[MAX_PATH] = "";
    GetPrivateProfileStringA("Rename", shortTarget.c_str(), "", value, sizeof value, wininit.c_str());
    EXPECT_EQ(std::string(value), shortTemp);
    EXPECT_EQ(uidriver::ReadFileBytes(work + "\\free.txt"), "replaced on 98");   // delete + rename

    WritePrivateProfileStringA("Rename", shortTarget.c_str(), NULL, wininit.c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, wininit.c_str());
    if (!hadWininit) DeleteFileA(wininit.c_str());
}

TEST_F(PlacementTest, DISABLED_Win98Child)
{
    char work[MAX_PATH];
    if (!GetEnvironmentVariableA("NVR_PLACE_CHILD_DIR", work, sizeof work)) GTEST_SKIP();
    ASSERT_EQ(IsWindowsNT(), 0);
    std::string target = std::string(work) + "\\busy.dll", other = std::string(work) + "\\free.txt";
    writer.Add("DLL1", Of("new content for 98"));
    writer.Add("Src\\free.txt", Of("replaced on 98"));   // a free existing target
    OpenWritten();
    MakeExisting(target, "running");
    MakeExisting(other, "old");
    HANDLE hold = Hold(target);
    EXPECT_EQ(PlaceFile(target.c_str()), 18);
    CloseHandle(hold);
    EXPECT_EQ(g_restartNeeded, 1);
    ASSERT_EQ(NextEntry(g_reader), 0);
    EXPECT_EQ(PlaceFile(other.c_str()), 14);
}

// ---- versions and descriptions --------------------------------------------

TEST(PlacementVersions, FixedFileVersionOfRealFiles)
{
    std::string programs = ProgramFolder();
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    char text[MAX_PATH];
    GetTempPathA(MAX_PATH, text);
    std::string textFile = std::string(text) + "nvr_place_version.txt";
    uidriver::WriteFileBytes(textFile, "no resources here");

    struct Case {
        std::string path;
        int found;
        DWORD high, low;
    } cases[] = {
        {programs + "\\dll_ver1200.dll", 1, 0x00010002, 0},
        {programs + "\\dll_ver1100.dll", 1, 0x0001000A, 0},
        {textFile, 0, NVR_NO_VERSION, NVR_NO_VERSION},
        {programs + "\\no_such_file.dll", 0, NVR_NO_VERSION, NVR_NO_VERSION},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.path);
        DWORD high = 7, low = 7;
        EXPECT_EQ(GetFileVersionPair(c.path.c_str(), &high, &low), c.found);
        EXPECT_EQ(high, c.high);
        EXPECT_EQ(low, c.low);
    }
    DeleteFileA(textFile.c_str());

    // Wine's own DLLs carry a version resource.
    DWORD high = 0, low = 0;
    EXPECT_EQ(GetFileVersionPair((std::string(system) + "\\version.dll").c_str(), &high, &low), 1);
    EXPECT_NE(high, NVR_NO_VERSION);
    EXPECT_NE(high, 0u);

    // 1.2 is older than 1.10: each half is one number.
    DWORD h12, l12, h110, l110;
    GetFileVersionPair(cases[0].path.c_str(), &h12, &l12);
    GetFileVersionPair(cases[1].path.c_str(), &h110, &l110);
    EXPECT_LT(CompareVersions(h12, l12, h110, l110), 0);
}

TEST(PlacementVersions, CompareVersionsTable)
{
    const DWORD N = NVR_NO_VERSION;
    struct Case {
        DWORD ah, al, bh, bl;
        int sign;
    } cases[] = {
        {0x00010002, 0, 0x0001000A, 0, -1},             // 1.2.0.0 vs 1.10.0.0
        {0x0001000A, 0, 0x00010002, 0, 1},
        {0x00030004, 0x00050006, 0x00030004, 0x00050006, 0},
        {0x00010000, 0x00020000, 0x00010000, 0x00010009, 1},   // low halves decide
        {0x00020000, 0, 0x00010000, 0xFFFFFFFE, 1},     // the high half dominates
        {0x00010000, 0xFFFFFFFE, 0x00020000, 0, -1},
        {N, 0, 0x00010000, 0, 0},                       // any missing half: 0
        {0x00010000, N, 0x00010000, 0, 0},
        {0x00010000, 0, N, 0, 0},
        {0x00010000, 0, 0x00010000, N, 0},
        {N, N, N, N, 0},
        {0x9C400000, 0, 0x00010000, 0, 1},              // 40000.0 vs 1.0: no 32-bit wrap
        {0x00010000, 0, 0x9C400000, 0, -1},
        {1, 0x80000001, 1, 0, 1},
        {0xFFFFFFFE, 0, 0, 0, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.ah << "." << c.al << " vs " << c.bh << "."
                                        << c.bl);
        LONG r = CompareVersions(c.ah, c.al, c.bh, c.bl);
        EXPECT_EQ((r > 0) - (r < 0), c.sign);
    }
}

TEST(PlacementVersions, PackageFileNewer)
{
    FILETIME early = {1000, 30000000}, late = {2000, 30000000};
    struct Case {
        DWORD pkgHigh, fileHigh;
        FILETIME pkgTime, fileTime;
        int newer;
    } cases[] = {
        {0x00010000, 0x00010000, early, early, 0},   // same version, same time
        {0x00010000, 0x00010000, late, early, 1},    // same version, later time
        {0x00010000, 0x00010000, early, late, 0},
        {0x00020000, 0x00010000, early, late, 1},    // the version decides first
        {0x00010000, 0x00020000, late, early, 0},
        {NVR_NO_VERSION, 0x00020000, late, early, 1},   // no version: the time decides
        {NVR_NO_VERSION, NVR_NO_VERSION, early, early, 0},
    };
    for (const Case &c : cases) {
        FileInfo pkg = {"pkg", 0, c.pkgTime, c.pkgHigh, 0};
        FileInfo file = {"file", 0, c.fileTime, c.fileHigh, 0};
        EXPECT_EQ(IsPackageFileNewer(&pkg, &file), c.newer);
    }
}

TEST_F(PlacementTest, DescribeFilesAndEntries)
{
    // A file: size, local time and version.
    std::string dll = Path("v.dll");
    ASSERT_TRUE(CopyFileA((ProgramFolder() + "\\dll_ver1200.dll").c_str(), dll.c_str(), FALSE));
    FileInfo info = {dll.c_str(), 0, {0, 0}, 0, 0};
    ASSERT_EQ(DescribeExistingFile(&info), 1);
    EXPECT_EQ(info.size, (DWORD)uidriver::ReadFileBytes(dll).size());
    SYSTEMTIME st;
    FileTimeToSystemTime(&info.time, &st);
    EXPECT_EQ(Stamp(st), Stamp(LocalWriteTime(dll)));
    EXPECT_EQ(info.versionHigh, 0x00010002u);

    // A folder exists too (without a version); a missing name changes nothing.
    FileInfo folder = {dir.c_str(), 5, {1, 1}, 0, 0};
    EXPECT_EQ(DescribeExistingFile(&folder), 1);
    EXPECT_EQ(folder.versionHigh, NVR_NO_VERSION);
    std::string missing = Path("missing.txt");
    FileInfo none = {missing.c_str(), 5, {6, 7}, 8, 9};
    EXPECT_EQ(DescribeExistingFile(&none), 0);
    EXPECT_EQ(none.size, 5u);
    EXPECT_EQ(none.time.dwLowDateTime, 6u);
    EXPECT_EQ(none.time.dwHighDateTime, 7u);
    EXPECT_EQ(none.versionHigh, 8u);
    EXPECT_EQ(none.versionLow, 9u);

    // The current entry, from its header.
    pkgw::Entry &e = writer.Add("DLL1", pkgw::TextBytes(1234, 9));
    e.modTime = FatTime(2010, 10, 10, 10, 10, 10);
    e.versionHigh = 0x00040005;
    e.versionLow = 0x00060007;
    OpenWritten();
    FileInfo entry = {};
    ASSERT_EQ(DescribeCurrentEntry(&entry), 1);
    EXPECT_STREQ(entry.name, "DLL1");
    EXPECT_EQ(entry.size, 1234u);
    FileTimeToSystemTime(&entry.time, &st);
    EXPECT_EQ(Stamp(st), "2010-10-10 10:10:10");
    EXPECT_EQ(entry.versionHigh, 0x00040005u);
    EXPECT_EQ(entry.versionLow, 0x00060007u);
    EXPECT_EQ(IsCurrentEntryNamed("dll1"), 1);
    EXPECT_EQ(IsCurrentEntryNamed("DLL10"), 0);
    EXPECT_EQ(IsCurrentEntryNamed("DLL"), 0);

    PackageReader *reader = g_reader;
    g_reader = NULL;
    EXPECT_EQ(DescribeCurrentEntry(&entry), 0);
    EXPECT_EQ(IsCurrentEntryNamed("DLL1"), 0);
    g_reader = reader;
}

}  // namespace
