// test_catalog.cpp -- the message catalogue byte for byte in both languages,
// the language flag read from real information files, the caption, and
// message formatting with the longest arguments a caller can pass.
//
// The expected Korean bytes are made here from the UTF-8 texts below with the
// platform's own code page 949 conversion, never taken from the module's table.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <string>

#include "ui/catalog.h"
#include "ui/startupmsg.h"
#include "launcher/launcher.h"

namespace {

struct Expected {
    TextId id;
    const char *english;
    const char *korean;     // UTF-8
};

const Expected kTexts[] = {
    {TitleFormat, "Installation of %s",
     "%s 설치"},
    {BtnOk, "Ok",
     "확인"},
    {BtnNext, "Next",
     "다음"},
    {BtnCancel, "Cancel",
     "취소"},
    {BtnYes, "Yes",
     "예"},
    {BtnNo, "No",
     "아니오"},
    {BtnBrowse, "Browse",
     "찾아보기"},
    {BtnInstall, "Install",
     "설치시작"},
    {BtnAbort, "Abort",
     "설치중단"},
    {TextWelcome, "This will install %s on your computer.",
     "%s의 설치를 시작합니다."},
    {TextCloseOthers, "It is recommended that you exit all other programs\nbefore proceed with installation.",
     "설치를 시작하시기 전에 실행 중인 다른 프로그램은\n종료하시는 것이 좋습니다."},
    {TitleSelectFolder, "Select install folder",
     "설치 폴더 선택"},
    {TextFolderIntro, "%s will be installed to following folder.",
     "%s을(를) 다음 폴더에 설치합니다."},
    {LabelSpaceNeeded, "Space needed:",
     "설치에 필요한 공간:"},
    {LabelInstallFolder, "Install folder",
     "설치 폴더"},
    {TextBrowsePrompt, "Select install folder.",
     "설치하실 폴더를 선택하세요."},
    {MsgRemoteFolder, "Can't install to remote computer.",
     "원격 컴퓨터로 설치할 수 없습니다."},
    {MsgBadDrive, "'%s' is not valid drive specification or not accessible.",
     "'%s' 는 유효한 드라이브 문자가 아니거나 접근이 불가능합니다."},
    {MsgRemovableDrive, "Drive '%s' is removable.\n\nContinue installation on this drive anyway?",
     "'%s' 는 리무버블 드라이브입니다. 이 드라이브에 설치하시겠습니까?"},
    {MsgCreateFolder, "Folder '%s' does not exists.\n\nCreate this folder?",
     "'%s' 폴더를 만들고 설치하시겠습니까?"},
    {MsgCreateFolderFailed, "Can't create folder '%s'.\n\nSelect another folder.",
     "'%s' 폴더를 만들 수 없습니다.\n\n다른 폴더를 선택하세요."},
    {MsgNoFreeSpace, "Not enough free space on drive '%s'.",
     "'%s' 드라이브에 설치할만한 여유공간이 없습니다."},
    {TextInstalling, "Installing %s.",
     "%s을(를) 설치하는 중입니다."},
    {TextSystemUpdates, "System updates...",
     "시스템 설정..."},
    {MsgInsertVolume, "Insert volume '%s' disk for drive '%s'.",
     "'%s' 드라이브에 '%s' 볼륨 디스크를 넣어주세요."},
    {MsgVolumeNotOnDrive, "Can't find volume '%s' on drive '%s'.",
     "'%s' 드라이브에서 '%s' 볼륨을 찾을 수 없습니다."},
    {MsgVolumeNotInFolder, "Can't find volume '%s' in the folder '%s'.",
     "'%s' 폴더에서 '%s' 볼륨을 찾을 수 없습니다."},
    {MsgArchiveCorrupt, "This install file was corrupted or truncated, There were some errors while extracting files from archive.\n\nAborting Installation.",
     "설치화일의 문제로 인해 화일의 압축을 해제하는 중 오류가 발생했습니다.\n\n설치를 종료합니다."},
    {MsgInstallFileFailed, "Can't install file '%s'.\n\nAborting installation.",
     "'%s' 화일을 설치하는 중 오류가 발생했습니다.\n\n설치를 종료합니다."},
    {MsgAbortQuery, "Installation is not yet completed.\n\nAbort installation?",
     "아직 설치가 완료되지 않았습니다.\n\n설치를 중단하시겠습니까?"},
    {TextFileExists, "Following file already exists in the folder '%s'.",
     "'%s' 폴더에 다음 화일이 이미 있습니다."},
    {TextReplaceQuery, "Replace above file with following?",
     "위 화일을 다음 화일로 교체하시겠습니까?"},
    {LabelNoMoreQuery, "No more query.",
     "더 이상 묻지 않음."},
    {MsgRegisterFailed, "Error registering file '%s'.",
     "'%s' 화일을 등록하는 중 오류가 발생했습니다."},
    {MsgEndInstallFailed, "Error creating End-install information.",
     "마무리 설치 정보화일을 만드는 중 오류가 발생했습니다."},
    {TextFinishing, "Finishing installation...",
     "설치를 마무리합니다..."},
    {TextCompleted, "Installation of %s completed.",
     "%s의 설치를 완료했습니다."},
    {MsgRestartQuery, "To complete installation, system must be restarted.\n\nRestart system now?",
     "설치를 완료하기 위해서는 시스템을 재시작해야 합니다.\n\n지금 시스템을 재시작하시겠습니까?"},
    {MsgRestartLater, "Installation will be completed after system restarted.",
     "시스템을 재시작하시면 설치가 완료됩니다."},
    {MsgNoAdminRights, "As current user does not have admin privileges, can't install file '%s'.\n\nIf you have trouble using this application, log-on as admin and restart installation.",
     "현재 사용자는 관리자 권한이 없으므로 '%s' 화일을 설치할 수 없습니다.\n\n사용 중 문제가 발생하면 관리자로 로그온 하신 후 설치를 재시작하세요."},
};
static_assert(sizeof kTexts / sizeof kTexts[0] == TextIdCount, "one row per identifier");

std::string ToCp949(const char *utf8)
{
    wchar_t wide[1024];
    char bytes[2048];
    BOOL usedDefault = FALSE;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide, 1024);
    EXPECT_GT(n, 0) << utf8;
    int m = WideCharToMultiByte(949, 0, wide, -1, bytes, sizeof bytes, NULL, &usedDefault);
    EXPECT_GT(m, 0) << utf8;
    EXPECT_FALSE(usedDefault) << "no CP949 form: " << utf8;
    return m > 0 ? std::string(bytes) : std::string();
}

// What wsprintfA makes of text when every %s takes the next of args.
std::string Substitute(const std::string &text, const std::string &a, const std::string &b)
{
    std::string out;
    int next = 0;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 's') {
            out += next++ == 0 ? a : b;
            i++;
        } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            i++;
        } else {
            out += text[i];
        }
    }
    return out;
}

struct LanguageGuard {
    int saved = g_languageFlag;
    ~LanguageGuard() { g_languageFlag = saved; }
};

TEST(Catalog, ConversionOfTheTestIsSound)
{
    // Known CP949 bytes of two words, so that the conversion below is trusted.
    EXPECT_EQ(ToCp949("확인"), "\xC8\xAE\xC0\xCE");
    EXPECT_EQ(ToCp949("설치"), "\xBC\xB3\xC4\xA1");
    EXPECT_EQ(ToCp949("ASCII %s\n"), "ASCII %s\n");
}

TEST(Catalog, EveryTextInBothLanguages)
{
    LanguageGuard guard;
    for (const Expected &e : kTexts) {
        std::string korean = ToCp949(e.korean);
        g_languageFlag = 0;
        EXPECT_EQ(std::string(CatalogText(e.id)), korean) << "Korean text " << e.id;
        for (int flag : {1, 2, -1, 0x7FFFFFFF}) {
            g_languageFlag = flag;
            EXPECT_STREQ(CatalogText(e.id), e.english) << "flag " << flag << ", text " << e.id;
        }
    }
}

TEST(Catalog, StartupMessagesAreEnglishOnly)
{
    EXPECT_STREQ(MsgCantInitialize, "Can't initialize installation.\n\nAborting installation.");
    EXPECT_STREQ(MsgPackageCorrupt, "This install file was corrupted or truncated, Please get a "
                                    "new copy of install file.\n\nAborting installation.");
    EXPECT_STREQ(MsgBareModule, "This file, Nuvar packager install module V1.0, must be "
                                "invoked with proper command line argument.");
    EXPECT_STREQ(MsgNoInstallInfo, "Install information file not found.\n\nAborting installation.");
}

class InformationFile : public ::testing::Test {
protected:
    std::string path;
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        path = std::string(temp) + "nvrcatalog" + std::to_string(GetCurrentProcessId()) + ".ini";
    }
    void TearDown() override
    {
        WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
        DeleteFileA(path.c_str());
    }
    void Write(const std::string &text)
    {
        WritePrivateProfileStringA(NULL, NULL, NULL, path.c_str());
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD done;
        WriteFile(file, text.data(), (DWORD)text.size(), &done, NULL);
        CloseHandle(file);
    }
};

TEST_F(InformationFile, LanguageKeyChoosesTheLanguage)
{
    LanguageGuard guard;
    struct { const char *lines; bool english; } cases[] = {
        {"Title=Demo\r\n", false},               // no key: Korean
        {"Title=Demo\r\nLanguage=\r\n", false},  // empty value
        {"Title=Demo\r\nLanguage=0\r\n", false},
        {"Title=Demo\r\nLanguage=1\r\n", true},
        {"Title=Demo\r\nLanguage=2\r\n", true},
    };
    for (auto &c : cases) {
        Write(std::string("[General]\r\n") + c.lines);
        g_languageFlag = 1;
        ReadLanguageAndTitle(path.c_str());
        EXPECT_EQ(g_languageFlag != 0, c.english) << c.lines;
        EXPECT_STREQ(g_title, "Demo");
        EXPECT_STREQ(CatalogText(BtnOk), c.english ? "Ok" : ToCp949("확인").c_str()) << c.lines;
        EXPECT_EQ(std::string(g_caption),
                  c.english ? "Installation of Demo" : "Demo" + ToCp949(" 설치")) << c.lines;
    }
    // A file without [General] at all: Korean, empty Title.
    Write("[Other]\r\nx=1\r\n");
    g_languageFlag = 1;
    ReadLanguageAndTitle(path.c_str());
    EXPECT_EQ(g_languageFlag, 0);
    EXPECT_STREQ(g_title, "");
}

TEST(Caption, EmptyAndLongestTitleInBothLanguages)
{
    LanguageGuard guard;
    std::string longest(259, 'T');
    longest[0] = '[';
    longest[258] = ']';
    for (const std::string &title : {std::string(), longest}) {
        lstrcpynA(g_title, title.c_str(), NVR_PATH_SIZE);
        ASSERT_EQ(std::string(g_title), title);
        for (int flag : {0, 1}) {
            g_languageFlag = flag;
            FormatCaption();
            std::string expected = flag ? "Installation of " + title : title + ToCp949(" 설치");
            EXPECT_EQ(std::string(g_caption), expected) << "flag " << flag;
            EXPECT_LT(expected.size(), (size_t)NVR_CAPTION_SIZE);
        }
    }
    g_title[0] = '\0';
}

// Every text, formatted with the longest arguments callers have (259-character
// paths and titles), is complete and stays inside NVR_MESSAGE_SIZE; longer
// arguments are cut to 259 characters instead of overrunning.
TEST(Formatting, MaximalArgumentsFitWithoutCut)
{
    LanguageGuard guard;
    const size_t canary = 64;
    std::string a(259, 'a'), b(259, 'b');
    a[0] = 'A';
    b[0] = 'B';
    size_t worst = 0;
    for (const Expected &e : kTexts) {
        for (int flag : {0, 1}) {
            g_languageFlag = flag;
            std::string templ = flag ? std::string(e.english) : ToCp949(e.korean);
            std::string expected = Substitute(templ, a, b);
            worst = std::max(worst, expected.size() + 1);
            for (size_t extra : {size_t(0), size_t(300)}) {
                char out[NVR_MESSAGE_SIZE + canary];
                memset(out, 0xCC, sizeof out);
                std::string longA = a + std::string(extra, 'x'), longB = b + std::string(extra, 'y');
                int n = FormatMessageText(out, e.id, longA.c_str(), longB.c_str());
                EXPECT_EQ(std::string(out), expected) << "text " << e.id << ", flag " << flag;
                EXPECT_EQ(n, (int)expected.size());
                for (size_t i = NVR_MESSAGE_SIZE; i < sizeof out; i++)
                    ASSERT_EQ((unsigned char)out[i], 0xCC) << "overrun by text " << e.id;
            }
        }
    }
    EXPECT_LE(worst, (size_t)NVR_MESSAGE_SIZE);
    EXPECT_LE((size_t)NVR_MESSAGE_SIZE, 1024u);   // wsprintfA's own limit

    // A 420-byte buffer would not do: the volume prompts carry two paths.
    EXPECT_GT(worst, 420u);
}

TEST(Formatting, MissingArgumentsAreEmpty)
{
    LanguageGuard guard;
    char out[NVR_MESSAGE_SIZE];
    g_languageFlag = 1;
    FormatMessageText(out, MsgInsertVolume, NULL, NULL);
    EXPECT_STREQ(out, "Insert volume '' disk for drive ''.");
    g_languageFlag = 0;
    FormatMessageText(out, MsgBadDrive, "E:", NULL);
    EXPECT_EQ(std::string(out), ToCp949("'E:' 는 유효한 드라이브 문자가 아니거나 접근이 불가능합니다."));
}

}  // namespace
