// test_rollback.cpp -- the rollback under Wine after real worker runs over the
// nvrpack package of test_worker.prep (through the worker harness): files
// written where none stood are deleted, replaced ones ("*") and foreign ones
// stay, temporary "_if" files go, a fresh COM server is unregistered and
// deleted, SharedDLLs counts go back, removal flag 0 keeps a DLL, folders go
// innermost first as far as they are empty, the restart-needed flag is cleared
// and CodeRollbackDone is posted. Cleans its registry traces and pending renames.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/rollback.h"
#include "uidriver.h"
#include "workerharness.h"

namespace {

const char kServerKey[] = "Software\\NuvarTest\\comsrv.dll";

int s_stepsLeft, s_steps;

// Stands in for the progress bar: s_stepsLeft pixels to run back.
int StepBack(void)
{
    s_steps++;
    return s_stepsLeft-- > 0;
}

class RollbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = uidriver::TestData();
        ASSERT_FALSE(data.empty()) << "run through tests/wine-run (NVR_TEST_DATA)";
        inst = data + "\\rb_" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        wh::RemoveTree(inst);
        for (const char *dll : {"bin\\comsrv.dll", "lib\\plain.dll", "lib\\verdll.dll"})
            wh::DeleteSharedCount(In(dll));
        RegDeleteKeyA(HKEY_CURRENT_USER, kServerKey);
        g_languageFlag = 1;
        s_steps = 0;
        s_stepsLeft = 0;
    }
    void TearDown() override
    {
        h.Close();
        g_stepProgressBack = NULL;
        for (const char *dll : {"bin\\comsrv.dll", "lib\\plain.dll", "lib\\verdll.dll"})
            wh::DeleteSharedCount(In(dll));
        RegDeleteKeyA(HKEY_CURRENT_USER, kServerKey);
        wh::DropPendingRenames(inst);
        wh::RemoveTree(inst);
    }
    std::string In(const std::string &relative) const { return inst + "\\" + relative; }
    void Put(const std::string &relative, const std::string &bytes)
    {
        std::string path = In(relative);
        CreateDirectoryA(inst.c_str(), NULL);
        CreateDirectoryA(path.substr(0, path.rfind('\\')).c_str(), NULL);
        ASSERT_TRUE(uidriver::WriteFileBytes(path, bytes));
    }

    wh::Harness h;
    std::string data, inst;
};

TEST_F(RollbackTest, UndoesACompleteRun)
{
    const std::string newer = wh::ReadAll(data + "\\vers\\newer.dll");
    Put("readme.txt", "old readme");   // replaced: listed with '*', stays
    Put("lib\\verdll.dll", newer);      // kept as newer: counted, never deleted
    ASSERT_TRUE(h.Open(data + "\\main.exe", inst));
    wh::Seen run = h.Run({wh::Replace});
    ASSERT_EQ(run.done, 1);
    ASSERT_EQ(wh::SharedCount(In("bin\\comsrv.dll")).count, 2);
    ASSERT_EQ(wh::SharedCount(In("lib\\verdll.dll")).count, 2);
    ASSERT_TRUE(wh::KeyExists(HKEY_CURRENT_USER, kServerKey));
    // A file the run did not write, in a folder the run created.
    ASSERT_TRUE(uidriver::WriteFileBytes(In("docs\\notes.txt"), "mine"));

    s_stepsLeft = 5;
    g_stepProgressBack = StepBack;
    wh::Seen back = h.RunRollback();

    EXPECT_EQ(back.rolledBack, 1);
    EXPECT_EQ(back.postedParam, 0);
    EXPECT_EQ(s_steps, 6) << "the bar is run down until it reports empty";
    for (const char *gone : {"bin\\tool.dat", "docs\\guide.txt", "docs\\sub\\deep.txt",
                             "bin\\comsrv.dll", "bin", "docs\\sub", "empty"})
        EXPECT_FALSE(wh::Exists(In(gone))) << gone;
    EXPECT_EQ(wh::ReadAll(In("readme.txt")),
              wh::ReadAll(data + "\\product\\files\\readme.txt"));
    EXPECT_EQ(wh::ReadAll(In("docs\\notes.txt")), "mine");
    EXPECT_EQ(wh::ReadAll(In("lib\\verdll.dll")), newer);
    EXPECT_TRUE(wh::Exists(In("lib\\plain.dll"))) << "removal flag 0";
    EXPECT_FALSE(wh::KeyExists(HKEY_CURRENT_USER, kServerKey)) << "unregistered before deletion";
    wh::SharedValue server = wh::SharedCount(In("bin\\comsrv.dll"));
    EXPECT_EQ(server.type, (DWORD)REG_DWORD);
    EXPECT_EQ(server.count, 1);
    EXPECT_EQ(wh::SharedCount(In("lib\\verdll.dll")).count, 1);
    EXPECT_EQ(wh::SharedCount(In("lib\\plain.dll")).type, (DWORD)REG_NONE);
}

TEST_F(RollbackTest, UndoesAnAbortedRunWithAFileInUse)
{
    Put("readme.txt", "old readme");
    ASSERT_TRUE(h.Open(data + "\\main.exe", inst));
    HANDLE hold = CreateFileA(In("readme.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(hold, INVALID_HANDLE_VALUE);
    // The user aborts while the first DLL is shown; that DLL is still finished.
    std::string firstDll = In("bin\\comsrv.dll");
    wh::Seen run = h.Run({wh::Replace}, [&](const std::string &path) {
        if (path == firstDll)
            g_abortFlag = 1;
    });
    CloseHandle(hold);
    ASSERT_EQ(run.done, 1);
    ASSERT_EQ(run.paths.back(), firstDll);
    ASSERT_EQ(g_restartNeeded, 1);
    std::vector<std::string> sources = wh::JournalSources();
    std::string temp;
    for (const std::string &s : sources)
        if (s.rfind(inst + "\\_if", 0) == 0)
            temp = s;
    ASSERT_FALSE(temp.empty());
    ASSERT_TRUE(wh::Exists(temp));
    ASSERT_TRUE(wh::Exists(firstDll));

    wh::Seen back = h.RunRollback();
    EXPECT_EQ(back.rolledBack, 1);
    EXPECT_EQ(g_restartNeeded, 0);
    EXPECT_FALSE(wh::Exists(temp)) << "the temporary file beside the busy target";
    EXPECT_EQ(wh::ReadAll(In("readme.txt")), "old readme");
    EXPECT_FALSE(wh::Exists(firstDll));
    EXPECT_EQ(wh::SharedCount(firstDll).count, 1);
    for (const char *gone : {"bin", "docs", "empty", "lib"})
        EXPECT_FALSE(wh::Exists(In(gone))) << gone;
    EXPECT_TRUE(wh::Exists(inst)) << "the install folder was there before";
}

TEST_F(RollbackTest, AbortBeforeAnyFileTouchesNothing)
{
    ASSERT_TRUE(h.Open(data + "\\main.exe", inst));
    g_abortFlag = 1;
    wh::Seen run = h.Run();
    EXPECT_EQ(run.done, 1);
    EXPECT_TRUE(run.paths.empty());
    EXPECT_TRUE(run.chunks.empty());
    EXPECT_FALSE(wh::Exists(inst));
    g_restartNeeded = 1;
    s_stepsLeft = 3;
    g_stepProgressBack = StepBack;
    wh::Seen back = h.RunRollback();
    EXPECT_EQ(back.rolledBack, 1);
    EXPECT_EQ(s_steps, 4);
    EXPECT_EQ(g_restartNeeded, 0);
}

TEST_F(RollbackTest, RemoveEmptyFolderOnlyRemovesEmptyFolders)
{
    Put("full\\file.txt", "x");
    CreateDirectoryA(In("empty").c_str(), NULL);
    EXPECT_TRUE(RemoveEmptyFolder(""));
    EXPECT_TRUE(RemoveEmptyFolder("  "));
    EXPECT_TRUE(RemoveEmptyFolder("relative\\folder"));
    EXPECT_TRUE(RemoveEmptyFolder(In("missing").c_str()));
    EXPECT_FALSE(RemoveEmptyFolder(In("full").c_str()));
    EXPECT_TRUE(wh::Exists(In("full\\file.txt")));
    EXPECT_TRUE(RemoveEmptyFolder(In("empty").c_str()));
    EXPECT_FALSE(wh::Exists(In("empty")));
}

}  // namespace
