// test_finishing.cpp -- finishing under Wine: the End-install information
// file, the HKLM RunOnce command written only when a restart is pending (and
// its exact form), the removal of a stale value, and the one-second delay
// before CodeFinished. Removes every RunOnce value it makes, so that no later
// Wine start runs a test program as a post-restart command.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/finishing.h"
#include "workerharness.h"

namespace {

const char kTitle[] = "Nuvar Finishing Test";
const char kOtherTitle[] = "Nuvar Finishing Other";

// The RunOnce value named name: {type, data}; type REG_NONE when absent.
std::pair<DWORD, std::string> RunOnceValue(const char *name)
{
    HKEY key;
    std::pair<DWORD, std::string> value(REG_NONE, "");
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NVR_RUNONCE_KEY, 0, KEY_READ, &key))
        return value;
    char data[1024];
    DWORD size = sizeof data, type;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)data, &size) == 0) {
        value.first = type;
        value.second.assign(data, size);
    }
    RegCloseKey(key);
    return value;
}

void SetRunOnce(const char *name, const std::string &command)
{
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, NVR_RUNONCE_KEY, 0, NULL, 0, KEY_SET_VALUE,
                              NULL, &key, NULL), 0);
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)command.c_str(),
                   (DWORD)command.size() + 1);
    RegCloseKey(key);
}

void DeleteRunOnce(const char *name)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NVR_RUNONCE_KEY, 0, KEY_SET_VALUE, &key))
        return;
    RegDeleteValueA(key, name);
    RegCloseKey(key);
}

class FinishingTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        CopyBounded(NVR_PATH_SIZE, g_packagePath, "C:\\nowhere\\Setup.exe");
        ASSERT_TRUE(SetUpRun());
        BeginJournalReadBack();
        CopyBounded(NVR_PATH_SIZE, g_title, kTitle);
        g_languageFlag = 0;
        g_restartNeeded = 0;
    }
    void TearDown() override
    {
        DeleteRunOnce(kTitle);
        DeleteRunOnce(kOtherTitle);
        CleanUpRun();
        ProfileFlush(g_endInstallPath);
        DeleteFileA(g_endInstallPath);
        g_restartNeeded = 0;
    }
    std::string Command() const
    {
        char module[MAX_PATH];
        GetModuleFileNameA(NULL, module, MAX_PATH);
        return std::string("\"") + module + "\" -i" + g_endInstallPath;
    }
};

TEST_F(FinishingTest, WithoutRestartNoCommandAndStaleValueRemoved)
{
    SetRunOnce(kTitle, "\"C:\\old\\NvrInst10.exe\" -iC:\\old\\_if4.tmp");
    SetRunOnce(kOtherTitle, "keep me");
    RemoveRunOnceEntry();
    EXPECT_EQ(RunOnceValue(kTitle).first, (DWORD)REG_NONE);
    EXPECT_EQ(RunOnceValue(kOtherTitle).second, std::string("keep me", 8));

    g_languageFlag = 7;
    EXPECT_EQ(WriteEndInstallInformation(), 1);
    EXPECT_EQ(wh::Ini("General", "Title", g_endInstallPath), kTitle);
    EXPECT_EQ(wh::Ini("General", "Language", g_endInstallPath), "7");
    EXPECT_EQ(RunOnceValue(kTitle).first, (DWORD)REG_NONE);
    EXPECT_TRUE(wh::JournalSources().empty());
}

TEST_F(FinishingTest, WithRestartStoresCommandAndJournalsTheFile)
{
    RecordInstalled(NVR_JOURNAL_SOURCES, NULL, "C:\\inst\\a.txt");
    g_restartNeeded = 1;
    EXPECT_EQ(WriteEndInstallInformation(), 1);

    std::pair<DWORD, std::string> value = RunOnceValue(kTitle);
    EXPECT_EQ(value.first, (DWORD)REG_SZ);
    EXPECT_EQ(value.second, Command() + '\0') << "quoted module, \" -i\", the path; terminated";
    EXPECT_EQ(wh::Ini("General", "Title", g_endInstallPath), kTitle);
    EXPECT_EQ(wh::Ini("General", "Language", g_endInstallPath), "0");
    std::vector<std::string> sources = wh::JournalSources();
    ASSERT_EQ(sources.size(), 2u);
    EXPECT_EQ(sources.back(), g_endInstallPath);

    // A later run of a package with the same Title replaces the value, and a
    // run without restart removes it.
    std::string first = g_endInstallPath;
    CopyBounded(NVR_PATH_SIZE, g_endInstallPath, "C:\\later\\_if9.tmp");
    RemoveRunOnceEntry();
    EXPECT_EQ(WriteEndInstallInformation(), 1);
    EXPECT_EQ(RunOnceValue(kTitle).second, Command() + '\0');
    CopyBounded(NVR_PATH_SIZE, g_endInstallPath, first.c_str());
    g_restartNeeded = 0;
    RemoveRunOnceEntry();
    EXPECT_EQ(RunOnceValue(kTitle).first, (DWORD)REG_NONE);
}

TEST(FinishingDelayTest, PostsCodeFinishedAfterOneSecond)
{
    wh::Harness h;
    wh::Seen seen;
    DWORD elapsed = h.RunPoster(FinishingDelay, seen);
    EXPECT_EQ(seen.finished, 1);
    EXPECT_EQ(seen.postedParam, 0);
    EXPECT_GE(elapsed, 950u);
    EXPECT_LT(elapsed, 3000u);
}

}  // namespace
