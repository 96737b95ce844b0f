// test_runsetup.cpp -- the install run's set-up and clean-up under Wine: the
// choice of the temporary folder from the environment, the Program Files and
// Common Files defaults, the four "_if" names, a failing temporary name (and
// its message box) and what clean-up leaves behind.
//
// Changes the process environment and HKLM\...\CurrentVersion of the test
// prefix; both are restored. Needs an X display (xvfb-run) for the box.
#include <gtest/gtest.h>
#include <windows.h>

#include <set>
#include <string>
#include <vector>

#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "package/format.h"
#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"
#include "ui/startupmsg.h"

namespace {

const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

std::string Env(const char *name)
{
    char value[1024];
    DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
    return n && n < sizeof value ? value : "";
}

void SetEnv(const char *name, const std::string *value)
{
    SetEnvironmentVariableA(name, value ? value->c_str() : NULL);
}

std::string WindowsFolder()
{
    char folder[MAX_PATH];
    GetWindowsDirectoryA(folder, MAX_PATH);
    return folder;
}

// Names of the files in folder that match pattern.
std::vector<std::string> Files(const std::string &folder, const char *pattern = "*")
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\" + pattern).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

void RemoveTree(const std::string &folder)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(folder + "\\" + name);
            else
                DeleteFileA((folder + "\\" + name).c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(folder.c_str());
}

// One saved registry value, put back (or deleted again) on destruction.
class SavedValue {
public:
    explicit SavedValue(const char *name) : name_(name)
    {
        DWORD size = sizeof data_;
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_QUERY_VALUE, &key) == 0) {
            present_ = RegQueryValueExA(key, name, NULL, &type_, data_, &size) == 0;
            size_ = size;
            RegCloseKey(key);
        }
    }
    ~SavedValue()
    {
        if (present_) Write(type_, data_, size_);
        else Delete();
    }
    void Write(DWORD type, const void *data, DWORD size)
    {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_SET_VALUE, &key), 0);
        EXPECT_EQ(RegSetValueExA(key, name_, 0, type, (const BYTE *)data, size), 0);
        RegCloseKey(key);
    }
    void Write(const std::string &text) { Write(REG_SZ, text.c_str(), (DWORD)text.size() + 1); }
    void Delete()
    {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_SET_VALUE, &key) == 0) {
            RegDeleteValueA(key, name_);
            RegCloseKey(key);
        }
    }

private:
    const char *name_;
    bool present_ = false;
    DWORD type_ = REG_SZ;
    DWORD size_ = 0;
    BYTE data_[1024];
};

// Finds the message box of this process, records its caption and text and
// presses OK, so that a failing set-up does not block the test.
class BoxCloser {
public:
    BoxCloser() { thread_ = CreateThread(NULL, 0, Run, this, 0, NULL); }
    ~BoxCloser() { Join(); }
    void Join()
    {
        if (thread_) {
            WaitForSingleObject(thread_, INFINITE);
            CloseHandle(thread_);
            thread_ = NULL;
        }
    }
    bool seen = false;
    std::string caption, text;

private:
    static BOOL CALLBACK Match(HWND window, LPARAM param)
    {
        char cls[16];
        DWORD pid = 0;
        GetWindowThreadProcessId(window, &pid);
        if (pid != GetCurrentProcessId() || !GetClassNameA(window, cls, sizeof cls) ||
            lstrcmpA(cls, "#32770") != 0)
            return TRUE;
        *(HWND *)param = window;
        return FALSE;
    }
    static DWORD WINAPI Run(LPVOID param)
    {
        BoxCloser *self = (BoxCloser *)param;
        for (int i = 0; i < 500; i++) {       // up to 10 s
            HWND box = NULL;
            EnumWindows(Match, (LPARAM)&box);
            if (box) {
                char buffer[1024];
                Sleep(50);                    // let the box finish initialising
                GetWindowTextA(box, buffer, sizeof buffer);
                self->caption = buffer;
                GetDlgItemTextA(box, 0xFFFF, buffer, sizeof buffer);
                self->text = buffer;
                self->seen = true;
                PostMessageA(box, WM_COMMAND, IDOK, 0);
                return 0;
            }
            Sleep(20);
        }
        return 0;
    }
    HANDLE thread_ = NULL;
};

class RunSetUpTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        savedTemp_ = Env("TEMP");
        savedTmp_ = Env("TMP");
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        root_ = std::string(temp) + "nvr_runsetup_" + std::to_string(GetCurrentProcessId());
    }
    void SetUp() override
    {
        RemoveTree(root_);
        ASSERT_TRUE(CreateDirectoryA(root_.c_str(), NULL));
        CreateDirectoryA(Tmp().c_str(), NULL);
        CopyBounded(NVR_PATH_SIZE, g_packagePath, "C:\\pkg\\dir\\Setup.exe");
        g_failTempName = 0;
    }
    void TearDown() override
    {
        g_failTempName = 0;
        SetEnv("TEMP", savedTemp_.empty() ? NULL : &savedTemp_);
        SetEnv("TMP", savedTmp_.empty() ? NULL : &savedTmp_);
        RemoveTree(root_);
    }

    // SetUpRun with the given TEMP and TMP (NULL: unset).
    int SetUpWith(const std::string *temp, const std::string *tmp)
    {
        SetEnv("TEMP", temp);
        SetEnv("TMP", tmp);
        return SetUpRun();
    }

    // Clean-up as the install run ends without a restart pending.
    void Finish()
    {
        CleanUpRun();
        ProfileFlush(g_endInstallPath);
        DeleteFileA(g_endInstallPath);
    }

    static std::string Tmp() { return root_ + "\\tmp"; }

    static std::string root_, savedTemp_, savedTmp_;
};
std::string RunSetUpTest::root_, RunSetUpTest::savedTemp_, RunSetUpTest::savedTmp_;

TEST_F(RunSetUpTest, TemporaryFolderChoice)
{
    const std::string blank = "  \t", tmp = Tmp(), missing = root_ + "\\a\\b\\c",
                      slash = Tmp() + "\\", file = root_ + "\\plain.txt",
                      tooLong = root_ + "\\" + std::string(300, 'x'), noDrive = "Q:\\nvr\\temp",
                      windows = WindowsFolder();
    CloseHandle(CreateFileA(file.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    struct Case {
        const char *what;
        const std::string *temp, *tmp;
        const std::string &expected;
    } cases[] = {
        {"TEMP unset", NULL, &tmp, tmp},
        {"TEMP blank", &blank, &tmp, tmp},
        {"TEMP missing: all levels created", &missing, &tmp, missing},
        // The buffer still holds the folder of the case before: a value that does
        // not fit must not make it count.
        {"TEMP longer than a path", &tooLong, NULL, windows},
        {"TEMP with trailing backslash", &slash, &blank, tmp},
        {"TEMP names a file", &file, &tmp, tmp},
        {"TEMP cannot be created", &noDrive, &tmp, tmp},
        {"both unset", NULL, NULL, windows},
        {"both unusable", &noDrive, &blank, windows},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(SetUpWith(c.temp, c.tmp), 1);
        EXPECT_EQ(std::string(g_tempFolder), c.expected);
        EXPECT_TRUE(FolderExists(g_tempFolder));
        EXPECT_EQ(std::string(PathFolder(g_infoFile)), c.expected);
        Finish();
    }
}

TEST_F(RunSetUpTest, FoldersNamesListAndBuffer)
{
    const std::string tmp = Tmp();
    ASSERT_EQ(SetUpWith(&tmp, NULL), 1);
    EXPECT_STREQ(g_packageFolder, "C:\\pkg\\dir");
    EXPECT_STREQ(g_packageDrive, "C:");
    EXPECT_EQ(std::string(g_windowsFolder), WindowsFolder());
    EXPECT_EQ(std::string(g_windowsDrive), WindowsFolder().substr(0, 2));
    char system[MAX_PATH];
    GetSystemDirectoryA(system, MAX_PATH);
    EXPECT_STREQ(g_systemFolder, system);

    // Four distinct "_if" names in the temporary folder; only the source-file
    // list exists (created anew and open), the others come into being when
    // first written.
    const char *names[] = {g_infoFile, g_journalFile, g_sourceListFile, g_endInstallPath};
    std::set<std::string> distinct;
    for (const char *name : names) {
        SCOPED_TRACE(name);
        EXPECT_EQ(std::string(PathFileName(name)).compare(0, 3, "_if"), 0);
        EXPECT_EQ(std::string(PathFolder(name)), tmp);
        EXPECT_EQ(FileExists(name) != 0, name == g_sourceListFile);
        distinct.insert(CharUpperA(std::string(name).data()));
    }
    EXPECT_EQ(distinct.size(), 4u);
    EXPECT_EQ(Files(tmp), std::vector<std::string>{PathFileName(g_sourceListFile)});

    ASSERT_NE(g_sourceList, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(g_sourceList, "abc", 3, &written, NULL));
    ASSERT_NE(g_transferBuffer, nullptr);
    EXPECT_GE(HeapSize(GetProcessHeap(), 0, g_transferBuffer), (SIZE_T)NVR_IO_CHUNK);
    memset(g_transferBuffer, 0x5A, NVR_IO_CHUNK);
    Finish();
}

// After clean-up only the End-install information file is left, as a
// restart would need it.
TEST_F(RunSetUpTest, CleanUpKeepsOnlyEndInstallFile)
{
    const std::string tmp = Tmp();
    ASSERT_EQ(SetUpWith(&tmp, NULL), 1);
    HANDLE info = CreateFileA(g_infoFile, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD written = 0;
    WriteFile(info, "[General]\r\nTitle=T\r\n", 20, &written, NULL);
    CloseHandle(info);
    ProfileWriteString("Folder", "FolderCount", "1", g_journalFile);
    WriteFile(g_sourceList, "\x03" "abc", 4, &written, NULL);
    ProfileWriteString("General", "Title", "T", g_endInstallPath);
    ProfileFlush(g_endInstallPath);
    EXPECT_EQ(Files(tmp).size(), 4u);

    CleanUpRun();
    EXPECT_EQ(Files(tmp), std::vector<std::string>{PathFileName(g_endInstallPath)});
    EXPECT_EQ(g_sourceList, INVALID_HANDLE_VALUE);
    EXPECT_EQ(g_transferBuffer, nullptr);
    EXPECT_EQ(std::string(g_tempFolder), tmp);          // folders stay readable
    char title[8];
    EXPECT_STREQ(ProfileReadString("General", "Title", "", title, sizeof title, g_endInstallPath),
                 "T");
    ProfileFlush(g_endInstallPath);
    DeleteFileA(g_endInstallPath);
}

// Making temporary name k fails: one MsgCantInitialize box, result 0, and
// nothing is left in the temporary folder.
TEST_F(RunSetUpTest, FailedTemporaryNameLeavesNothing)
{
    const std::string tmp = Tmp();
    CopyBounded(NVR_CAPTION_SIZE, g_caption, "Nuvar installer");
    for (int k = 1; k <= NVR_TEMP_NAME_COUNT; k++) {
        SCOPED_TRACE(k);
        g_failTempName = k;
        BoxCloser closer;
        EXPECT_EQ(SetUpWith(&tmp, NULL), 0);
        closer.Join();
        EXPECT_TRUE(closer.seen);
        EXPECT_EQ(closer.text, MsgCantInitialize);
        EXPECT_EQ(closer.caption, "Nuvar installer");
        EXPECT_TRUE(Files(tmp).empty()) << Files(tmp).size();
        EXPECT_EQ(g_sourceList, INVALID_HANDLE_VALUE);
        EXPECT_EQ(g_transferBuffer, nullptr);
    }
}

// Program Files and Common Files: the registry values, or the defaults, and
// the folders are created when missing.
TEST_F(RunSetUpTest, SharedFolders)
{
    SavedValue programFiles("ProgramFilesDir"), commonFiles("CommonFilesDir");
    const std::string tmp = Tmp(), pf = root_ + "\\PF", cf = root_ + "\\CF";
    const std::string winPf = WindowsFolder().substr(0, 2) + "\\Program Files";

    programFiles.Write(pf);
    commonFiles.Delete();
    ASSERT_EQ(SetUpWith(&tmp, NULL), 1);
    EXPECT_EQ(std::string(g_programFiles), pf);
    EXPECT_EQ(std::string(g_commonFiles), pf + "\\Common Files");
    EXPECT_TRUE(FolderExists(g_programFiles));
    EXPECT_TRUE(FolderExists(g_commonFiles));
    Finish();

    commonFiles.Write(cf);
    ASSERT_EQ(SetUpWith(&tmp, NULL), 1);
    EXPECT_EQ(std::string(g_commonFiles), cf);
    EXPECT_TRUE(FolderExists(g_commonFiles));
    Finish();

    // A missing or blank value gives the default below the Windows drive.
    programFiles.Delete();
    commonFiles.Write("  ");
    ASSERT_EQ(SetUpWith(&tmp, NULL), 1);
    EXPECT_EQ(std::string(g_programFiles), winPf);
    EXPECT_EQ(std::string(g_commonFiles), winPf + "\\Common Files");
    EXPECT_TRUE(FolderExists(g_commonFiles));
    Finish();
}

}  // namespace
