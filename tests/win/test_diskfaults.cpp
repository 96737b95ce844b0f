// test_diskfaults.cpp -- faults of the disk under Wine, for real where Wine
// allows: a small drive that fills up during extraction (a tmpfs mapped as
// drive F: by test_diskfaults.prep), an install folder whose targets are
// exactly 259 characters long, Korean (code page 949) file names, and a
// read-only target (skipped where Wine ignores the attribute, as for root).
// Must not leave files outside its data folder and drive F:, nor "_if" files.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "pkgwriter.h"
#include "resources/resource.h"
#include "uidriver.h"
#include "workerharness.h"

namespace {

using namespace uidriver;

const char kFullDrive[] = "F:";   // the tmpfs drive of the prep script

std::string Cp949(const wchar_t *wide)
{
    char out[1024];
    int m = WideCharToMultiByte(949, 0, wide, -1, out, sizeof out, NULL, NULL);
    return std::string(out, m > 0 ? m - 1 : 0);
}

ULONGLONG FreeBytes(const std::string &root)
{
    ULARGE_INTEGER free = {}, total = {}, all = {};
    GetDiskFreeSpaceExA(root.c_str(), &free, &total, &all);
    return free.QuadPart;
}

// ---- a drive that fills up during extraction: the real module ---------------

TEST(DiskFaults, FullDriveReportsTheFileAndRollsBack)
{
    std::string data = TestData();
    ASSERT_FALSE(data.empty()) << "run through tests/wine-run (NVR_TEST_DATA)";
    if (GetFileAttributesA((data + "\\full-drive-mounted").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no tmpfs could be mounted (not root): no small drive to fill";
    std::string root = std::string(kFullDrive) + "\\";
    ASSERT_NE(GetFileAttributesA(root.c_str()), INVALID_FILE_ATTRIBUTES) << "drive F: missing";
    std::string folder = std::string(kFullDrive) + "\\Full Test\\Sub";
    RemoveTree(std::string(kFullDrive) + "\\Full Test");
    // A file that was there before must come through byte for byte.
    std::string keep = std::string(kFullDrive) + "\\keep.txt";
    std::string keepBytes = "kept across the failed installation\r\n";
    ASSERT_TRUE(WriteFileBytes(keep, keepBytes));
    ULONGLONG freeBefore = FreeBytes(root);
    std::vector<std::string> tempsBefore = TempRunFiles();

    Process setup = Start("\"" + data + "\\full\\pkg\\Setup.exe\"");
    ASSERT_TRUE(setup.handle != NULL);
    ASSERT_EQ(0u, WaitExit(setup, 10000));
    Process run = WaitProcessNamed("NvrInst10.exe", 10000);
    ASSERT_TRUE(run.handle != NULL);
    auto answer = [&](int button, DWORD ms) {
        MessageBoxSeen box = WaitMessageBox(run.id, ms);
        if (!box.window)
            return std::string("<no message box>");
        EXPECT_EQ("Installation of Full Drive Test", box.caption);
        Press(box.window, button);
        for (int i = 0; i < 200 && IsWindow(box.window); ++i)
            Sleep(10);
        return box.text;
    };
    HWND welcome = WaitDialog(run.id, IDC_WELCOME_TEXT);
    ASSERT_TRUE(welcome != NULL);
    Sleep(150);
    Press(welcome, IDC_NEXT);
    HWND page = WaitDialog(run.id, IDC_FOLDER_EDIT);
    ASSERT_TRUE(page != NULL);
    Sleep(150);
    TypeText(page, IDC_FOLDER_EDIT, folder);
    Press(page, IDC_INSTALL);
    EXPECT_EQ("Folder '" + folder + "' does not exists.\n\nCreate this folder?",
              answer(IDYES, 15000));
    EXPECT_EQ("Can't install file '" + folder + "\\zz_big.bin'.\n\nAborting installation.",
              answer(IDOK, 30000));
    // Nothing else is said: the run rolls back and ends.
    EXPECT_EQ("<no message box>", answer(IDOK, 1500));
    EXPECT_EQ(0u, WaitExit(run, 30000));

    EXPECT_FALSE(wh::Exists(std::string(kFullDrive) + "\\Full Test"))
        << "the rollback left the install folders";
    EXPECT_EQ(keepBytes, ReadFileBytes(keep));
    EXPECT_GE(FreeBytes(root), freeBefore) << "space of the partial file was not given back";
    EXPECT_EQ(tempsBefore, TempRunFiles()) << "the run left \"_if\" files behind";
    DeleteFileA(keep.c_str());
}

// ---- long paths, Korean names, read-only targets, a full temporary drive -------

class DiskWorker : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = TestData();
        ASSERT_FALSE(data.empty()) << "run through tests/wine-run (NVR_TEST_DATA)";
        g_languageFlag = 1;
        lstrcpynA(g_caption, "Installation of Disk Faults", NVR_CAPTION_SIZE);
    }
    void TearDown() override
    {
        h.Close();
        wh::DropPendingRenames(data);
        if (!top.empty())
            wh::RemoveTree(top);
    }

    std::string Package(const std::string &name,
                        const std::vector<std::pair<std::string, std::string>> &entries)
    {
        pkgw::Writer w;
        std::string info = "[General]\r\nTitle=Disk Faults\r\nLanguage=1\r\n";
        w.Add(NVR_INFO_ENTRY_NAME, pkgw::Bytes(info.begin(), info.end()));
        for (const auto &e : entries)
            w.Add(e.first, pkgw::Bytes(e.second.begin(), e.second.end()));
        std::string path = data + "\\" + name + ".exe";
        pkgw::Writer::WriteVolumes(path, w.Build());
        return path;
    }

    // Installs entries into inst, checks every file, then rolls back and
    // checks that nothing below top is left.
    void InstallAndRollBack(const std::string &name, const std::string &inst,
                            const std::vector<std::pair<std::string, std::string>> &entries)
    {
        ASSERT_TRUE(h.Open(Package(name, entries), inst));
        wh::Seen seen;
        std::vector<MessageBoxSeen> boxes;
        {
            BoxWatcher watcher;
            seen = h.Run({}, nullptr, 30000);
            boxes = watcher.Stop();
        }
        EXPECT_EQ(seen.done, 1) << "install folder there: " << wh::Exists(inst);
        EXPECT_TRUE(boxes.empty()) << boxes[0].text;
        for (const auto &e : entries) {
            std::string target = inst + "\\" + e.first.substr(4);
            EXPECT_LE(target.size(), 259u);
            EXPECT_EQ(wh::ReadAll(target), e.second) << target;
            // The name reads back through the 8-bit functions byte for byte.
            WIN32_FIND_DATAA fd;
            HANDLE f = FindFirstFileA(target.c_str(), &fd);
            ASSERT_NE(f, INVALID_HANDLE_VALUE) << target;
            FindClose(f);
            EXPECT_EQ(std::string(fd.cFileName), target.substr(target.rfind('\\') + 1));
        }
        wh::Seen back = h.RunRollback(30000);
        EXPECT_EQ(back.rolledBack, 1);
        EXPECT_FALSE(wh::Exists(inst)) << "the rollback left " << inst;
        EXPECT_TRUE(wh::Exists(top));
    }

    wh::Harness h;
    std::string data, top;
};

TEST_F(DiskWorker, InstallFolderWhoseTargetsAre259Characters)
{
    top = data + "\\long";
    wh::RemoveTree(top);
    CreateDirectoryA(top.c_str(), NULL);
    // top\<pad>\inst + "\\" + "a.txt" = 259 characters exactly; deeper
    // entries in two levels of the same total length.
    const std::string file = "a.txt", deep = "d\\b.txt";
    size_t pad = 259 - top.size() - 1 - 5 - 1 - deep.size();
    ASSERT_LT(pad, 230u);
    std::string inst = top + "\\" + std::string(pad - 100, 'p') + "\\" + std::string(99, 'q') +
                       "\\inst";
    std::string extra(deep.size() - file.size(), 'x');
    InstallAndRollBack("long259", inst,
                       {{"Src\\" + extra + file, "exactly 259"}, {"Src\\" + deep, "deep 259"}});
}

TEST_F(DiskWorker, KoreanFileNamesInstallAndRollBack)
{
    if (GetACP() != 949)
        GTEST_SKIP() << "needs code page 949 in the Wine process (LC_ALL=ko_KR.UTF-8)";
    top = data + "\\ko";
    wh::RemoveTree(top);
    CreateDirectoryA(top.c_str(), NULL);
    std::string inst = top + "\\" + Cp949(L"\xC124\xCE58 \xD3F4\xB354");   // 설치 폴더
    std::string folder = Cp949(L"\xBB38\xC11C");                            // 문서
    std::string name = Cp949(L"\xC548\xB0B4\xBB38.txt");                    // 안내문.txt
    ASSERT_EQ(name.size(), 10u);
    // Wine needs a host locale that can spell Hangul in file names.
    std::string probe = top + "\\" + folder;
    if (!CreateDirectoryA(probe.c_str(), NULL))
        GTEST_SKIP() << "this Wine cannot create Korean file names (error " << GetLastError()
                     << "); a host locale such as ko_KR.UTF-8 must be generated";
    RemoveDirectoryA(probe.c_str());
    InstallAndRollBack("korean", inst,
                       {{"Src\\" + name, "hangul name"},
                        {"Src\\" + folder + "\\" + name, "hangul folder"}});
}

// A read-only existing target goes to the restart road like a file in use.
TEST_F(DiskWorker, ReadOnlyTargetGoesToTheRestartRoad)
{
    top = data + "\\ro";
    wh::RemoveTree(top);
    CreateDirectoryA(top.c_str(), NULL);
    std::string inst = top + "\\inst";
    CreateDirectoryA(inst.c_str(), NULL);
    std::string target = inst + "\\locked.txt";
    ASSERT_TRUE(WriteFileBytes(target, "old bytes"));
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_READONLY);
    HANDLE probe = CreateFileA(target.c_str(), GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
        GTEST_SKIP() << "Wine lets this user write read-only files (running as root)";
    }
    ASSERT_TRUE(h.Open(Package("readonly", {{"Src\\locked.txt", "new bytes"}}), inst));
    wh::Seen seen = h.Run({wh::Replace}, nullptr, 30000);
    EXPECT_EQ(seen.done, 1);
    EXPECT_EQ(g_restartNeeded, 1);
    EXPECT_EQ(wh::ReadAll(target), "old bytes");
    EXPECT_NE(wh::PendingRenames().find("locked.txt"), std::string::npos);
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
}

// A temporary folder on a full drive: the run's names can be made (empty
// files need no space) but the information file cannot be written. The
// set-up still succeeds, the extraction fails without a box (no window yet),
// and the clean-up leaves no "_if" file on the drive.
TEST_F(DiskWorker, TemporaryFolderOnAFullDriveLeavesNothing)
{
    if (GetFileAttributesA((data + "\\full-drive-mounted").c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no tmpfs could be mounted (not root)";
    std::string temp = std::string(kFullDrive) + "\\full temp";
    std::string filler = std::string(kFullDrive) + "\\filler.bin";
    RemoveTree(temp);
    HANDLE f = CreateFileA(filler.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    std::string block(65536, 'f');
    DWORD put = 0;
    while (WriteFile(f, block.data(), (DWORD)block.size(), &put, NULL) && put == block.size())
        ;
    for (DWORD size = 4096; size; size /= 2)   // the last pages too
        while (WriteFile(f, block.data(), size, &put, NULL) && put == size)
            ;
    CloseHandle(f);
    std::string savedTemp = Env("TEMP"), savedTmp = Env("TMP");
    SetEnvironmentVariableA("TEMP", temp.c_str());
    SetEnvironmentVariableA("TMP", (data + "\\tmp-unused").c_str());
    bool opened;
    std::vector<MessageBoxSeen> boxes;
    {
        BoxWatcher watcher;
        opened = h.Open(Package("fulltemp", {{"Src\\a.txt", "a"}}), data + "\\unused");
        boxes = watcher.Stop();
    }
    std::string chosen = g_tempFolder;
    h.Close();
    SetEnvironmentVariableA("TEMP", savedTemp.c_str());
    SetEnvironmentVariableA("TMP", savedTmp.c_str());
    EXPECT_TRUE(boxes.empty());
    if (chosen == temp) {
        EXPECT_FALSE(opened) << "the information file was written onto a full drive";
        WIN32_FIND_DATAA fd;
        HANDLE left = FindFirstFileA((temp + "\\_if*").c_str(), &fd);
        EXPECT_EQ(left, INVALID_HANDLE_VALUE) << "left " << fd.cFileName;
        if (left != INVALID_HANDLE_VALUE)
            FindClose(left);
    } else {
        // The folder could not be made on the full drive: TMP was taken.
        EXPECT_EQ(chosen, data + "\\tmp-unused");
    }
    DeleteFileA(filler.c_str());
    RemoveTree(temp);
    RemoveTree(data + "\\tmp-unused");
}

}  // namespace
