// test_services.cpp -- system service tests: exact reads and writes, threads,
// platform tests, and process start with quoting, search and current folder.
//
// The processes started here are copies of this test program that run only
// the disabled ServicesChild.DISABLED_Report test (selected by gtest flags in
// the argument text); it writes what it saw into the file named by the
// environment variable NVR_CHILD_OUT. RestartWindows is not run: it would end
// the Wine session of the whole test run.
#include <gtest/gtest.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include "launcher/services.h"

namespace {

const char kChildArgs[] =
    "--gtest_brief=1 --gtest_also_run_disabled_tests --gtest_filter=ServicesChild.DISABLED_Report";

std::string BaseFolder()
{
    char buffer[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NVR_TEST_DATA", buffer, sizeof buffer);
    if (!n || n >= sizeof buffer) GetTempPathA(sizeof buffer, buffer);
    std::string base = buffer;
    if (!base.empty() && base.back() == '\\') base.pop_back();
    return base;
}

void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName, full = dir + "\\" + name;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(full);
            else DeleteFileA(full.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string OwnPath()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    return path;
}

// What a child reported: its command line, current folder and platform tests.
struct Report {
    std::string commandLine, folder;
    int nt = -1, admin = -1;
};

Report ParseReport(const std::string &text)
{
    Report r;
    std::istringstream in(text);
    std::getline(in, r.commandLine);
    std::getline(in, r.folder);
    in >> r.nt >> r.admin;
    return r;
}

bool WaitForFile(const std::string &path, DWORD milliseconds)
{
    for (DWORD waited = 0; waited < milliseconds; waited += 50) {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
        Sleep(50);
    }
    return false;
}

class ServicesTest : public ::testing::Test {
protected:
    std::string dir, out;

    void SetUp() override
    {
        static int serial;
        dir = BaseFolder() + "\\nvr_services_" + std::to_string(GetCurrentProcessId()) + "_" +
              std::to_string(++serial);
        CreateDirectoryA(dir.c_str(), NULL);
        out = dir + "\\report.txt";
        SetEnvironmentVariableA("NVR_CHILD_OUT", out.c_str());
    }
    void TearDown() override
    {
        SetEnvironmentVariableA("NVR_CHILD_OUT", NULL);
        SetEnvironmentVariableA("NVR_CHILD_SLEEP", NULL);
        RemoveTree(dir);
    }

    // Copies this program to folder\name and returns the copy's path.
    std::string PlaceChild(const std::string &folder, const std::string &name)
    {
        CreateDirectoryA(folder.c_str(), NULL);
        std::string path = folder + "\\" + name;
        EXPECT_TRUE(CopyFileA(OwnPath().c_str(), path.c_str(), FALSE));
        return path;
    }
};

TEST_F(ServicesTest, ExactReadsAndWrites)
{
    std::string path = dir + "\\exact.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    const char data[] = "0123456789";
    EXPECT_EQ(WriteExact(file, data, 10), 1);
    SetFilePointer(file, 0, NULL, FILE_BEGIN);
    char buffer[16] = {};
    EXPECT_EQ(ReadExact(file, buffer, 7), 1);
    EXPECT_EQ(std::string(buffer), "0123456");
    EXPECT_EQ(ReadExact(file, buffer, 5), 0);   // only 3 bytes left
    EXPECT_EQ(ReadExact(file, buffer, 1), 0);   // at the end
    CloseHandle(file);

    file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_EQ(WriteExact(file, data, 10), 0);   // handle not open for writing
    CloseHandle(file);
    EXPECT_EQ(ReadExact(INVALID_HANDLE_VALUE, buffer, 1), 0);
}

DWORD g_threadId;

DWORD WINAPI RecordThread(LPVOID)
{
    g_threadId = GetCurrentThreadId();
    return 7;
}

TEST_F(ServicesTest, StartThreadRunsTheRoutine)
{
    g_threadId = 0;
    HANDLE thread = StartThread(RecordThread);
    ASSERT_NE(thread, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 10000), WAIT_OBJECT_0);   // resumed, not left suspended
    DWORD code = 0;
    EXPECT_TRUE(GetExitCodeThread(thread, &code));
    EXPECT_EQ(code, 7u);
    EXPECT_NE(g_threadId, 0u);
    EXPECT_NE(g_threadId, GetCurrentThreadId());
    CloseHandle(thread);
}

TEST_F(ServicesTest, PlatformTestsUnderNtAndNine)
{
    EXPECT_EQ(IsWindowsNT(), 1);      // Wine's default is an NT version
    EXPECT_EQ(HasAdminRights(), 1);   // the Wine user may open the service manager

    // A copy whose file name Wine reports as Windows 98.
    const char key[] = "Software\\Wine\\AppDefaults\\nvr_probe98.exe";
    HKEY hkey;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_WRITE, NULL, &hkey, NULL),
              ERROR_SUCCESS);
    RegSetValueExA(hkey, "Version", 0, REG_SZ, (const BYTE *)"win98", 6);
    RegCloseKey(hkey);
    std::string probe = PlaceChild(dir, "nvr_probe98.exe");
    EXPECT_EQ(SpawnProcess(probe.c_str(), kChildArgs, 1), 1);
    RegDeleteKeyA(HKEY_CURRENT_USER, key);
    Report r = ParseReport(ReadText(out));
    EXPECT_EQ(r.nt, 0);
    EXPECT_EQ(r.admin, 1);            // no test on Windows 9x
}

TEST_F(ServicesTest, SpawnQuotesTheProgramAndPassesArgumentsWhole)
{
    std::string folder = dir + "\\Program Files\\My App";
    CreateDirectoryA((dir + "\\Program Files").c_str(), NULL);
    std::string child = PlaceChild(folder, "Echo Child.exe");
    PlaceChild(dir, "Program.exe");   // what an unquoted path would start instead
    std::string args = std::string(kChildArgs) + " -I C:\\Some Folder\\Setup Package.exe";
    ASSERT_EQ(SpawnProcess(child.c_str(), args.c_str(), 1), 1);
    Report r = ParseReport(ReadText(out));   // waited: the report is complete
    EXPECT_EQ(r.commandLine, "\"" + child + "\" " + args);
    EXPECT_EQ(r.folder, folder);
    EXPECT_EQ(r.nt, 1);
}

TEST_F(ServicesTest, MissingProgramIsSearchedByName)
{
    std::string search = dir + "\\search here";
    PlaceChild(search, "nvr_echo_child.exe");
    std::string empty = dir + "\\empty folder";
    CreateDirectoryA(empty.c_str(), NULL);
    char previous[MAX_PATH];
    GetCurrentDirectoryA(sizeof previous, previous);
    ASSERT_TRUE(SetCurrentDirectoryA(search.c_str()));   // where the search finds it

    struct Case { std::string program, folder; } cases[] = {
        {empty + "\\nvr_echo_child.exe", empty},                   // folder exists: starts there
        {dir + "\\no such folder\\nvr_echo_child.exe", search},   // else the caller's folder
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.program);
        DeleteFileA(out.c_str());
        EXPECT_EQ(SpawnProcess(c.program.c_str(), kChildArgs, 1), 1);
        Report r = ParseReport(ReadText(out));
        EXPECT_EQ(r.commandLine, std::string("\"nvr_echo_child.exe\" ") + kChildArgs);
        EXPECT_EQ(r.folder, c.folder);
    }
    EXPECT_EQ(SpawnProcess((dir + "\\nvr_nowhere_at_all.exe").c_str(), kChildArgs, 1), 0);
    SetCurrentDirectoryA(previous);
}

TEST_F(ServicesTest, SpawnWithoutWaitReturnsAtOnce)
{
    std::string child = PlaceChild(dir, "nvr_slow_child.exe");
    SetEnvironmentVariableA("NVR_CHILD_SLEEP", "3000");
    ASSERT_EQ(SpawnProcess(child.c_str(), kChildArgs, 0), 1);
    EXPECT_EQ(GetFileAttributesA(out.c_str()), INVALID_FILE_ATTRIBUTES);   // child still asleep
    EXPECT_TRUE(WaitForFile(out, 30000));
    Sleep(500);   // let the child end before its folder is removed
}

// Child side: runs only in the copies started above.
TEST(ServicesChild, DISABLED_Report)
{
    char out[MAX_PATH], sleep[16], folder[MAX_PATH];
    if (!GetEnvironmentVariableA("NVR_CHILD_OUT", out, sizeof out)) GTEST_SKIP();
    if (GetEnvironmentVariableA("NVR_CHILD_SLEEP", sleep, sizeof sleep)) Sleep(atoi(sleep));
    GetCurrentDirectoryA(sizeof folder, folder);
    std::string part = std::string(out) + ".part";
    {
        std::ofstream file(part, std::ios::binary);
        file << GetCommandLineA() << "\n" << folder << "\n" << IsWindowsNT() << " " << HasAdminRights()
             << "\n";
    }
    MoveFileA(part.c_str(), out);   // appears complete
}

}  // namespace
