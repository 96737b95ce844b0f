// tool_bench.cpp -- the benchmark's measuring programs for the real module:
//   drive SETUP.EXE FOLDER   installs the package unattended as a user would
//                            (Next, folder, Install, Ok) and prints the time
//                            from the Next click and from the Install click to
//                            the completion dialog, and the install process's
//                            peak working set read when that dialog shows;
//   engine PACKAGE FOLDER    runs the install worker alone through the worker
//                            harness (no wizard, no painting) and prints its
//                            time: what the engine and reader cost by themselves.
// Test code only: the folder must not exist yet (no replace questions are
// expected; any that come are answered Yes, a restart question No).
//
// prints one line: "bench: next_s=S install_s=S peak_ws=BYTES" or
// "bench: engine_s=S files=N bytes=N"; exit code 0 on a completed install.
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/uidriver.h"
#include "tests/win/workerharness.h"

using namespace uidriver;

namespace {

const DWORD kPollMs = 10;            // completion-dialog poll interval
const int kChecksPerPoll = 25;       // look for questions every 25 polls
const DWORD kInstallTimeoutMs = 1800000;
const DWORD kClickSettleMs = 100;    // clicks right after a page shows can be lost

double Now()
{
    LARGE_INTEGER freq, t;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / double(freq.QuadPart);
}

int Fail(const char *what)
{
    std::printf("bench: %s\n", what);
    return 1;
}

SIZE_T PeakWorkingSet(DWORD pid)
{
    PROCESS_MEMORY_COUNTERS pmc = {};
    pmc.cb = sizeof pmc;
    HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
    if (!h)
        return 0;
    if (!GetProcessMemoryInfo(h, &pmc, sizeof pmc))
        pmc.PeakWorkingSetSize = 0;
    CloseHandle(h);
    return pmc.PeakWorkingSetSize;
}

// Answers a replace question or message box if one shows. false when the
// install run ended without its completion dialog.
bool HandleQuestions(Process &install)
{
    HWND query = WaitDialog(install.id, IDC_NO_MORE_QUERY, 0);
    if (query) {
        Press(query, IDC_BUTTON_YES);
        return true;
    }
    MessageBoxSeen box = WaitMessageBox(install.id, 0);
    if (box.window) {
        std::printf("bench: message: %s\n", box.text.c_str());
        Press(box.window, GetDlgItem(box.window, IDNO) ? IDNO : IDOK);
        return true;
    }
    return WaitForSingleObject(install.handle, 0) != WAIT_OBJECT_0;
}

int Drive(const char *setup, const char *folderPath)
{
    Process starter = Start(std::string("\"") + setup + "\"");
    if (!starter.handle || WaitExit(starter, 60000) != 0)
        return Fail("the package did not start its install run");
    Process install = WaitProcessNamed(NVR_MODULE_FILE_NAME, 30000);
    if (!install.handle)
        return Fail("no install run");
    HWND welcome = WaitDialog(install.id, IDC_WELCOME_TEXT, 30000);
    if (!welcome)
        return Fail("no welcome page");
    Sleep(kClickSettleMs);
    double next = Now();
    Press(welcome, IDC_NEXT);
    HWND folder = WaitDialog(install.id, IDC_FOLDER_EDIT, 30000);
    if (!folder)
        return Fail("no folder page");
    SendMessageA(GetDlgItem(folder, IDC_FOLDER_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(folderPath));
    Sleep(kClickSettleMs);
    double start = Now();
    Press(folder, IDC_INSTALL);
    HWND done = NULL;
    for (int poll = 1; !done; poll++) {
        done = WaitDialog(install.id, IDC_COMPLETED, 0);
        if (done)
            break;
        if (Now() - start > kInstallTimeoutMs / 1000.0)
            return Fail("no completion dialog in time");
        if (poll % kChecksPerPoll == 0 && !HandleQuestions(install))
            return Fail("the install run ended without completion");
        Sleep(kPollMs);
    }
    double end = Now();
    SIZE_T peak = PeakWorkingSet(install.id);
    std::printf("bench: next_s=%.4f install_s=%.4f peak_ws=%llu\n", end - next, end - start,
                (unsigned long long)peak);
    Press(done, IDC_OK);
    DWORD code = WaitExit(install, 60000);
    if (code != 0)
        std::printf("bench: install run exit code %lu\n", (unsigned long)code);
    return code == 0 ? 0 : 1;
}

int Engine(const char *package, const char *folder)
{
    wh::Harness harness;
    if (!harness.page || !harness.Open(package, folder))
        return Fail("the worker harness could not open the package");
    double start = Now();
    wh::Seen seen = harness.Run({}, nullptr, kInstallTimeoutMs);
    double end = Now();
    harness.Close();
    std::printf("bench: engine_s=%.4f files=%zu bytes=%llu done=%ld\n", end - start,
                seen.paths.size(), seen.bytes, (long)seen.done);
    return seen.doneCount == 1 && seen.done != 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "drive") == 0)
        return Drive(argv[2], argv[3]);
    if (argc == 4 && std::strcmp(argv[1], "engine") == 0)
        return Engine(argv[2], argv[3]);
    return Fail("usage: tool_bench drive SETUP.EXE FOLDER | engine PACKAGE FOLDER");
}
