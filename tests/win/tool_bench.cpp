// tool_bench.cpp -- the benchmark's measuring programs for the real module:
//   drive SETUP.EXE FOLDER   installs the package unattended as a user would
//                            (Next, folder, Install, Ok) and prints the time
//                            from the Next click and from the Install click to
//                            the completion dialog, and the install process's
//                            peak working set read when that dialog shows;
//   rollback SETUP.EXE FOLDER SECONDS
//                            the same road, but Abort (answered Yes) once the
//                            installation has run SECONDS; prints the time the
//                            rollback took to the end of the install run and
//                            the process's peak working set by then;
//   engine PACKAGE FOLDER    runs the install worker alone through the worker
//                            harness (no wizard, no painting) and prints its
//                            time: what the engine and reader cost by themselves;
//   probe FOLDER             times, in microseconds per call, operations a
//                            worker could do per file that a floor program does
//                            not (a profile write, a folder walk, a name
//                            look-up; the worker now avoids the first three for
//                            most files) and one cross-thread SendMessage.
// Test code only: the folder must not exist yet (no replace questions are
// expected; any that come are answered Yes, a restart question No).
//
// prints one line: "bench: next_s=S install_s=S peak_ws=BYTES",
// "bench: aborted_after_s=S rollback_s=S peak_ws=BYTES" or
// "bench: engine_s=S files=N bytes=N"; exit code 0 on a completed install
// (rollback: on an install run that ended with code 0).
#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "package/format.h"
#include "resources/resource.h"
#include "tests/win/uidriver.h"
#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"
#include "tests/win/workerharness.h"

using namespace uidriver;

namespace {

const DWORD kPollMs = 10;            // completion-dialog poll interval
const int kChecksPerPoll = 25;       // look for questions every 25 polls
const int kFullLookEvery = 100;      // polls between looks while the wizard stays enabled
const DWORD kInstallTimeoutMs = 1800000;
const DWORD kClickSettleMs = 100;    // clicks right after a page shows can be lost
const int kProbeCalls = 2000;        // calls per probed operation
const int kProbeFolderFiles = 100;   // files beside the probed names (as in "many")
const int kProbeJournalLines = 200;  // Folder records in the probed journal

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

// Starts the package and goes through the welcome and folder pages; start is
// the time of the Install click, next that of the Next click, wizard the
// install run's top window. 0 on success.
int StartInstall(const char *setup, const char *folderPath, Process &install, HWND &wizard,
                 double &next, double &start)
{
    Process starter = Start(std::string("\"") + setup + "\"");
    if (!starter.handle || WaitExit(starter, 60000) != 0)
        return Fail("the package did not start its install run");
    install = WaitProcessNamed(NVR_MODULE_FILE_NAME, 30000);
    if (!install.handle)
        return Fail("no install run");
    HWND welcome = WaitDialog(install.id, IDC_WELCOME_TEXT, 30000);
    if (!welcome)
        return Fail("no welcome page");
    Sleep(kClickSettleMs);
    next = Now();
    Press(welcome, IDC_NEXT);
    HWND folder = WaitDialog(install.id, IDC_FOLDER_EDIT, 30000);
    if (!folder)
        return Fail("no folder page");
    SendMessageA(GetDlgItem(folder, IDC_FOLDER_EDIT), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(folderPath));
    wizard = GetAncestor(folder, GA_ROOTOWNER);
    Sleep(kClickSettleMs);
    start = Now();
    Press(folder, IDC_INSTALL);
    return 0;
}

int Drive(const char *setup, const char *folderPath)
{
    Process install;
    HWND wizard;
    double next, start;
    if (int failed = StartInstall(setup, folderPath, install, wizard, next, start))
        return failed;
    // Looking for a dialog walks every window of the desktop: some twenty
    // server requests, which at a 10 ms poll were over a quarter of all the
    // requests the install itself made. The completion dialog, like any
    // question, is modal and disables the wizard's window first, so a poll
    // only asks whether that window is still enabled (one request) and looks
    // further when it is not, or now and then in case it is gone.
    HWND done = NULL;
    for (int poll = 1; !done; poll++) {
        bool look = !wizard || !IsWindowEnabled(wizard) || poll % kFullLookEvery == 0;
        if (look)
            done = WaitDialog(install.id, IDC_COMPLETED, 0);
        if (done)
            break;
        if (Now() - start > kInstallTimeoutMs / 1000.0)
            return Fail("no completion dialog in time");
        if (look && poll % kChecksPerPoll == 0 && !HandleQuestions(install))
            return Fail("the install run ended without completion");
        Sleep(kPollMs);
    }
    double end = Now();
    SIZE_T peak = PeakWorkingSet(install.id);
    std::printf("bench: next_s=%.4f install_s=%.4f peak_ws=%llu\n", end - next, end - start,
                (unsigned long long)peak);
    Press(done, IDC_OK);
    DWORD code = WaitExit(install, 60000);
    CloseFolderWindows();
    if (code != 0)
        std::printf("bench: install run exit code %lu\n", (unsigned long)code);
    return code == 0 ? 0 : 1;
}

int Rollback(const char *setup, const char *folderPath, double seconds)
{
    Process install;
    HWND wizard;
    double next, start;
    if (int failed = StartInstall(setup, folderPath, install, wizard, next, start))
        return failed;
    HWND progress = WaitDialog(install.id, IDC_INSTALLING, 30000);
    if (!progress)
        return Fail("no progress page");
    for (int poll = 1; Now() - start < seconds; poll++) {
        if (WaitDialog(install.id, IDC_COMPLETED, 0))
            return Fail("the installation completed before the abort");
        if (poll % kChecksPerPoll == 0 && !HandleQuestions(install))
            return Fail("the install run ended before the abort");
        Sleep(kPollMs);
    }
    double aborted = Now();
    PostMessageA(progress, WM_COMMAND, IDC_ABORT, 0);
    MessageBoxSeen box = WaitMessageBox(install.id, 30000);
    if (!box.window)
        return Fail("no abort question");
    double yes = Now();
    Press(box.window, IDYES);
    // The peak only grows: the last reading before the process ends is its peak.
    SIZE_T peak = 0;
    while (WaitForSingleObject(install.handle, 100) == WAIT_TIMEOUT) {
        SIZE_T now = PeakWorkingSet(install.id);
        if (now > peak)
            peak = now;
        if (Now() - yes > kInstallTimeoutMs / 1000.0)
            return Fail("the rollback did not end in time");
    }
    double end = Now();
    DWORD code = 1;
    GetExitCodeProcess(install.handle, &code);
    std::printf("bench: aborted_after_s=%.4f rollback_s=%.4f peak_ws=%llu exit=%lu\n",
                aborted - start, end - yes, (unsigned long long)peak, (unsigned long)code);
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

// Prints the microseconds per call of op over kProbeCalls calls.
template <typename Op>
void Probe(const char *name, Op op)
{
    double start = Now();
    for (int i = 0; i < kProbeCalls; i++)
        op(i);
    std::printf("probe: %s %.1f us\n", name, (Now() - start) * 1e6 / kProbeCalls);
}

LRESULT CALLBACK QuietProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return message == WM_USER ? 0 : DefWindowProcA(window, message, wParam, lParam);
}

DWORD WINAPI ProbeSender(LPVOID page)
{
    Probe("cross-thread SendMessageA", [&](int) {
        SendMessageA(static_cast<HWND>(page), WM_USER, 0, 0);
    });
    return 0;
}

int ProbeCosts(const char *folderPath)
{
    std::string folder = folderPath;
    std::string deep = folder + "\\d00\\s000";
    for (const char *made = CreateNextMissingFolder(deep.c_str()); made;
         made = CreateNextMissingFolder(NULL)) {
    }
    for (int i = 0; i < kProbeFolderFiles; i++) {
        std::string f = deep + "\\f" + std::to_string(i) + ".txt";
        CloseHandle(CreateFileA(f.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    }
    std::string journal = folder + "\\journal.ini";
    for (int i = 0; i < kProbeJournalLines; i++)
        ProfileWriteString("Folder", std::to_string(i + 1).c_str(), deep.c_str(), journal.c_str());
    Probe("profile write (once per file before)", [&](int i) {
        ProfileWriteNumber("SourceFiles", "Count", i, journal.c_str());
    });
    Probe("folder walk of an existing target folder", [&](int) {
        while (CreateNextMissingFolder(deep.c_str()))
            ;
    });
    Probe("FindFirstFileA of a missing name", [&](int i) {
        WIN32_FIND_DATAA fd;
        std::string f = deep + "\\missing" + std::to_string(i);
        HANDLE h = FindFirstFileA(f.c_str(), &fd);
        if (h != INVALID_HANDLE_VALUE)
            FindClose(h);
    });
    Probe("GetFileVersionInfoSizeA of a small file", [&](int i) {
        std::string f = deep + "\\f" + std::to_string(i % kProbeFolderFiles) + ".txt";
        DWORD handle;
        GetFileVersionInfoSizeA(f.c_str(), &handle);
    });
    WNDCLASSA wc = {};
    wc.lpfnWndProc = QuietProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = "NvrProbePage";
    RegisterClassA(&wc);
    HWND page = CreateWindowExA(0, wc.lpszClassName, "probe", WS_OVERLAPPED, 0, 0, 10, 10, NULL,
                                NULL, wc.hInstance, NULL);
    HANDLE worker = CreateThread(NULL, 0, ProbeSender, page, 0, NULL);
    for (;;) {
        DWORD r = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        if (r == WAIT_OBJECT_0)
            break;
    }
    CloseHandle(worker);
    DestroyWindow(page);
    return 0;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 4 && std::strcmp(argv[1], "drive") == 0)
        return Drive(argv[2], argv[3]);
    if (argc == 5 && std::strcmp(argv[1], "rollback") == 0)
        return Rollback(argv[2], argv[3], std::atof(argv[4]));
    if (argc == 4 && std::strcmp(argv[1], "engine") == 0)
        return Engine(argv[2], argv[3]);
    if (argc == 3 && std::strcmp(argv[1], "probe") == 0)
        return ProbeCosts(argv[2]);
    return Fail("usage: tool_bench drive SETUP.EXE FOLDER | rollback SETUP.EXE FOLDER SECONDS | "
                "engine PACKAGE FOLDER | probe FOLDER");
}
