// test_pages.cpp -- the folder page's decisions without a window: the
// proposal from DefInstallFolder, the Browse sub-folder rule, the space line,
// the normalisation of a typed folder, the free-space figures and the order
// in which the folder checks stop or ask.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "setupinfo/macros.h"
#include "setupinfo/toolkit.h"
#include "ui/catalog.h"
#include "ui/pages.h"

namespace {

void Set(char *folder, const char *value)
{
    CopyBounded(NVR_PATH_SIZE, folder, value);
}

class PagesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_languageFlag = 1;
        Set(g_windowsFolder, "C:\\WINDOWS");
        Set(g_windowsDrive, "C:");
        Set(g_systemFolder, "C:\\WINDOWS\\SYSTEM");
        Set(g_programFiles, "C:\\Program Files");
        Set(g_commonFiles, "C:\\Program Files\\Common Files");
        Set(g_packageFolder, "E:\\Pkg");
        Set(g_packageDrive, "E:");
        Set(g_tempFolder, "C:\\TEMP");
        Set(g_installFolder, "");
        Set(g_installDrive, "");
    }
};

struct ProposalCase {
    const char *value;       // DefInstallFolder
    bool removable;          // package on removable media or CD-ROM
    const char *folder;      // proposal
    const char *subFolder;   // default sub-folder for Browse
};

TEST_F(PagesTest, ProposalFromDefInstallFolder)
{
    const ProposalCase cases[] = {
        {"{ProgramFiles}\\Foo", false, "C:\\Program Files\\Foo", "Foo"},
        {"{ProgramFiles}\\Foo", true, "C:\\Program Files\\Foo", "Foo"},
        // The macro text is left as it expands; only the sub-folder skips the run.
        {"{ProgramFiles}\\\\Foo\\Bar", false, "C:\\Program Files\\\\Foo\\Bar", "Foo\\Bar"},
        {"{ProgramFiles}", false, "C:\\Program Files", ""},
        {"{WinDrive}\\Apps\\Foo", false, "C:\\Apps\\Foo", "Apps\\Foo"},
        {"C:\\Foo", false, "C:\\Foo", ""},
        {"C:Foo", true, "C:Foo", ""},
        {"\\\\srv\\share\\Foo", false, "\\\\srv\\share\\Foo", ""},
        {"Foo", false, "E:\\Pkg\\Foo", "Foo"},
        {"Foo\\Bar", false, "E:\\Pkg\\Foo\\Bar", "Foo\\Bar"},
        {"\\Foo", false, "E:\\Pkg\\Foo", "\\Foo"},
        {"Foo", true, "C:\\Foo", "Foo"},
        {"", false, "E:\\Pkg", ""},
        {"", true, "C:", ""},
        // A brace word that is no macro stays; its closing brace still
        // starts the sub-folder.
        {"{Nowhere}\\Foo", false, "E:\\Pkg\\{Nowhere}\\Foo", "Foo"},
    };
    for (const ProposalCase &c : cases) {
        SCOPED_TRACE(std::string(c.value) + (c.removable ? " (removable)" : ""));
        char folder[NVR_PATH_SIZE], sub[NVR_PATH_SIZE];
        Set(sub, "stale");
        ProposeFolder(c.value, c.removable, folder, sub);
        EXPECT_STREQ(folder, c.folder);
        EXPECT_STREQ(sub, c.subFolder);
    }
}

TEST_F(PagesTest, ProposalBesidePackageOnDriveRoot)
{
    char folder[NVR_PATH_SIZE], sub[NVR_PATH_SIZE];
    Set(g_packageFolder, "E:\\");
    ProposeFolder("Foo", FALSE, folder, sub);
    EXPECT_STREQ(folder, "E:\\Foo");
    Set(g_windowsDrive, "D:");
    ProposeFolder("Foo", TRUE, folder, sub);
    EXPECT_STREQ(folder, "D:\\Foo");
}

TEST_F(PagesTest, ProposalKeepsTo259Characters)
{
    std::string value = "{ProgramFiles}\\" + std::string(300, 'x');
    char folder[NVR_PATH_SIZE], sub[NVR_PATH_SIZE];
    ProposeFolder(value.c_str(), FALSE, folder, sub);
    EXPECT_EQ(strlen(folder), NVR_PATH_SIZE - 1u);
    EXPECT_EQ(strlen(sub), NVR_PATH_SIZE - 1u);
}

TEST_F(PagesTest, BrowseAppendsDefaultSubFolder)
{
    const struct {
        const char *chosen, *subFolder, *result;
    } cases[] = {
        {"D:\\Apps", "Foo", "D:\\Apps\\Foo"},
        {"D:\\Apps", "", "D:\\Apps"},
        {"D:\\Apps", "Foo\\Bar", "D:\\Apps\\Foo\\Bar"},
        {"D:\\", "Foo", "D:\\Foo"},
        {"D:\\", "", "D:\\"},
        {"D:\\Apps", "\\Foo\\", "D:\\Apps\\Foo"},
        {"\\\\srv\\share", "Foo", "\\\\srv\\share\\Foo"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::string(c.chosen) + " + " + c.subFolder);
        char folder[NVR_PATH_SIZE];
        Set(folder, c.chosen);
        ApplyBrowseChoice(folder, c.subFolder);
        EXPECT_STREQ(folder, c.result);
    }
}

TEST_F(PagesTest, SpaceLineRoundsHalvesUp)
{
    const struct {
        DWORD bytes;
        const char *line;
    } cases[] = {
        {0, "Space needed: 0KB"},
        {511, "Space needed: 0KB"},
        {512, "Space needed: 1KB"},
        {1535, "Space needed: 1KB"},
        {1536, "Space needed: 2KB"},
        {5000000, "Space needed: 4,883KB"},
        {1024u * 1000 * 1000, "Space needed: 1,000,000KB"},
        // Near 4 GiB the rounding must not wrap round to 0KB.
        {0xFFFFFE00u, "Space needed: 4,194,304KB"},
        {0xFFFFFFFFu, "Space needed: 4,194,304KB"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.bytes);
        char line[NVR_MESSAGE_SIZE];
        FormatSpaceLine(line, c.bytes);
        EXPECT_STREQ(line, c.line);
    }
}

TEST_F(PagesTest, SpaceLineInKorean)
{
    g_languageFlag = 0;
    char line[NVR_MESSAGE_SIZE];
    FormatSpaceLine(line, 1536);
    // "설치에 필요한 공간:" in code page 949, one blank, the number, "KB".
    EXPECT_STREQ(line, "\xbc\xb3\xc4\xa1\xbf\xa1 \xc7\xca\xbf\xe4\xc7\xd1 \xb0\xf8\xb0\xa3: 2KB");
}

TEST_F(PagesTest, TypedFolderIsNormalised)
{
    const struct {
        const char *typed, *folder;
    } cases[] = {
        {"D:Apps", "D:\\Apps"},
        {"D:", "D:\\"},
        {"D:\\", "D:\\"},
        {"D:\\Apps\\", "D:\\Apps"},
        {"  D:\\Apps  ", "D:\\Apps"},
        {"Apps", "E:\\Pkg\\Apps"},
        {"Apps\\Sub\\", "E:\\Pkg\\Apps\\Sub"},
        {"\\\\srv\\share\\x\\", "\\\\srv\\share\\x"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.typed);
        char folder[NVR_PATH_SIZE];
        Set(folder, c.typed);
        EXPECT_TRUE(NormaliseFolder(folder));
        EXPECT_STREQ(folder, c.folder);
    }
    for (const char *blank : {"", " ", "\t \t"}) {
        char folder[NVR_PATH_SIZE];
        Set(folder, blank);
        EXPECT_FALSE(NormaliseFolder(folder));
    }
}

TEST_F(PagesTest, FreeBytesSaturate)
{
    EXPECT_EQ(FreeBytesFromFigures(8, 512, 100), 409600u);
    EXPECT_EQ(FreeBytesFromFigures(1, 1, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ(FreeBytesFromFigures(2, 1, 0x7FFFFFFFu), 0xFFFFFFFEu);
    EXPECT_EQ(FreeBytesFromFigures(2, 1, 0x80000000u), 0xFFFFFFFFu);
    EXPECT_EQ(FreeBytesFromFigures(64, 512, 0x100000u), 0xFFFFFFFFu);   // 32 GiB
    EXPECT_EQ(FreeBytesFromFigures(8, 512, 0), 0u);
}

// Facts in which every check passes; each case spoils some of them.
FolderFacts GoodFacts()
{
    FolderFacts f;
    f.rootExists = TRUE;
    f.removable = FALSE;
    f.edited = FALSE;
    f.folderExists = FALSE;
    f.freeBytes = 1000;
    f.spaceNeeded = 999;
    return f;
}

TEST_F(PagesTest, ChecksStopInTheirOrder)
{
    struct Case {
        const char *what;
        const char *folder;
        FolderFacts facts;
        FolderCheck stops[CheckPassed + 1];   // checks met in turn, Yes to each question
    };
    FolderFacts allBad = GoodFacts();
    allBad.rootExists = FALSE;
    allBad.removable = TRUE;
    allBad.edited = TRUE;
    allBad.freeBytes = 0;
    FolderFacts askAll = allBad;
    askAll.rootExists = TRUE;
    FolderFacts equal = GoodFacts();
    equal.freeBytes = equal.spaceNeeded = 4096;
    FolderFacts zeroNeeded = GoodFacts();
    zeroNeeded.spaceNeeded = 0;
    zeroNeeded.freeBytes = 1;
    FolderFacts zeroFree = zeroNeeded;
    zeroFree.freeBytes = 0;
    FolderFacts typedExisting = GoodFacts();
    typedExisting.edited = TRUE;
    typedExisting.folderExists = TRUE;
    FolderFacts proposedMissing = GoodFacts();
    FolderFacts saturated = GoodFacts();
    saturated.freeBytes = 0xFFFFFFFFu;
    saturated.spaceNeeded = 0xFFFFFFFEu;

    const Case cases[] = {
        {"share before any drive test", "\\\\srv\\share\\Foo", allBad, {CheckRemote}},
        {"missing drive", "Q:\\Foo", allBad, {CheckBadDrive}},
        {"removable, typed, full", "A:\\Foo", askAll,
         {CheckRemovable, CheckCreate, CheckNoSpace}},
        {"free equal to needed", "C:\\Foo", equal, {CheckNoSpace}},
        {"nothing needed, one byte free", "C:\\Foo", zeroNeeded, {CheckPassed}},
        {"nothing needed, nothing free", "C:\\Foo", zeroFree, {CheckNoSpace}},
        {"typed folder that exists", "C:\\Foo", typedExisting, {CheckPassed}},
        {"proposal that does not exist", "C:\\Foo", proposedMissing, {CheckPassed}},
        {"unsigned comparison near 4 GiB", "C:\\Foo", saturated, {CheckPassed}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        int from = 0;
        for (int i = 0;; i++) {
            FolderCheck check = NextFolderCheck(c.folder, &c.facts, from);
            EXPECT_EQ(check, c.stops[i]) << "stop " << i;
            if (check != CheckRemovable && check != CheckCreate)
                break;   // a warning ends the checks; Passed ends them too
            from = check + 1;
        }
    }
}

}  // namespace
