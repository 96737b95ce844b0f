// test_screens.cpp -- every page of an installation in English and in Korean,
// driven like a user: welcome, install folder, progress, the replace-file
// query and the completion dialog. Each page's texts are checked against the
// catalogue's bytes (Korean as code page 949) and a PNG picture of each page is
// saved under the build tree's artifacts/ folder for people to look at. Must
// run under a Korean ANSI code page (LC_ALL=ko_KR.UTF-8 for Wine), or the
// Korean texts cannot be shown; it leaves no installed files behind.
#include <gtest/gtest.h>
#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/screenshot.h"
#include "tests/win/uidriver.h"

using namespace uidriver;

namespace {

// Code page 949 bytes of a UTF-8 text, as the module shows it.
std::string Cp949(const std::string &utf8)
{
    const int kWideMax = 1024, kOutMax = 2048;
    wchar_t wide[kWideMax];
    char out[kOutMax];
    int n = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide, kWideMax);
    int m = n > 0 ? WideCharToMultiByte(949, 0, wide, n, out, kOutMax, NULL, NULL) : 0;
    return std::string(out, m > 0 ? m - 1 : 0);
}

// The texts one language shows on the way through, in UTF-8; "%s" stands
// for the Title (or for the folder in fileExists).
struct Language {
    const char *name;          // artifact prefix and product folder in the test data
    const char *title;
    const char *folder;        // below Program Files
    const char *caption, *welcome, *closeOthers, *next, *cancel;
    const char *selectFolder, *folderIntro, *spaceNeeded, *installFolder, *browse, *install;
    const char *installing, *abort;
    const char *fileExists, *replaceQuery, *noMoreQuery, *yes, *no;
    const char *completed, *ok;
};

const Language kLanguages[] = {
    {"en", "Screens Test", "Screens EN",
     "Installation of %s", "This will install %s on your computer.",
     "It is recommended that you exit all other programs\nbefore proceed with installation.",
     "Next", "Cancel",
     "Select install folder", "%s will be installed to following folder.", "Space needed:",
     "Install folder", "Browse", "Install",
     "Installing %s.", "Abort",
     "Following file already exists in the folder '%s'.", "Replace above file with following?",
     "No more query.", "Yes", "No",
     "Installation of %s completed.", "Ok"},
    {"ko", "화면 테스트", "Screens KO",
     "%s 설치", "%s의 설치를 시작합니다.",
     "설치를 시작하시기 전에 실행 중인 다른 프로그램은\n종료하시는 것이 좋습니다.",
     "다음", "취소",
     "설치 폴더 선택", "%s을(를) 다음 폴더에 설치합니다.", "설치에 필요한 공간:",
     "설치 폴더", "찾아보기", "설치시작",
     "%s을(를) 설치하는 중입니다.", "설치중단",
     "'%s' 폴더에 다음 화일이 이미 있습니다.", "위 화일을 다음 화일로 교체하시겠습니까?",
     "더 이상 묻지 않음.", "예", "아니오",
     "%s의 설치를 완료했습니다.", "확인"},
};

// text with its one "%s" replaced by arg (both already in the shown bytes).
std::string With(const std::string &text, const std::string &arg)
{
    size_t at = text.find("%s");
    return at == std::string::npos ? text : text.substr(0, at) + arg + text.substr(at + 2);
}


std::string ArtifactsFolder()
{
    std::string dir = WinPath(Env("NVR_BUILD_DIR")) + "\\artifacts";
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

class Screens : public ::testing::TestWithParam<Language> {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(TestData().empty()) << "NVR_TEST_DATA is not set";
        ASSERT_FALSE(Env("NVR_BUILD_DIR").empty()) << "NVR_BUILD_DIR is not set";
        ASSERT_EQ(949u, GetACP()) << "run under a Korean ANSI code page (LC_ALL=ko_KR.UTF-8)";
        const Language &l = GetParam();
        title_ = Cp949(l.title);
        caption_ = With(Cp949(l.caption), title_);
        folder_ = ProgramFiles() + "\\" + l.folder;
        RemoveTree(folder_);
    }

    void TearDown() override
    {
        if (install_.handle)
            WaitExit(install_, 5000);
        RemoveTree(folder_);
    }

    std::string T(const char *utf8) const { return Cp949(utf8); }

    // Waits for the page that holds control, lets it paint, checks its caption
    // and saves its picture as artifacts/LANG-STEP.png; with busyControl, only
    // once that control shows a text (the progress page's status line).
    HWND Page(int control, const char *step, const std::string &caption, DWORD timeoutMs = 20000,
              int busyControl = 0)
    {
        HWND page = WaitDialog(install_.id, control, timeoutMs);
        if (!page) {
            ADD_FAILURE() << "no page with control " << control << " (" << step << ")";
            return NULL;
        }
        Sleep(400);  // initialisation and first painting
        for (int i = 0; busyControl && i < 250 && ItemText(page, busyControl).empty(); i++)
            Sleep(20);
        EXPECT_EQ(caption, WindowText(page)) << step;
        std::string shot = ArtifactsFolder() + "\\" + GetParam().name + "-" + step + ".png";
        EXPECT_TRUE(screenshot::SaveWindow(page, shot)) << "could not save " << shot;
        return page;
    }

    Process install_;
    std::string title_, caption_, folder_;
};

TEST_P(Screens, EveryPageShowsTheCatalogueTexts)
{
    const Language &l = GetParam();
    // An older copy of one package file makes the replace question come up.
    ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), NULL));
    ASSERT_TRUE(WriteFileBytes(folder_ + "\\readme.txt", "older readme\r\n"));
    FILETIME old = {0, 0x01B00000};  // 1990s, older than anything packed
    HANDLE f = CreateFileA((folder_ + "\\readme.txt").c_str(), GENERIC_WRITE, 0, NULL,
                           OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, f);
    SetFileTime(f, NULL, NULL, &old);
    CloseHandle(f);

    Process setup = Start("\"" + TestData() + "\\" + l.name + "\\pkg\\Setup.exe\"");
    ASSERT_TRUE(setup.handle != NULL);
    ASSERT_EQ(0u, WaitExit(setup, 20000));
    install_ = WaitProcessNamed(NVR_MODULE_FILE_NAME, 15000);
    ASSERT_TRUE(install_.handle != NULL) << "the install run did not start";

    HWND welcome = Page(IDC_WELCOME_TEXT, "1-welcome", caption_);
    ASSERT_TRUE(welcome != NULL);
    EXPECT_EQ(With(T(l.welcome), title_), ItemText(welcome, IDC_WELCOME_TEXT));
    EXPECT_EQ(T(l.closeOthers), ItemText(welcome, IDC_CLOSE_OTHERS));
    EXPECT_EQ(T(l.next), ItemText(welcome, IDC_NEXT));
    EXPECT_EQ(T(l.cancel), ItemText(welcome, IDC_CANCEL));
    Press(welcome, IDC_NEXT);

    HWND folder = Page(IDC_FOLDER_EDIT, "2-folder", caption_ + " - " + T(l.selectFolder));
    ASSERT_TRUE(folder != NULL);
    EXPECT_EQ(With(T(l.folderIntro), title_), ItemText(folder, IDC_FOLDER_INTRO));
    std::string space = ItemText(folder, IDC_SPACE_LINE);
    EXPECT_EQ(T(l.spaceNeeded) + " ", space.substr(0, T(l.spaceNeeded).size() + 1));
    EXPECT_EQ("KB", space.substr(space.size() < 2 ? 0 : space.size() - 2));
    EXPECT_EQ(T(l.installFolder), ItemText(folder, IDC_FOLDER_GROUP));
    EXPECT_EQ(folder_, ItemText(folder, IDC_FOLDER_EDIT));
    EXPECT_EQ(T(l.browse), ItemText(folder, IDC_BROWSE));
    EXPECT_EQ(T(l.install), ItemText(folder, IDC_INSTALL));
    EXPECT_EQ(T(l.cancel), ItemText(folder, IDC_CANCEL));
    Press(folder, IDC_INSTALL);

    // The many data files come first (sorted by name), so the bar is moving
    // when the picture is taken; the question about readme.txt follows.
    HWND progress = Page(IDC_INSTALLING, "3-progress", caption_, 20000, IDC_STATUS);
    ASSERT_TRUE(progress != NULL);
    EXPECT_EQ(With(T(l.installing), title_), ItemText(progress, IDC_INSTALLING));
    EXPECT_EQ(T(l.abort), ItemText(progress, IDC_ABORT));

    HWND query = Page(IDC_NO_MORE_QUERY, "4-replace", caption_, 60000);
    ASSERT_TRUE(query != NULL);
    EXPECT_EQ(With(T(l.fileExists), folder_), ItemText(query, IDC_REPLACE_FOLDER));
    EXPECT_EQ(0u, ItemText(query, IDC_EXISTING_LINE).find("readme.txt(1"));
    EXPECT_EQ(0u, ItemText(query, IDC_PACKAGE_LINE).find("readme.txt("));
    EXPECT_EQ(T(l.replaceQuery), ItemText(query, IDC_REPLACE_QUERY));
    EXPECT_EQ(T(l.noMoreQuery), ItemText(query, IDC_NO_MORE_QUERY));
    EXPECT_EQ(T(l.yes), ItemText(query, IDC_BUTTON_YES));
    EXPECT_EQ(T(l.no), ItemText(query, IDC_BUTTON_NO));
    EXPECT_EQ(T(l.abort), ItemText(query, IDC_ABORT));
    Press(query, IDC_BUTTON_YES);

    HWND done = Page(IDC_COMPLETED, "5-completion", caption_, 60000);
    ASSERT_TRUE(done != NULL);
    EXPECT_EQ(With(T(l.completed), title_), ItemText(done, IDC_COMPLETED));
    EXPECT_EQ(T(l.ok), ItemText(done, IDC_OK));
    Press(done, IDC_OK);
    EXPECT_EQ(0u, WaitExit(install_, 30000));
    EXPECT_EQ("readme of the screens product\r\n", ReadFileBytes(folder_ + "\\readme.txt"));
}

INSTANTIATE_TEST_SUITE_P(Languages, Screens, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<Language> &info) {
                             return std::string(info.param.name);
                         });

}  // namespace
