// test_profile.cpp -- the INI and registry access layer on real files and a
// real registry key under Wine: presence test and sentinels, defaults, quote
// handling of writes, number reads, DLL-line flags, bounded registry reads.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"

namespace {

const char kSection[] = "General";

// A fresh INI file per test, named after the test, in a folder of this run.
class ProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder_ = std::string(temp) + "nvr_profile_" + std::to_string(GetCurrentProcessId());
        CreateDirectoryA(folder_.c_str(), NULL);
        file_ = folder_ + "\\" + ::testing::UnitTest::GetInstance()->current_test_info()->name() +
                ".ini";
        DeleteFileA(file_.c_str());
    }
    void TearDown() override
    {
        ProfileFlush(file_.c_str());
        DeleteFileA(file_.c_str());
        RemoveDirectoryA(folder_.c_str());
    }

    // Writes the file's bytes directly, bypassing the profile functions.
    void WriteFileBytes(const std::string &text)
    {
        HANDLE h = CreateFileA(file_.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
        CloseHandle(h);
    }

    std::string ReadFileBytes()
    {
        std::string text;
        ProfileFlush(file_.c_str());
        HANDLE h = CreateFileA(file_.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL);
        if (h == INVALID_HANDLE_VALUE) return text;
        char block[4096];
        DWORD got;
        while (ReadFile(h, block, sizeof block, &got, NULL) && got) text.append(block, got);
        CloseHandle(h);
        return text;
    }

    const char *File() const { return file_.c_str(); }

    std::string folder_;
    std::string file_;
};

TEST_F(ProfileTest, PresenceEmptyValuesAndSentinels)
{
    WriteFileBytes("[General]\r\nEmpty=\r\nFirst=$1234567890$\r\nSecond=$ABCDEFGHIJ$\r\n"
                   "Quoted=\"$1234567890$\"\r\nPlain=x\r\n[Other]\r\nElsewhere=1\r\n");
    struct Case {
        const char *key;
        bool exists;
        const char *read;     // ProfileReadString with default "dflt"
    } cases[] = {
        {"Empty", true, ""},
        {"First", true, "$1234567890$"},
        {"Second", true, "$ABCDEFGHIJ$"},
        {"Quoted", true, "$1234567890$"},
        {"Plain", true, "x"},
        {"PLAIN", true, "x"},                 // keys compare without case
        {"Missing", false, "dflt"},
        {"Elsewhere", false, "dflt"},         // present only in another section
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        char buffer[NVR_PATH_SIZE];
        EXPECT_EQ(ProfileKeyExists(kSection, c.key, File()) != 0, c.exists);
        ASSERT_EQ(ProfileReadString(kSection, c.key, "dflt", buffer, sizeof buffer, File()), buffer);
        EXPECT_STREQ(buffer, c.read);
    }
    EXPECT_FALSE(ProfileKeyExists(kSection, "Plain", (folder_ + "\\absent.ini").c_str()));
}

TEST_F(ProfileTest, MissingKeyWithoutDefaultLeavesBufferAlone)
{
    WriteFileBytes("[General]\r\nEmpty=\r\n");
    char buffer[16] = "untouched";
    EXPECT_EQ(ProfileReadString(kSection, "Missing", NULL, buffer, sizeof buffer, File()), nullptr);
    EXPECT_STREQ(buffer, "untouched");
    // A present key with an empty value is read, not treated as missing.
    EXPECT_EQ(ProfileReadString(kSection, "Empty", NULL, buffer, sizeof buffer, File()), buffer);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(ProfileReadString(kSection, "Empty", "d", NULL, 16, File()), nullptr);
}

TEST_F(ProfileTest, ReadsAreBoundedByTheBuffer)
{
    WriteFileBytes("[General]\r\nLong=abcdefghijklmnop\r\n");
    char memory[16];
    memset(memory, '#', sizeof memory);
    ProfileReadString(kSection, "Long", NULL, memory, 8, File());
    EXPECT_STREQ(memory, "abcdefg");
    memset(memory, '#', sizeof memory);
    ProfileReadString(kSection, "Missing", "0123456789", memory, 8, File());
    EXPECT_STREQ(memory, "0123456");
    for (int i = 8; i < 16; i++) EXPECT_EQ(memory[i], '#') << i;
}

// What a write stores (the file's bytes) and what reading it back gives.
TEST_F(ProfileTest, WritesKeepQuotesAndBlanks)
{
    struct Case {
        const char *value;
        const char *stored;
        const char *readBack;
    } cases[] = {
        {"\"abc\"", "\"\"abc\"\"", "\"abc\""},
        {"'abc'", "\"'abc'\"", "'abc'"},
        {"  \"a b\"  ", "\"\"a b\"\"", "\"a b\""},      // trimmed, then quoted
        {"''", "\"''\"", "''"},
        {"'a\"", "'a\"", "'a\""},                        // mixed quotes: unchanged
        {"\"a'", "\"a'", "\"a'"},
        {"\"", "\"", "\""},                              // one character: unchanged
        // Stored untrimmed (Wine's own write drops leading blanks, so only the
        // trailing ones are visible in the file).
        {"plain  ", "plain  ", "plain"},
        {" \"a\" ", "\"\"a\"\"", "\"a\""},
        {"a \"b\" c", "a \"b\" c", "a \"b\" c"},
        {"", "", ""},
    };
    for (int i = 0; i < (int)(sizeof cases / sizeof cases[0]); i++) {
        const Case &c = cases[i];
        SCOPED_TRACE(c.value);
        std::string key = "K" + std::to_string(i);
        char buffer[NVR_PATH_SIZE];
        ASSERT_TRUE(ProfileWriteString(kSection, key.c_str(), c.value, File()));
        std::string line = "\n" + key + "=" + c.stored + "\r\n";
        EXPECT_NE(ReadFileBytes().find(line), std::string::npos) << ReadFileBytes();
        ProfileReadString(kSection, key.c_str(), NULL, buffer, sizeof buffer, File());
        EXPECT_STREQ(buffer, c.readBack);
    }
}

// A value beyond the re-quoting bound is written exactly as passed.
TEST_F(ProfileTest, OverlongValueIsWrittenUnchanged)
{
    std::string value = "\"" + std::string(NVR_PROFILE_QUOTE_LIMIT, 'v') + "\"";
    ASSERT_TRUE(ProfileWriteString(kSection, "Long", value.c_str(), File()));
    EXPECT_NE(ReadFileBytes().find("\nLong=" + value + "\r\n"), std::string::npos);
    std::string fits = "\"" + std::string(NVR_PROFILE_QUOTE_LIMIT - 2, 'v') + "\"";
    ASSERT_TRUE(ProfileWriteString(kSection, "Fits", fits.c_str(), File()));
    EXPECT_NE(ReadFileBytes().find("\nFits=\"" + fits + "\"\r\n"), std::string::npos);
}

TEST_F(ProfileTest, Numbers)
{
    WriteFileBytes("[General]\r\nNeg= -5\r\nTail=12abc\r\nBlank=   \r\nEmpty=\r\nText=abc\r\n"
                   "Plus=+7\r\nSign=-\r\nSpaced=- 3\r\nZero=0\r\nLanguage=2\r\n");
    struct Case {
        const char *key;
        long expected;
    } cases[] = {
        {"Neg", -5}, {"Tail", 12}, {"Blank", 77}, {"Empty", 77}, {"Missing", 77}, {"Text", 77},
        {"Plus", 7}, {"Sign", 77}, {"Spaced", 77}, {"Zero", 0}, {"Language", 2},
    };
    for (const Case &c : cases)
        EXPECT_EQ(ProfileReadNumber(kSection, c.key, 77, File()), c.expected) << c.key;

    const long extremes[] = {0, -1, 2147483647L, -2147483647L - 1};
    for (long n : extremes) {
        ASSERT_TRUE(ProfileWriteNumber(kSection, "N", n, File()));
        EXPECT_EQ(ProfileReadNumber(kSection, "N", 77, File()), n);
    }
    EXPECT_NE(ReadFileBytes().find("\nN=-2147483648\r\n"), std::string::npos);
}

// DLL line fields: 2 and 3 are numbers, 4 to 6 are true only for exactly "1".
TEST_F(ProfileTest, DllLineFlags)
{
    const char *line = "{WinSysDir}\\a.dll, 1,01,1, 1,01";
    char fields[6][NVR_PATH_SIZE];
    NextCommaField(fields[0], line);
    for (int i = 1; i < 6; i++) NextCommaField(fields[i], NULL);
    EXPECT_EQ(ParseLong(fields[1]), 1);
    EXPECT_EQ(ParseLong(fields[2]), 1);
    EXPECT_TRUE(IsFlagSet(fields[3]));
    EXPECT_FALSE(IsFlagSet(fields[4]));
    EXPECT_FALSE(IsFlagSet(fields[5]));
    const char *falses[] = {"", "0", "01", " 1", "1 ", "11", "2", "-1", "true"};
    for (const char *f : falses) EXPECT_FALSE(IsFlagSet(f)) << '"' << f << '"';
}

// A blank file name addresses WIN.INI through the non-private functions.
TEST_F(ProfileTest, BlankFileUsesSystemProfile)
{
    const char *section = "NvrProfileTest";
    ASSERT_TRUE(ProfileWriteString(section, "Key", "'v'", "  "));
    char buffer[NVR_PATH_SIZE];
    GetProfileStringA(section, "Key", "", buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "'v'");
    EXPECT_TRUE(ProfileKeyExists(section, "Key", ""));
    EXPECT_TRUE(ProfileKeyExists(section, "Key", NULL));
    EXPECT_FALSE(ProfileKeyExists(section, "Key", File()));
    ProfileWriteString(section, NULL, NULL, "");           // removes the section
    EXPECT_FALSE(ProfileKeyExists(section, "Key", ""));
}

// --- RegistryReadString ------------------------------------------------------

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, 0, KEY_ALL_ACCESS, NULL, &key_,
                                  NULL),
                  ERROR_SUCCESS);
    }
    void TearDown() override
    {
        RegCloseKey(key_);
        RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
    }
    void Set(const char *name, DWORD type, const void *data, DWORD bytes)
    {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, (const BYTE *)data, bytes), ERROR_SUCCESS);
    }
    static constexpr const char *kKey = "Software\\NvrRegistryTest";
    HKEY key_ = NULL;
};

TEST_F(RegistryTest, NeverLeavesTheBufferOrStaleText)
{
    DWORD number = 5;
    Set("Long", REG_SZ, "abcdefghijklmnopqrst", 21);
    Set("Exact", REG_SZ, "abcdefg", 8);
    Set("NoNulShort", REG_SZ, "abcd", 4);
    Set("NoNulFull", REG_SZ, "abcdefgh", 8);
    Set("Dword", REG_DWORD, &number, sizeof number);
    Set("Expand", REG_EXPAND_SZ, "%TMP%\\x", 8);
    Set("Empty", REG_SZ, "", 0);
    Set("Binary", REG_BINARY, "abc", 4);

    struct Case {
        const char *name;
        BOOL result;
        const char *text;
    } cases[] = {
        {"Long", FALSE, ""},            // too large for 8 bytes
        {"Exact", TRUE, "abcdefg"},     // with its NUL exactly 8 bytes
        {"NoNulShort", TRUE, "abcd"},   // terminated inside the buffer
        {"Dword", FALSE, ""},
        {"Binary", FALSE, ""},
        {"Expand", TRUE, "%TMP%\\x"},   // not expanded
        {"Empty", TRUE, ""},
        {"Missing", FALSE, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        char memory[16];
        memcpy(memory, "STALESTA########", 16);
        EXPECT_EQ(RegistryReadString(key_, c.name, memory, 8), c.result);
        EXPECT_STREQ(memory, c.text);
        for (int i = 8; i < 16; i++) EXPECT_EQ(memory[i], '#') << i;
    }
    EXPECT_FALSE(RegistryReadString(key_, "Exact", NULL, 8));

    // Eight bytes without terminator in an 8-byte buffer: Windows returns them
    // as they are (the last one then gives way to the NUL), Wine reports them
    // as too large. Either way the text is terminated inside the buffer.
    char memory[16];
    memcpy(memory, "STALESTA########", 16);
    if (RegistryReadString(key_, "NoNulFull", memory, 8))
        EXPECT_STREQ(memory, "abcdefg");
    else
        EXPECT_STREQ(memory, "");
    for (int i = 8; i < 16; i++) EXPECT_EQ(memory[i], '#') << i;
}

}  // namespace
