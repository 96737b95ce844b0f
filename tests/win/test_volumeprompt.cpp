// test_volumeprompt.cpp -- the volume-change prompt with real message boxes:
// a helper thread finds each box, reads its text, owner and buttons, and
// answers it, sometimes after making the volume file appear.
//
// Removable drives: Wine reports a drive as floppy or CD-ROM only after a
// registry change and a wineserver restart, which a running test cannot do, so
// those cases replace the drive-type query through g_volumeDriveType.
#include <gtest/gtest.h>
#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "ui/volumeprompt.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "package/reader.h"

namespace {

const char kCaption[] = "Nuvar volume prompt test";

std::string ToCp949(const char *utf8)
{
    wchar_t wide[512];
    char bytes[1024];
    MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, 512);
    WideCharToMultiByte(949, 0, wide, -1, bytes, sizeof bytes, NULL, NULL);
    return bytes;
}

struct Box {
    std::string text;
    HWND owner;
    bool ok, retry, cancel;   // which buttons it has
};

// Answers every message box titled kCaption: action i answers the i-th box
// (IDOK, IDRETRY or IDCANCEL); boxes beyond the script are cancelled.
class BoxDriver {
public:
    using Action = std::function<int(const Box &)>;

    explicit BoxDriver(std::vector<Action> script) : script_(std::move(script))
    {
        thread_ = CreateThread(NULL, 0, Run, this, 0, NULL);
    }
    ~BoxDriver() { Stop(); }

    const std::vector<Box> &Stop()
    {
        if (thread_) {
            stop_ = 1;
            WaitForSingleObject(thread_, 10000);
            CloseHandle(thread_);
            thread_ = NULL;
        }
        return seen_;
    }

private:
    static DWORD WINAPI Run(LPVOID self) { static_cast<BoxDriver *>(self)->Loop(); return 0; }

    void Loop()
    {
        while (!stop_) {
            HWND box = FindWindowA("#32770", kCaption);
            if (!box || !IsWindowVisible(box)) {
                Sleep(10);
                continue;
            }
            Sleep(30);   // let the box reach its modal loop
            Box seen;
            char text[2048] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            seen.text = text;
            seen.owner = GetWindow(box, GW_OWNER);
            seen.ok = GetDlgItem(box, IDOK) != NULL;
            seen.retry = GetDlgItem(box, IDRETRY) != NULL;
            seen.cancel = GetDlgItem(box, IDCANCEL) != NULL;
            size_t index = seen_.size();
            seen_.push_back(seen);
            int answer = index < script_.size() ? script_[index](seen) : IDCANCEL;
            PostMessageA(box, WM_COMMAND, answer, 0);
            for (int i = 0; i < 500 && IsWindow(box); i++)
                Sleep(10);
        }
    }

    std::vector<Action> script_;
    std::vector<Box> seen_;
    HANDLE thread_ = NULL;
    volatile LONG stop_ = 0;
};

const char *g_removableRoot;      // root the drive-type seam calls removable
std::string g_queriedRoot;

UINT WINAPI FakeDriveType(LPCSTR root)
{
    g_queriedRoot = root;
    return g_removableRoot && lstrcmpiA(root, g_removableRoot) == 0 ? DRIVE_REMOVABLE
                                                                    : DRIVE_FIXED;
}

void Touch(const std::string &path)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    CloseHandle(f);
}

class VolumePromptTest : public ::testing::Test {
protected:
    std::string folder;
    HWND page = NULL;
    int savedLanguage = g_languageFlag;

    void SetUp() override
    {
        static int serial;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "nvrvolume" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++serial);
        CreateDirectoryA(folder.c_str(), NULL);
        lstrcpynA(g_caption, kCaption, NVR_CAPTION_SIZE);
        page = CreateWindowA("STATIC", "page", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
        ASSERT_NE(page, (HWND)NULL);
        g_currentPage = page;
        g_abortFlag = 0;
        g_volumeDriveType = NULL;
        g_removableRoot = NULL;
    }

    void TearDown() override
    {
        g_volumeDriveType = NULL;
        g_currentPage = NULL;
        g_abortFlag = 0;
        g_languageFlag = savedLanguage;
        DestroyWindow(page);
        for (const char *name : {"Setup.exe", "Setup.001", "Setup.002", "Setup.003", "Setup.012"})
            DeleteFileA((folder + "\\" + name).c_str());
        RemoveDirectoryA(folder.c_str());
    }
};

TEST_F(VolumePromptTest, ExistingVolumeAnswersAtOnceWithoutBox)
{
    std::string volume = folder + "\\Setup.001";
    Touch(volume);
    BoxDriver driver({});
    EXPECT_EQ(VolumePromptForPath(volume.c_str()), 0);
    EXPECT_TRUE(driver.Stop().empty());
    EXPECT_EQ(g_abortFlag, 0);
}

// Fixed drive: the folder prompt, file name first in English, folder first in
// Korean; Cancel sets the abort flag.
TEST_F(VolumePromptTest, MissingFromFolderCancelAbortsInBothLanguages)
{
    std::string volume = folder + "\\Setup.001";
    for (int flag : {1, 0}) {
        g_languageFlag = flag;
        g_abortFlag = 0;
        BoxDriver driver({[](const Box &) { return IDCANCEL; }});
        EXPECT_EQ(VolumePromptForPath(volume.c_str()), -1);
        const std::vector<Box> &boxes = driver.Stop();
        ASSERT_EQ(boxes.size(), 1u);
        std::string expected =
            flag ? "Can't find volume 'Setup.001' in the folder '" + folder + "'."
                 : "'" + folder + ToCp949("' 폴더에서 'Setup.001' 볼륨을 찾을 수 없습니다.");
        EXPECT_EQ(boxes[0].text, expected);
        EXPECT_EQ(boxes[0].owner, page);
        EXPECT_TRUE(boxes[0].retry && boxes[0].cancel);
        EXPECT_EQ(g_abortFlag, 1);
    }
}

TEST_F(VolumePromptTest, RetryAfterTheFileAppearsAnswersZero)
{
    std::string volume = folder + "\\Setup.002";
    g_languageFlag = 1;
    BoxDriver driver({
        [](const Box &) { return IDRETRY; },                       // still missing: asked again
        [&](const Box &) { Touch(volume); return IDRETRY; },
    });
    EXPECT_EQ(VolumePromptForPath(volume.c_str()), 0);
    EXPECT_EQ(driver.Stop().size(), 2u);
    EXPECT_EQ(g_abortFlag, 0);
}

// Removable drive, the A: / SETUP.001 example: first the disk request (OK
// only), then the drive prompt until the volume is there or Cancel.
TEST_F(VolumePromptTest, RemovableDriveTextsAndOrderInBothLanguages)
{
    g_volumeDriveType = FakeDriveType;
    g_removableRoot = "A:\\";
    struct {
        int flag;
        std::string insert, missing;
    } cases[] = {
        {1, "Insert volume 'SETUP.001' disk for drive 'A:'.",
         "Can't find volume 'SETUP.001' on drive 'A:'."},
        {0, ToCp949("'A:' 드라이브에 'SETUP.001' 볼륨 디스크를 넣어주세요."),
         ToCp949("'A:' 드라이브에서 'SETUP.001' 볼륨을 찾을 수 없습니다.")},
    };
    for (auto &c : cases) {
        g_languageFlag = c.flag;
        g_abortFlag = 0;
        BoxDriver driver({[](const Box &) { return IDOK; }, [](const Box &) { return IDRETRY; },
                          [](const Box &) { return IDCANCEL; }});
        EXPECT_EQ(VolumePromptForPath("A:\\SETUP.001"), -1);
        EXPECT_EQ(g_queriedRoot, "A:\\");
        const std::vector<Box> &boxes = driver.Stop();
        ASSERT_EQ(boxes.size(), 3u);
        EXPECT_EQ(boxes[0].text, c.insert);
        EXPECT_TRUE(boxes[0].ok && !boxes[0].retry);
        EXPECT_EQ(boxes[1].text, c.missing);
        EXPECT_EQ(boxes[2].text, c.missing);
        EXPECT_TRUE(boxes[1].retry && boxes[1].cancel);
        EXPECT_EQ(boxes[2].owner, page);
        EXPECT_EQ(g_abortFlag, 1);
    }
}

// A disk inserted while the request box is open is taken without another box.
TEST_F(VolumePromptTest, DiskInsertedDuringTheRequestIsTakenAtOnce)
{
    std::string volume = folder + "\\Setup.003";
    g_volumeDriveType = FakeDriveType;
    g_removableRoot = "C:\\";
    ASSERT_EQ(volume.compare(0, 3, "C:\\"), 0) << "temporary folder not on C:";
    g_languageFlag = 1;
    BoxDriver driver({[&](const Box &) { Touch(volume); return IDOK; }});
    EXPECT_EQ(VolumePromptForPath(volume.c_str()), 0);
    const std::vector<Box> &boxes = driver.Stop();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Insert volume 'Setup.003' disk for drive 'C:'.");
    EXPECT_EQ(g_abortFlag, 0);
}

// A box that cannot be shown (its owner is gone) counts as Cancel instead of
// asking forever.
TEST_F(VolumePromptTest, BoxThatCannotBeShownEndsAsCancel)
{
    std::string volume = folder + "\\Setup.001";
    HWND gone = CreateWindowA("STATIC", "gone", WS_POPUP, 0, 0, 10, 10, NULL, NULL, NULL, NULL);
    DestroyWindow(gone);
    g_currentPage = gone;
    g_languageFlag = 1;
    BoxDriver driver({});
    EXPECT_EQ(VolumePromptForPath(volume.c_str()), -1);
    EXPECT_LE(driver.Stop().size(), 1u);
    EXPECT_EQ(g_abortFlag, 1);
}

// The callback itself: the volume path is the reader's first volume with the
// extension ".%03d" of the index.
TEST_F(VolumePromptTest, CallbackNamesVolumesAfterTheFirstVolume)
{
    std::string first = folder + "\\Setup.exe";
    unsigned char header[NVR_PACKAGE_HEADER_SIZE] = {'I', 'F', 'A', 'H'};
    header[NVR_PH_VOLUME_LENGTH + 1] = 0x10;           // 4,096-byte volumes
    header[NVR_PH_VOLUME_COUNT] = 13;
    header[NVR_PH_ENTRY_COUNT] = 1;
    HANDLE f = CreateFileA(first.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    DWORD done;
    WriteFile(f, header, sizeof header, &done, NULL);
    CloseHandle(f);
    Touch(folder + "\\Setup.002");
    g_reader = OpenPackage(first.c_str(), 0);
    ASSERT_NE(g_reader, (PackageReader *)NULL);
    g_languageFlag = 1;

    BoxDriver driver({[](const Box &) { return IDCANCEL; }});
    EXPECT_EQ(VolumePrompt(2), 0);
    EXPECT_EQ(g_abortFlag, 0);
    EXPECT_EQ(VolumePrompt(12), -1);
    const std::vector<Box> &boxes = driver.Stop();
    ClosePackage(g_reader);
    g_reader = NULL;
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, "Can't find volume 'Setup.012' in the folder '" + folder + "'.");
}

}  // namespace
