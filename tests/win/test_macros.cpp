// test_macros.cpp -- path macro expansion with fixed folder values: each
// macro, drive-root values, repeated and escaped macros, text that is no
// macro, blank paths and the 259-character cut.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "launcher/runsetup.h"
#include "setupinfo/macros.h"
#include "setupinfo/toolkit.h"

namespace {

void Set(char *folder, const char *value)
{
    CopyBounded(NVR_PATH_SIZE, folder, value);
}

class MacroTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Set(g_windowsFolder, "C:\\WINDOWS");
        Set(g_windowsDrive, "C:");
        Set(g_systemFolder, "C:\\WINDOWS\\SYSTEM");
        Set(g_programFiles, "C:\\Program Files");
        Set(g_commonFiles, "C:\\Program Files\\Common Files");
        Set(g_installFolder, "D:\\Apps\\Tool");
        Set(g_installDrive, "D:");
        Set(g_packageFolder, "\\\\srv\\share\\pkg");
        Set(g_packageDrive, "\\\\srv\\share");
        Set(g_tempFolder, "C:\\TEMP");
    }
};

struct Case {
    const char *path;
    const char *expanded;
    bool found;
};

void Check(const Case &c)
{
    SCOPED_TRACE(c.path);
    char path[NVR_PATH_SIZE];
    Set(path, c.path);
    EXPECT_EQ(ExpandPathMacros(path) != 0, c.found);
    EXPECT_STREQ(path, c.expanded);
}

TEST_F(MacroTest, EachMacroAndNonMacros)
{
    const Case cases[] = {
        {"{WinDir}\\SYSTEM\\x.dll", "C:\\WINDOWS\\SYSTEM\\x.dll", true},
        {"{WinDrive}\\x", "C:\\x", true},
        {"{WinSysDir}\\x", "C:\\WINDOWS\\SYSTEM\\x", true},
        {"{ProgramFiles}\\x", "C:\\Program Files\\x", true},
        {"{CommonFiles}\\x", "C:\\Program Files\\Common Files\\x", true},
        {"{InstallDrive}\\x", "D:\\x", true},
        {"{InstallDir}\\x", "D:\\Apps\\Tool\\x", true},
        {"{InstallFileDrive}\\x", "\\\\srv\\share\\x", true},
        {"{InstallFileDir}\\x", "\\\\srv\\share\\pkg\\x", true},
        {"{TempDir}\\x", "C:\\TEMP\\x", true},
        {"{InstallDir}\\a\\{InstallDir}", "D:\\Apps\\Tool\\a\\D:\\Apps\\Tool", true},
        {"{WinDir}{WinSysDir}", "C:\\WINDOWSC:\\WINDOWS\\SYSTEM", true},
        {"C:\\plain\\path", "C:\\plain\\path", false},
        {"", "", false},
        {"   ", "   ", false},
        {"{windir}\\x", "{windir}\\x", false},
        {"{Fonts}\\x", "{Fonts}\\x", false},
        {"{WinDir}\\{Fonts}", "C:\\WINDOWS\\{Fonts}", true},
        {"{WinDir", "{WinDir", false},
        // Escapes are replaced but do not count, and never form a macro.
        {"{{}WinDir{}}", "{WinDir}", false},
        {"{{}{}}", "{}", false},
        {"{WinDir}\\{{}x{}}", "C:\\WINDOWS\\{x}", true},
    };
    for (const Case &c : cases) Check(c);
}

// A drive root as value does not double the backslash that follows the macro.
TEST_F(MacroTest, DriveRootValues)
{
    Set(g_installFolder, "D:\\");
    const Case cases[] = {
        {"{InstallDir}\\a", "D:\\a", true},
        {"{InstallDir}a", "D:\\a", true},
        {"{InstallDir}\\\\a", "D:\\\\a", true},     // only one backslash is dropped
        {"{InstallDir}", "D:\\", true},
        {"x{InstallDir}\\{InstallDir}\\y", "xD:\\D:\\y", true},
    };
    for (const Case &c : cases) Check(c);

    // Trailing blanks of the value are ignored in that test.
    char path[NVR_PATH_SIZE] = "{R}\\a";
    EXPECT_TRUE(ReplaceMacro(path, "{R}", "E:\\ "));
    EXPECT_STREQ(path, "E:\\ a");
}

// Before the folder page accepted a folder, the install macros expand to
// nothing but still count as found.
TEST_F(MacroTest, EmptyInstallFolder)
{
    Set(g_installFolder, "");
    Set(g_installDrive, "");
    Check({"{InstallDir}\\a", "\\a", true});
    Check({"{InstallDrive}", "", true});
}

// Inserted text is not searched again for the same macro.
TEST_F(MacroTest, ReplacedTextIsNotSearchedAgain)
{
    char path[NVR_PATH_SIZE] = "{A}-{A}";
    EXPECT_TRUE(ReplaceMacro(path, "{A}", "{A}{A}"));
    EXPECT_STREQ(path, "{A}{A}-{A}{A}");
    EXPECT_FALSE(ReplaceMacro(path, "{B}", "x"));
    EXPECT_STREQ(path, "{A}{A}-{A}{A}");
    EXPECT_FALSE(ReplaceMacro(path, "", "x"));
    EXPECT_STREQ(path, "{A}{A}-{A}{A}");
}

// Expansions are cut at 259 characters and never pass the 260-byte buffer.
TEST_F(MacroTest, LongResultsAreCut)
{
    std::string folder = "D:\\" + std::string(196, 'f');     // 199 characters
    Set(g_installFolder, folder.c_str());
    const char *paths[] = {
        "{InstallDir}\\{InstallDir}", "{InstallDir}\\a\\{InstallDir}\\tail",
        "{InstallDir}\\{InstallDir}\\{InstallDir}",
    };
    for (const char *p : paths) {
        SCOPED_TRACE(p);
        std::string expected = p;
        for (size_t at; (at = expected.find("{InstallDir}")) != std::string::npos;)
            expected.replace(at, 12, folder);
        expected.resize(NVR_PATH_SIZE - 1);

        char memory[NVR_PATH_SIZE + 8];
        memset(memory, '#', sizeof memory);
        Set(memory, p);
        EXPECT_TRUE(ExpandPathMacros(memory));
        EXPECT_EQ(std::string(memory), expected);
        for (int i = NVR_PATH_SIZE; i < NVR_PATH_SIZE + 8; i++) EXPECT_EQ(memory[i], '#');
    }

    // A path of 259 characters whose expansion is shorter keeps its tail.
    std::string path = "{WinDrive}" + std::string(249, 'p');
    char buffer[NVR_PATH_SIZE];
    Set(buffer, path.c_str());
    EXPECT_TRUE(ExpandPathMacros(buffer));
    EXPECT_EQ(std::string(buffer), "C:" + std::string(249, 'p'));
}

}  // namespace
