// test_journal.cpp -- the install journal on real files under Wine: the INI
// file and the source-file list byte for byte, count keys, the read-back order
// the rollback relies on, records that are passed over, names around the
// 255-byte limit of the list's length byte, and DLL record splitting.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>

#include "setupinfo/journal.h"
#include "setupinfo/profile.h"
#include "launcher/runsetup.h"

namespace {

std::string ReadAll(const std::string &path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char block[4096];
    DWORD got;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got)
        bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

std::string Record(const std::string &name)
{
    return std::string(1, (char)(unsigned char)name.size()) + name;
}

class JournalTest : public ::testing::Test {
protected:
    std::string folder, ini, list;

    void SetUp() override
    {
        static int serial;
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "nvrjournal" + std::to_string(GetCurrentProcessId()) + "_" +
                 std::to_string(++serial);
        CreateDirectoryA(folder.c_str(), NULL);
        ini = folder + "\\_if2.tmp";
        list = folder + "\\_if3.tmp";
        lstrcpynA(g_journalFile, ini.c_str(), NVR_PATH_SIZE);
        g_sourceList = CreateFileA(list.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                   NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(g_sourceList, INVALID_HANDLE_VALUE);
        BeginJournalReadBack();   // a fresh journal: every counter back to 0
    }

    void TearDown() override
    {
        // A pending source count goes into this test's journal, not the next.
        BeginJournalReadBack();
        CloseHandle(g_sourceList);
        g_sourceList = INVALID_HANDLE_VALUE;
        ProfileFlush(ini.c_str());
        DeleteFileA(ini.c_str());
        DeleteFileA(list.c_str());
        RemoveDirectoryA(folder.c_str());
    }

    std::string IniText()
    {
        ProfileFlush(ini.c_str());
        return ReadAll(ini);
    }

    // Reads a key with the platform directly, "<missing>" when absent.
    std::string Key(const char *section, const char *key)
    {
        char value[1024];
        GetPrivateProfileStringA(section, key, "<missing>", value, sizeof value, ini.c_str());
        return value;
    }

    std::vector<std::string> ReadBack(const char *kind)
    {
        std::vector<std::string> items;
        char buffer[NVR_JOURNAL_ITEM_SIZE + 16];
        memset(buffer, 0x5A, sizeof buffer);
        while (NextJournalItem(kind, buffer)) {
            items.push_back(buffer);
            for (size_t i = NVR_JOURNAL_ITEM_SIZE; i < sizeof buffer; i++)
                EXPECT_EQ(buffer[i], 0x5A) << "byte " << i << " past the item buffer";
        }
        return items;
    }
};

TEST_F(JournalTest, FilesAreByteExact)
{
    RecordInstalled("Folder", NULL, "C:\\Nvr");
    RecordInstalled("SourceFile", NULL, "C:\\Nvr\\a.txt");
    RecordInstalled("DLLFiles", NULL, "C:\\windows\\system32\\x.dll,1,1,1,0,0");
    RecordInstalled("Folder", NULL, "C:\\Nvr\\sub");
    RecordInstalled("SourceFile", NULL, "C:\\Nvr\\sub\\b.txt*");
    RecordInstalled("Extra", "Key", "Value");

    // Sections in the order of their first record, as the platform writes them;
    // the source count only once the read-back begins.
    const std::string written =
        "[Folder]\r\nFolderCount=2\r\n1=C:\\Nvr\r\n2=C:\\Nvr\\sub\r\n"
        "[DLLFiles]\r\nDLLFileCount=1\r\n1=C:\\windows\\system32\\x.dll,1,1,1,0,0\r\n"
        "[Extra]\r\nKey=Value\r\n";
    EXPECT_EQ(IniText(), written);
    EXPECT_EQ(ReadAll(list), Record("C:\\Nvr\\a.txt") + Record("C:\\Nvr\\sub\\b.txt*"));
    BeginJournalReadBack();
    EXPECT_EQ(IniText(), written + "[SourceFile]\r\nSourceFileCount=2\r\n");
    EXPECT_EQ(ReadBack("SourceFile"), (std::vector<std::string>{"C:\\Nvr\\a.txt"}));

    // A second read-back starts over and does not write a lowered count.
    BeginJournalReadBack();
    EXPECT_EQ(Key("SourceFile", "SourceFileCount"), "2");
    EXPECT_EQ(ReadBack("SourceFile"), (std::vector<std::string>{"C:\\Nvr\\a.txt"}));
}

TEST_F(JournalTest, CountKeyHoldsNumberOfTheRecordJustWritten)
{
    const char *folders[] = {"C:\\a", "C:\\a\\b", "C:\\a\\b\\c"};
    for (int i = 0; i < 3; i++) {
        RecordInstalled("Folder", "ignored", folders[i]);
        std::string n = std::to_string(i + 1);
        EXPECT_EQ(Key("Folder", "FolderCount"), n);
        EXPECT_EQ(Key("Folder", n.c_str()), folders[i]);
        EXPECT_EQ(Key("Folder", std::to_string(i + 2).c_str()), "<missing>");
    }
    EXPECT_EQ(Key("Folder", "ignored"), "<missing>");
    RecordInstalled("DLLFiles", NULL, "C:\\d.dll,2,1,1,1,0");
    EXPECT_EQ(Key("DLLFiles", "DLLFileCount"), "1");
    EXPECT_EQ(Key("DLLFiles", "1"), "C:\\d.dll,2,1,1,1,0");
}

// The rollback takes source files oldest first, then DLL records and folders
// newest first, passing over what it cannot or must not undo.
TEST_F(JournalTest, ReadBackOrderAndPassedOverRecords)
{
    struct { const char *section; const char *value; } writes[] = {
        {"Folder", "C:\\app"},
        {"SourceFile", "C:\\app\\one.txt"},
        {"SourceFile", "C:\\app\\kept.txt*"},        // replaced an existing file
        {"DLLFiles", "C:\\sys\\first.dll,1,0,0,0,0"},
        {"Folder", "C:\\app\\data"},
        {"SourceFile", "   "},                       // blank
        {"SourceFile", "relative\\two.txt"},          // not absolute
        {"SourceFile", "C:\\app\\kept2.txt*  \t"},   // '*' before trailing blanks
        {"DLLFiles", ""},
        {"DLLFiles", "sys\\relative.dll,1,0,0,0,0"},
        {"SourceFile", "C:\\app\\st*r.txt"},          // '*' inside the name: undone
        {"Folder", "data\\relative"},
        {"Folder", "\\\\server\\share\\app"},
        {"DLLFiles", "C:\\sys\\last.dll,1,1,1,1,0"},
        {"SourceFile", "C:\\windows\\temp\\_if4.tmp"},
    };
    for (auto &w : writes)
        RecordInstalled(w.section, NULL, w.value);

    BeginJournalReadBack();
    EXPECT_EQ(ReadBack("SourceFile"),
              (std::vector<std::string>{"C:\\app\\one.txt", "C:\\app\\st*r.txt",
                                        "C:\\windows\\temp\\_if4.tmp"}));
    EXPECT_EQ(ReadBack("DLLFiles"), (std::vector<std::string>{"C:\\sys\\last.dll,1,1,1,1,0",
                                                              "C:\\sys\\first.dll,1,0,0,0,0"}));
    EXPECT_EQ(ReadBack("Folder"), (std::vector<std::string>{"\\\\server\\share\\app",
                                                            "C:\\app\\data", "C:\\app"}));
    char buffer[NVR_JOURNAL_ITEM_SIZE];
    EXPECT_EQ(NextJournalItem("Folder", buffer), 0);      // exhausted stays exhausted
    EXPECT_EQ(NextJournalItem("Registry", buffer), 0);    // none of the three kinds

    // A second read-back starts over from the journal's counts.
    BeginJournalReadBack();
    EXPECT_EQ(ReadBack("SourceFile").size(), 3u);
}

// A missing key inside the counted range reads as an empty record.
TEST_F(JournalTest, MissingRecordIsPassedOver)
{
    RecordInstalled("Folder", NULL, "C:\\x");
    RecordInstalled("Folder", NULL, "C:\\x\\y");
    RecordInstalled("Folder", NULL, "C:\\x\\y\\z");
    WritePrivateProfileStringA("Folder", "2", NULL, ini.c_str());
    BeginJournalReadBack();
    EXPECT_EQ(ReadBack("Folder"), (std::vector<std::string>{"C:\\x\\y\\z", "C:\\x"}));
}

// A damaged count far beyond the records the file holds does not keep the
// read-back stepping through missing keys: it ends quickly with the records
// that are there.
TEST_F(JournalTest, DamagedCountEndsTheReadBackQuickly)
{
    RecordInstalled("Folder", NULL, "C:\\x");
    RecordInstalled("Folder", NULL, "C:\\x\\y");
    WritePrivateProfileStringA("Folder", "FolderCount", "34567890", ini.c_str());
    WritePrivateProfileStringA("DLLFiles", "DLLFileCount", "2147483647", ini.c_str());
    DWORD start = GetTickCount();
    BeginJournalReadBack();
    std::vector<std::string> folders = ReadBack("Folder");
    EXPECT_TRUE(ReadBack("DLLFiles").empty());
    EXPECT_LT(GetTickCount() - start, 20000u);
    ASSERT_GE(folders.size(), 2u);
    EXPECT_EQ(folders[folders.size() - 2], "C:\\x\\y");
    EXPECT_EQ(folders.back(), "C:\\x");
}

// The list's length byte holds up to 255: such names keep the plain record;
// longer ones get a 0-length record and live in [SourceFile] under the record's
// number, and are still read back whole.
TEST_F(JournalTest, NamesAroundTheLengthByteLimit)
{
    auto name = [](size_t length, char fill) {
        std::string n = "C:\\";
        n.append(length - n.size(), fill);
        return n;
    };
    std::string n254 = name(254, 'a'), n255 = name(255, 'b'), n256 = name(256, 'c'),
                n259 = name(259, 'd');
    RecordInstalled("SourceFile", NULL, n254.c_str());
    RecordInstalled("SourceFile", NULL, n255.c_str());
    RecordInstalled("SourceFile", NULL, n256.c_str());
    RecordInstalled("SourceFile", NULL, "");
    RecordInstalled("SourceFile", NULL, n259.c_str());

    std::string bytes = ReadAll(list);
    ASSERT_EQ(bytes.size(), 1 + 254 + 1 + 255 + 1 + 1 + 1u);
    EXPECT_EQ((unsigned char)bytes[255], 255);
    EXPECT_EQ(bytes, Record(n254) + Record(n255) + std::string(3, '\0'));
    EXPECT_EQ(Key("SourceFile", "SourceFileCount"), "<missing>");   // until the read-back
    EXPECT_EQ(Key("SourceFile", "1"), "<missing>");
    EXPECT_EQ(Key("SourceFile", "2"), "<missing>");
    EXPECT_EQ(Key("SourceFile", "3"), n256);
    EXPECT_EQ(Key("SourceFile", "4"), "<missing>");    // the empty name stays plain
    EXPECT_EQ(Key("SourceFile", "5"), n259);

    BeginJournalReadBack();
    EXPECT_EQ(Key("SourceFile", "SourceFileCount"), "5");
    EXPECT_EQ(ReadBack("SourceFile"), (std::vector<std::string>{n254, n255, n256, n259}));
}

TEST_F(JournalTest, NoFolderSectionWhenNoFolderWasCreated)
{
    RecordInstalled("SourceFile", NULL, "C:\\Nvr\\a.txt");
    RecordInstalled("DLLFiles", NULL, "C:\\d.dll,1,0,0,0,0");
    std::string text = IniText();
    EXPECT_EQ(text.find("[Folder]"), std::string::npos) << text;
    EXPECT_EQ(text.find("FolderCount"), std::string::npos) << text;
    BeginJournalReadBack();
    EXPECT_TRUE(ReadBack("Folder").empty());
    EXPECT_EQ(ReadBack("SourceFile").size(), 1u);
}

// A list cut in the middle of a record ends the read-back of source files.
TEST_F(JournalTest, ShortListEndsTheSourceFiles)
{
    RecordInstalled("SourceFile", NULL, "C:\\one.txt");
    RecordInstalled("SourceFile", NULL, "C:\\two.txt");
    RecordInstalled("SourceFile", NULL, "C:\\three.txt");
    SetFilePointer(g_sourceList, 1 + 10 + 4, NULL, FILE_BEGIN);
    SetEndOfFile(g_sourceList);
    BeginJournalReadBack();
    EXPECT_EQ(ReadBack("SourceFile"), (std::vector<std::string>{"C:\\one.txt"}));
}

TEST_F(JournalTest, LongestDllRecordFitsTheItemBuffer)
{
    std::string path = "C:\\" + std::string(256, 'p');
    std::string record = path + ",1,1,1,1,1";
    ASSERT_EQ(record.size(), NVR_JOURNAL_ITEM_SIZE - 1u);
    RecordInstalled("DLLFiles", NULL, record.c_str());
    BeginJournalReadBack();
    std::vector<std::string> items = ReadBack("DLLFiles");
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0], record);

    DllRecord split;
    SplitDllRecord(items[0].c_str(), &split);
    EXPECT_EQ(std::string(split.path), path);
    EXPECT_EQ(split.removal + split.shared + split.registered + split.typeLibrary +
              split.replaced, 5);
}

TEST(DllRecordSplit, OnlyExactlyOneSetsAFlag)
{
    struct Case {
        const char *record;
        const char *path;
        int removal, shared, registered, typeLibrary, replaced;
    } cases[] = {
        {"C:\\w\\x.dll,1,1,1,1,1", "C:\\w\\x.dll", 1, 1, 1, 1, 1},
        {"C:\\w\\x.dll,0,0,0,0,0", "C:\\w\\x.dll", 0, 0, 0, 0, 0},
        {"C:\\w\\x.dll,2,1,0,1,0", "C:\\w\\x.dll", 0, 1, 0, 1, 0},   // kept: never removed
        {"C:\\w\\x.dll,1,0,0,0,1", "C:\\w\\x.dll", 1, 0, 0, 0, 1},   // overwrote a file
        {"C:\\w\\x.dll,01, 1,1 ,11,1", "C:\\w\\x.dll", 0, 0, 0, 0, 1},
        {"C:\\w\\x.dll,1", "C:\\w\\x.dll", 1, 0, 0, 0, 0},
        {"C:\\w\\x.dll", "C:\\w\\x.dll", 0, 0, 0, 0, 0},
        {"", "", 0, 0, 0, 0, 0},
    };
    for (const Case &c : cases) {
        DllRecord r;
        memset(&r, 0x7F, sizeof r);
        SplitDllRecord(c.record, &r);
        EXPECT_STREQ(r.path, c.path) << c.record;
        EXPECT_EQ(r.removal, c.removal) << c.record;
        EXPECT_EQ(r.shared, c.shared) << c.record;
        EXPECT_EQ(r.registered, c.registered) << c.record;
        EXPECT_EQ(r.typeLibrary, c.typeLibrary) << c.record;
        EXPECT_EQ(r.replaced, c.replaced) << c.record;
    }
}

}  // namespace
