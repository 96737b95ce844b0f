// test_bootstrap.cpp -- the module started the way a user starts a package:
// the bare module, a truncated package, a package in a folder with blanks, and
// a locked module copy in the Windows folder. Runs the real x86_64 module.
#include <gtest/gtest.h>
#include <algorithm>
#include "package/format.h"
#include "ui/startupmsg.h"
#include "tests/win/uidriver.h"

using namespace uidriver;

namespace {

std::string Data() { return TestData(); }

std::string ModuleCopy() { return WindowsFolder() + "\\" NVR_MODULE_FILE_NAME; }



// Starts path (quoted, then args) and, when a message box comes up before the
// process ends, reads it and presses OK. Returns the exit code; box receives
// what the box said.
DWORD RunAndAnswer(const std::string &path, MessageBoxSeen *box, const std::string &args = "")
{
    Process p = Start("\"" + path + "\"" + args);
    EXPECT_TRUE(p.handle != NULL) << path;
    for (int i = 0; i < 500 && p.handle; ++i) {
        if (WaitForSingleObject(p.handle, 20) == WAIT_OBJECT_0)
            break;
        *box = WaitMessageBox(p.id, 0);
        if (box->window) {
            Press(box->window, IDOK);
            break;
        }
    }
    return WaitExit(p);
}

class Bootstrap : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_FALSE(Data().empty()) << "NVR_TEST_DATA is not set";
        DeleteFileA(ModuleCopy().c_str());
    }
    void TearDown() override { DeleteFileA(ModuleCopy().c_str()); }
};

TEST_F(Bootstrap, BareModuleWarnsAndExitsZero)
{
    MessageBoxSeen box;
    DWORD code = RunAndAnswer(Data() + "\\bare.exe", &box);
    EXPECT_EQ(std::string(MsgBareModule), box.text);
    EXPECT_EQ("Nuvar installer", box.caption);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(ModuleCopy().c_str()));
}

// Only "-I", "-i" and "~i", compared case-sensitively, leave the bootstrap:
// the bare module started with anything else warns as started plainly.
TEST_F(Bootstrap, OtherCommandLinesAreBootstrap)
{
    const std::string package = Data() + "\\dir with blanks\\My Setup.exe";
    const std::string lines[] = {" ~I" + package, " I" + package, " xI" + package,
                                 " - I" + package, " -X" + package, "  -"};
    for (const std::string &args : lines) {
        SCOPED_TRACE(args);
        MessageBoxSeen box;
        DWORD code = RunAndAnswer(Data() + "\\bare.exe", &box, args);
        EXPECT_EQ(std::string(MsgBareModule), box.text);
        EXPECT_EQ(0u, code);
    }
}

TEST_F(Bootstrap, TruncatedPackageIsCorruptAndExitsMinusOne)
{
    MessageBoxSeen box;
    DWORD code = RunAndAnswer(Data() + "\\short.exe", &box);
    EXPECT_EQ(std::string(MsgPackageCorrupt), box.text);
    EXPECT_EQ("Nuvar installer", box.caption);
    EXPECT_EQ(0xFFFFFFFFu, code);
}

TEST_F(Bootstrap, PackageCopiesModuleAndStartsItOnThePackage)
{
    std::string package = Data() + "\\dir with blanks\\My Setup.exe";
    std::vector<std::string> tempsBefore = TempRunFiles();
    MessageBoxSeen box;
    DWORD code = RunAndAnswer(package, &box);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(NULL, box.window) << "unexpected message: " << box.text;

    // The copy is the package's first 51,200 bytes.
    std::string copy = ReadFileBytes(ModuleCopy());
    std::string head = ReadFileBytes(package).substr(0, NVR_MODULE_LENGTH);
    ASSERT_EQ(NVR_MODULE_LENGTH, copy.size());
    EXPECT_TRUE(copy == head);

    // The install run it started opens the package (it would report the
    // package as corrupt had the path with blanks not arrived whole), reads
    // the title from the package's install information and shows its main
    // window under the title's caption; Cancel on the welcome page ends it.
    Process install = WaitProcessNamed(NVR_MODULE_FILE_NAME, 5000);
    ASSERT_TRUE(install.handle != NULL);
    const char *caption = "Installation of Bootstrap Test";
    EXPECT_TRUE(WaitWindow(install.id, "IFBG", caption, 10000) != NULL);
    HWND welcome = WaitWindow(install.id, "#32770", caption, 10000);
    ASSERT_TRUE(welcome != NULL) << "no welcome page";
    Sleep(200);
    Press(welcome, 1003);
    EXPECT_EQ(0u, WaitExit(install));
    EXPECT_EQ(tempsBefore, TempRunFiles()) << "the run left temporary files";
}

TEST_F(Bootstrap, LockedCopyIsNotRewrittenButStarted)
{
    // A stand-in program under the module's name records how it is started.
    std::string probe = ReadFileBytes(Data() + "\\probe.exe");
    ASSERT_FALSE(probe.empty());
    ASSERT_TRUE(WriteFileBytes(ModuleCopy(), probe));
    std::string out = Data() + "\\probe.txt";
    DeleteFileA(out.c_str());
    SetEnvironmentVariableA("NVR_PROBE_OUT", out.c_str());

    HANDLE lock = CreateFileA(ModuleCopy().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, 0, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, lock);
    std::string package = Data() + "\\dir with blanks\\My Setup.exe";
    MessageBoxSeen box;
    DWORD code = RunAndAnswer(package, &box);
    EXPECT_EQ(0u, code);
    EXPECT_EQ(NULL, box.window) << box.text;

    Process started = WaitProcessNamed(NVR_MODULE_FILE_NAME, 3000);
    if (started.handle)
        WaitExit(started);
    CloseHandle(lock);
    SetEnvironmentVariableA("NVR_PROBE_OUT", NULL);

    EXPECT_TRUE(ReadFileBytes(ModuleCopy()) == probe) << "the locked copy was rewritten";
    std::string seen = ReadFileBytes(out);
    std::string expected = "\"" + ModuleCopy() + "\" -I" + package + "\n";
    EXPECT_EQ(0u, seen.find(expected)) << seen;
}

// The install run refuses a package whose first volume is shorter than its
// header says (the package length of one volume; the volume length of
// several, even where the install information lies before the cut), or
// whose first entry is not the install information file, and removes the
// temporary files it had made.
TEST_F(Bootstrap, InstallRunRefusesDamagedPackages)
{
    for (const char *name : {"shortened.exe", "notifii.exe", "shortvol\\Setup.exe"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> tempsBefore = TempRunFiles();
        Process run = Start("\"" + Data() + "\\bare.exe\" -I" + Data() + "\\" + name);
        ASSERT_TRUE(run.handle != NULL);
        MessageBoxSeen box = WaitMessageBox(run.id, 10000);
        EXPECT_EQ(std::string(MsgPackageCorrupt), box.text);
        EXPECT_EQ("Nuvar installer", box.caption);
        if (box.window)
            Press(box.window, IDOK);
        EXPECT_EQ(0xFFFFFFFFu, WaitExit(run));
        EXPECT_EQ(tempsBefore, TempRunFiles());
    }
}

}  // namespace
