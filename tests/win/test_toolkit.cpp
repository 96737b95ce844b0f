// test_toolkit.cpp -- tests of the path and string toolkit: table-driven text
// and path cases, the 259-character bounds, and the existence tests and the
// folder-creation walk against the real file system (a fresh folder under the
// temporary folder). Must not touch anything outside that folder.
#include "setupinfo/toolkit.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

typedef char *(*InPlaceOp)(char *);
typedef char *(*PathOp)(const char *);

struct Case {
    const char *in;
    const char *out;
};

// Runs an in-place operation on a copy of each input in a path buffer.
void CheckInPlace(InPlaceOp op, const char *name, const Case *cases, size_t count)
{
    for (size_t i = 0; i < count; i++) {
        char buf[NVR_PATH_SIZE];
        CopyBounded(NVR_PATH_SIZE, buf, cases[i].in);
        EXPECT_EQ(op(buf), buf) << name;
        EXPECT_STREQ(cases[i].out, buf) << name << "(\"" << cases[i].in << "\")";
    }
}

void CheckPathOp(PathOp op, const char *name, const Case *cases, size_t count)
{
    for (size_t i = 0; i < count; i++)
        EXPECT_STREQ(cases[i].out, op(cases[i].in)) << name << "(\"" << cases[i].in << "\")";
}

#define CHECK_IN_PLACE(op, table) CheckInPlace(op, #op, table, sizeof(table) / sizeof(table[0]))
#define CHECK_PATH_OP(op, table) CheckPathOp(op, #op, table, sizeof(table) / sizeof(table[0]))

// "C:\" followed by 'x' up to len characters.
std::string LongPath(size_t len)
{
    return "C:\\" + std::string(len - 3, 'x');
}

}  // namespace

TEST(Toolkit, AppendBoundedCutsAtSizeAndNeverWritesPastIt)
{
    struct { int size; const char *dst, *src, *out; } cases[] = {
        {10, "abc", "def", "abcdef"},
        {7, "abc", "def", "abcdef"},
        {6, "abc", "def", "abcde"},
        {4, "abc", "def", "abc"},
        {3, "abc", "def", "abc"},          // size - l < 0: nothing written
        {0, "", "def", ""},
        {1, "", "def", ""},
        {5, "", "", ""},
    };
    for (const auto &c : cases) {
        char buf[16];
        memset(buf, '#', sizeof buf);
        memcpy(buf, c.dst, strlen(c.dst) + 1);
        EXPECT_EQ(AppendBounded(c.size, buf, c.src), buf);
        EXPECT_STREQ(c.out, buf) << c.size << " " << c.dst << "+" << c.src;
        size_t used = strlen(c.dst) + 1 > (size_t)c.size ? strlen(c.dst) + 1 : (size_t)c.size;
        for (size_t i = used; i < sizeof buf; i++) EXPECT_EQ('#', buf[i]) << "byte " << i << " written";
    }
}

TEST(Toolkit, TrimmingAndBlanks)
{
    static const Case trim[] = {{"  a b \t", "a b"}, {"\t\t", ""}, {"", ""}, {"\na\n", "\na\n"}};
    static const Case left[] = {{" \ta ", "a "}, {"a", "a"}};
    static const Case right[] = {{" a \t", " a"}, {"   ", ""}};
    static const Case strip[] = {{" \\\\a\\ ", "a\\ "}, {"\\ a", " a"}, {"\\\\", ""}, {"a\\", "a\\"}};
    CHECK_IN_PLACE(Trim, trim);
    CHECK_IN_PLACE(TrimLeft, left);
    CHECK_IN_PLACE(TrimRight, right);
    CHECK_IN_PLACE(StripLeadingBackslashes, strip);
    EXPECT_TRUE(IsBlank(""));
    EXPECT_TRUE(IsBlank(" \t "));
    EXPECT_FALSE(IsBlank(" \n"));   // only space and tab are blanks
    EXPECT_FALSE(IsBlank(" x"));
}

TEST(Toolkit, TrailingBackslash)
{
    static const Case add[] = {
        {"C:\\dir", "C:\\dir\\"}, {" C:\\dir\\ ", "C:\\dir\\"}, {"", ""}, {"   ", ""}, {"C:", "C:\\"},
    };
    static const Case remove[] = {
        {"C:\\dir\\", "C:\\dir"}, {"C:\\dir\\\\", "C:\\dir\\"}, {"\\\\srv\\share\\", "\\\\srv\\share"},
        {"C:\\", "C:\\"}, {"\\", "\\"}, {"\\\\", "\\\\"}, {"", ""}, {" C:\\dir\\ ", "C:\\dir"},
        {"a\\", "a"}, {"ab\\\\", "ab\\"}, {"C:\\dir", "C:\\dir"},
    };
    CHECK_IN_PLACE(AddTrailingBackslash, add);
    CHECK_IN_PLACE(RemoveTrailingBackslash, remove);

    std::string full = LongPath(259);
    char buf[NVR_PATH_SIZE + 8];
    memset(buf, '#', sizeof buf);
    CopyBounded(NVR_PATH_SIZE, buf, full.c_str());
    EXPECT_STREQ(full.c_str(), AddTrailingBackslash(buf));   // no room: no backslash
    EXPECT_EQ('#', buf[NVR_PATH_SIZE]);
    CopyBounded(NVR_PATH_SIZE, buf, LongPath(258).c_str());
    EXPECT_EQ(LongPath(258) + "\\", AddTrailingBackslash(buf));
}

TEST(Toolkit, QuotePath)
{
    static const Case cases[] = {
        {"C:\\a b\\x.exe", "\"C:\\a b\\x.exe\""}, {" \"C:\\x\" ", "\"C:\\x\""}, {"", "\"\""},
        {"\"C:\\x", "\"C:\\x\""}, {"C:\\x\"", "\"C:\\x\""}, {"\"\"", "\"\""},
    };
    CHECK_IN_PLACE(QuotePath, cases);

    // A path that fills the buffer keeps its opening quote; the end is cut.
    std::string full = LongPath(259);
    char buf[NVR_PATH_SIZE];
    CopyBounded(NVR_PATH_SIZE, buf, full.c_str());
    EXPECT_EQ("\"" + full.substr(0, 258), QuotePath(buf));
    CopyBounded(NVR_PATH_SIZE, buf, LongPath(257).c_str());
    EXPECT_EQ("\"" + LongPath(257) + "\"", QuotePath(buf));
}

TEST(Toolkit, IsAbsolutePath)
{
    struct { const char *path; BOOL absolute; } cases[] = {
        {"c:x", TRUE}, {"  C:\\x \t", TRUE}, {"\\\\srv", TRUE}, {"C:", TRUE},
        {"\\x", FALSE}, {"x", FALSE}, {"", FALSE}, {"  ", FALSE}, {":x", FALSE},
    };
    for (const auto &c : cases) EXPECT_EQ(c.absolute, IsAbsolutePath(c.path)) << c.path;
}

TEST(Toolkit, AnchorDrivePath)
{
    static const Case cases[] = {
        {"C:dir", "C:\\dir"}, {"C:", "C:\\"}, {"C:\\dir", "C:\\dir"}, {"dir", "dir"}, {"C", "C"},
        {" C:dir", " C:dir"},   // no trimming
    };
    CHECK_IN_PLACE(AnchorDrivePath, cases);

    std::string full = "C:" + std::string(257, 'y');
    char buf[NVR_PATH_SIZE + 8];
    memset(buf, '#', sizeof buf);
    CopyBounded(NVR_PATH_SIZE, buf, full.c_str());
    EXPECT_EQ("C:\\" + std::string(256, 'y'), AnchorDrivePath(buf));
    EXPECT_EQ('#', buf[NVR_PATH_SIZE]);
}

TEST(Toolkit, PathRoot)
{
    static const Case cases[] = {
        {"C:\\dir\\f", "C:"}, {"C:\\a", "C:"}, {" c:x ", "c:"}, {"\\\\srv\\share\\a\\b", "\\\\srv\\share"},
        {"\\\\srv\\share", "\\\\srv\\share"}, {"\\\\\\srv\\\\share\\a", "\\\\\\srv\\\\share"},
        {"\\\\srv\\C:f", "\\\\srv\\C:"}, {"\\\\srv\\C:\\f", "\\\\srv\\C:"}, {"\\\\srv\\C:", "\\\\srv\\C:"},
        {"\\\\srv", ""}, {"\\\\srv\\", ""}, {"\\\\srv\\\\", ""}, {"a\\b", ""}, {"\\a", ""}, {"", ""},
    };
    CHECK_PATH_OP(PathRoot, cases);
    // The result may be changed in place by the caller.
    char *root = PathRoot("D:\\x");
    AddTrailingBackslash(root);
    EXPECT_STREQ("D:\\", root);
}

TEST(Toolkit, PathFolderAndFileName)
{
    struct { const char *path, *folder, *name; } cases[] = {
        {"C:\\dir\\f.txt", "C:\\dir", "f.txt"},
        {"C:\\f.txt", "C:\\", "f.txt"},
        {"C:f.txt", "C:\\", "f.txt"},
        {"C:", "C:\\", ""},
        {"C:\\dir\\", "C:\\dir", ""},
        {"\\\\srv\\share\\f", "\\\\srv\\share", "f"},
        {"\\\\srv\\share", "\\\\srv\\share", ""},
        {"\\\\srv", "\\\\srv", ""},
        {"\\\\srv\\C:f", "\\\\srv\\C:\\", "f"},
        {"  C:\\a\\b\\c.d \t", "C:\\a\\b", "c.d"},
        {"dir\\f", "dir", "f"},
        {"\\f", "\\", "f"},
        {"f.txt", "f.txt", "f.txt"},   // no backslash: left whole
        {"", "", ""},
    };
    for (const auto &c : cases) {
        EXPECT_STREQ(c.folder, PathFolder(c.path)) << c.path;
        EXPECT_STREQ(c.name, PathFileName(c.path)) << c.path;
    }
    // Each operation may be handed its own result.
    EXPECT_STREQ("C:\\a", PathFolder(PathFolder("C:\\a\\b\\c")));
    EXPECT_STREQ("c", PathFileName(PathFileName("C:\\a\\b\\c")));

    // The copy is cut at 259 characters before the head is anchored.
    std::string drive = "C:" + std::string(300, 'y');
    EXPECT_STREQ("C:\\", PathFolder(drive.c_str()));
    EXPECT_EQ(std::string(256, 'y'), PathFileName(drive.c_str()));
    EXPECT_EQ(std::string(256, 'x'), PathFileName(("C:\\" + std::string(300, 'x')).c_str()));
    // A share "C:" in the last two places of a full buffer has no room for
    // its backslash and stays as it is.
    std::string server = "\\\\" + std::string(254, 'v');
    EXPECT_EQ(server, PathFolder((server + "\\C:").c_str()));
    EXPECT_STREQ("C:", PathFileName((server + "\\C:").c_str()));
}

TEST(Toolkit, JoinPath)
{
    struct { const char *folder, *relative, *out; } cases[] = {
        {"C:\\", "\\x", "C:\\x"},
        {"C:", "x", "C:\\x"},
        {"", "\\x", "x"},
        {"C:\\dir", "a\\b", "C:\\dir\\a\\b"},
        {" C:\\dir\\ ", " \\\\a ", "C:\\dir\\a "},
        {" C:\\dir\\ ", " \t", " C:\\dir\\ "},   // blank relative part: folder untouched
        {"C:\\dir", "", "C:\\dir"},
    };
    for (const auto &c : cases) EXPECT_STREQ(c.out, JoinPath(c.folder, c.relative)) << c.folder << "|" << c.relative;
    EXPECT_STREQ("C:\\a\\b\\c", JoinPath(JoinPath("C:\\a", "b"), "c"));

    std::string folder = LongPath(250);
    EXPECT_EQ((folder + "\\12345678"), JoinPath(folder.c_str(), "1234567890"));
    EXPECT_EQ(LongPath(259), JoinPath(LongPath(300).c_str(), "z"));
}

TEST(Toolkit, NextCommaField)
{
    char field[NVR_PATH_SIZE];
    const char *expected[] = {"x", "1", "", "3", "", ""};
    EXPECT_STREQ("x", NextCommaField(field, "x,1,,3"));
    EXPECT_STREQ("x", field);
    for (size_t i = 1; i < sizeof expected / sizeof expected[0]; i++) {
        memset(field, '#', sizeof field);
        EXPECT_STREQ(expected[i], NextCommaField(field, NULL)) << "field " << i;
        EXPECT_STREQ(expected[i], field) << "field " << i;
    }
    // Fields are neither trimmed nor unquoted; earlier results stay valid.
    char *first = NextCommaField(NULL, " a ,\"b,c\"");
    char *second = NextCommaField(NULL, NULL);
    EXPECT_STREQ(" a ", first);
    EXPECT_STREQ("\"b", second);
    EXPECT_STREQ("", NextCommaField(NULL, ","));
    EXPECT_STREQ("", NextCommaField(NULL, NULL));
}

TEST(Toolkit, CommaFieldBounds)
{
    // The record is cut at 1,559 characters, a copied field at 259.
    std::string record = std::string(300, 'a') + "," + std::string(2000, 'b');
    char field[NVR_PATH_SIZE + 8];
    memset(field, '#', sizeof field);
    EXPECT_EQ(300u, strlen(NextCommaField(field, record.c_str())));
    EXPECT_EQ(std::string(259, 'a'), field);
    EXPECT_EQ('#', field[NVR_PATH_SIZE]);
    EXPECT_EQ(1559u - 301u, strlen(NextCommaField(NULL, NULL)));
}

TEST(Toolkit, FormatThousands)
{
    struct { DWORD n; const char *out; } cases[] = {
        {0, "0"}, {7, "7"}, {999, "999"}, {1000, "1,000"}, {12345, "12,345"}, {999999, "999,999"},
        {1000000, "1,000,000"}, {4294967295u, "4,294,967,295"},
    };
    for (const auto &c : cases) EXPECT_STREQ(c.out, FormatThousands(c.n)) << c.n;
}

TEST(Toolkit, ParseLongAndCompareNoCase)
{
    struct { const char *text; long value; } cases[] = {
        {"0", 0}, {"42", 42}, {" \t-17x", -17}, {"+5", 5}, {"", 0}, {"x1", 0}, {"-", 0},
        {"\n5", 0}, {"2147483647", 2147483647L}, {"-2147483648", (long)(-2147483647L - 1)},
        {"4294967295", -1},   // wraps modulo 2^32
    };
    for (const auto &c : cases) EXPECT_EQ(c.value, ParseLong(c.text)) << c.text;
    EXPECT_EQ(0, CompareNoCase("Src\\A.DLL", "sRC\\a.dll"));
    EXPECT_LT(CompareNoCase("abc", "ABD"), 0);
    EXPECT_GT(CompareNoCase("abcd", "ABC"), 0);
    EXPECT_NE(0, CompareNoCase("[", "{"));   // only letters fold
}

// ---- file system --------------------------------------------------------------

namespace {

// A fresh folder under the temporary folder, removed with its content.
class ToolkitFiles : public ::testing::Test {
protected:
    std::string base;   // with a trailing backslash

    void SetUp() override
    {
        char temp[MAX_PATH];
        ASSERT_NE(0u, GetTempPathA(MAX_PATH, temp));
        base = std::string(temp) + "nvr_toolkit_" + std::to_string(GetCurrentProcessId()) + "\\";
        RemoveTree(base);
        ASSERT_TRUE(CreateDirectoryA(base.c_str(), NULL));
    }
    void TearDown() override { RemoveTree(base); }

    static void RemoveTree(const std::string &dir)
    {
        WIN32_FIND_DATAA fd;
        HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE) {
            do {
                std::string name = fd.cFileName;
                if (name == "." || name == "..") continue;
                if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(dir + name + "\\");
                else DeleteFileA((dir + name).c_str());
            } while (FindNextFileA(h, &fd));
            FindClose(h);
        }
        RemoveDirectoryA(dir.c_str());
    }
    void MakeFile(const std::string &path)
    {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_NEW, 0, NULL);
        ASSERT_NE(INVALID_HANDLE_VALUE, h);
        CloseHandle(h);
    }
    // Runs a whole walk and returns the folders it reported.
    static std::vector<std::string> Walk(const std::string &path)
    {
        std::vector<std::string> made;
        for (char *f = CreateNextMissingFolder(path.c_str()); f; f = CreateNextMissingFolder(NULL))
            made.push_back(f);
        return made;
    }
};

}  // namespace

TEST_F(ToolkitFiles, ExistenceTests)
{
    MakeFile(base + "f.txt");
    std::string dir = base.substr(0, base.size() - 1);
    struct { std::string path; BOOL file, folder; } cases[] = {
        {base + "f.txt", TRUE, FALSE}, {" " + base + "f.txt\t", TRUE, FALSE},
        {base + "f.txt\\", TRUE, FALSE}, {dir, FALSE, TRUE}, {base, FALSE, TRUE},
        {base + "missing", FALSE, FALSE}, {base + "missing\\x", FALSE, FALSE}, {"", FALSE, FALSE},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.file, FileExists(c.path.c_str())) << c.path;
        EXPECT_EQ(c.folder, FolderExists(c.path.c_str())) << c.path;
    }
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetPathAttributes((base + "missing").c_str()));
    EXPECT_NE(0u, GetPathAttributes(base.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
}

TEST_F(ToolkitFiles, MissingDriveRestoresErrorMode)
{
    DWORD drives = GetLogicalDrives();
    char letter = 0;
    for (char c = 'Z'; c > 'C' && !letter; c--)
        if (!(drives & (1u << (c - 'A')))) letter = c;
    ASSERT_NE(0, letter);
    std::string path = std::string(1, letter) + ":\\x\\";
    UINT before = SetErrorMode(0);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetPathAttributes(path.c_str()));
    EXPECT_FALSE(FolderExists(path.c_str()));
    EXPECT_EQ(0u, SetErrorMode(before));   // the mode in force is the one set before
}

TEST_F(ToolkitFiles, WalkCreatesMissingFoldersOneAtATime)
{
    ASSERT_TRUE(CreateDirectoryA((base + "a").c_str(), NULL));
    std::vector<std::string> expected = {base + "a\\b", base + "a\\b\\c"};
    EXPECT_EQ(expected, Walk(base + "a\\b\\c"));
    EXPECT_TRUE(FolderExists((base + "a\\b\\c").c_str()));
    // Everything present: none at once; continuing after the end stays none.
    EXPECT_EQ(NULL, CreateNextMissingFolder((base + "a\\b\\c\\").c_str()));
    EXPECT_EQ(NULL, CreateNextMissingFolder(NULL));
    EXPECT_EQ(NULL, CreateNextMissingFolder(NULL));
    // Doubled separators, blanks and a drive-relative head.
    std::string relative = " " + base.substr(0, 2) + base.substr(3) + "a\\\\d\\e\\ ";
    expected = {base + "a\\\\d", base + "a\\\\d\\e"};
    EXPECT_EQ(expected, Walk(relative));
}

TEST_F(ToolkitFiles, WalkStopsAtAFileInTheWay)
{
    ASSERT_TRUE(CreateDirectoryA((base + "a").c_str(), NULL));
    MakeFile(base + "a\\b");
    EXPECT_EQ(NULL, CreateNextMissingFolder((base + "a\\b\\c").c_str()));
    EXPECT_FALSE(FolderExists((base + "a\\b\\c").c_str()));
    EXPECT_TRUE(FileExists((base + "a\\b").c_str()));
}

TEST_F(ToolkitFiles, WalkOnUncAndRootlessPaths)
{
    // "\\?\C:\..." has the UNC shape: server "?", share "C:"; neither is
    // tested or created, the folders below are.
    std::string unc = "\\\\?\\" + base;
    std::vector<std::string> expected = {unc + "u", unc + "u\\v"};
    EXPECT_EQ(expected, Walk(unc + "u\\v"));
    EXPECT_TRUE(FolderExists((base + "u\\v").c_str()));
    EXPECT_EQ(NULL, CreateNextMissingFolder("\\\\srv\\share"));
    EXPECT_EQ(NULL, CreateNextMissingFolder("\\\\srv"));
    EXPECT_EQ(NULL, CreateNextMissingFolder(""));

    // A single leading backslash: the first component is empty, nothing is made.
    std::string name = "nvr_toolkit_root_" + std::to_string(GetCurrentProcessId());
    EXPECT_EQ(NULL, CreateNextMissingFolder(("\\" + name + "\\x").c_str()));
    EXPECT_FALSE(FolderExists(("\\" + name).c_str()));
}
