// workerharness.h -- runs the install worker (and the rollback) for real on
// its own thread against a hidden test window that stands in for the current
// page and the main window. Test code only (C++17, header-only); must not
// touch any state but the run's globals and what the tests ask for.
//
// The window lives on the thread that calls Run*/RunRollback and pumps its
// messages there; it records every CodeShowPath (text copied), CodeAddBytes and
// CodeWorkerDone the worker sends, and CodeFinished/CodeRollbackDone posted to
// it as main window. The replace-file query is answered through g_askReplace
// from a scripted list, the way the real query would: Replace/Keep, the two
// "No more query." answers set the pass's policy, Abort sets the abort flag.
//
// Set-up follows the launcher: g_packagePath, SetUpRun, OpenPackage, PlaceFile
// of "IFII" into g_infoFile, Language and Title; tear-down: ClosePackage and
// CleanUpRun (the End-install information file is deleted too).
#ifndef NVR_TESTS_WORKERHARNESS_H
#define NVR_TESTS_WORKERHARNESS_H

#include <windows.h>
#include <functional>
#include <string>
#include <vector>

#include "tests/win/uidriver.h"

#include "engine/engine.h"
#include "engine/placement.h"
#include "engine/rollback.h"
#include "engine/worker.h"
#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "launcher/services.h"
#include "package/format.h"
#include "package/reader.h"
#include "setupinfo/journal.h"
#include "setupinfo/macros.h"
#include "setupinfo/profile.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "ui/uicodes.h"

namespace wh {

// A scripted answer of the replace-file query.
enum Answer { Keep, Replace, KeepAll, ReplaceAll, Abort };

// One question the worker asked.
struct Asked {
    int pass;
    std::string packageName, existingName;
    DWORD packageHigh, packageLow, existingHigh, existingLow;
    DWORD packageSize, existingSize;
};

// What the page saw during one run.
struct Seen {
    std::vector<std::string> paths;   // CodeShowPath texts, in order
    std::vector<DWORD> chunks;        // CodeAddBytes values, in order
    unsigned long long bytes = 0;     // their sum
    int doneCount = 0;                // CodeWorkerDone notices
    LPARAM done = -1;                 // its lParam
    std::vector<Asked> asked;         // replace questions
    int finished = 0;                 // CodeFinished posts
    int rolledBack = 0;               // CodeRollbackDone posts
    LPARAM postedParam = -1;          // lParam of the last post
};

// Called on the page's thread for every CodeShowPath, after it was recorded
// (for example to set the abort flag after some files).
using PathHook = std::function<void(const std::string &)>;

struct State {
    Seen *seen = nullptr;
    std::vector<Answer> answers;
    size_t next = 0;
    PathHook onPath;
};

inline State &Current()
{
    static State state;
    return state;
}

inline LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    State &s = Current();
    if (message != WM_USER || !s.seen)
        return DefWindowProcA(window, message, wParam, lParam);
    switch (wParam) {
    case CodeShowPath:
        s.seen->paths.push_back(reinterpret_cast<const char *>(lParam));
        if (s.onPath)
            s.onPath(s.seen->paths.back());
        break;
    case CodeAddBytes:
        s.seen->chunks.push_back((DWORD)lParam);
        s.seen->bytes += (DWORD)lParam;
        g_bytesDone += (DWORD)lParam;
        break;
    case CodeWorkerDone:
        s.seen->doneCount++;
        s.seen->done = lParam;
        break;
    case CodeFinished:
        s.seen->finished++;
        s.seen->postedParam = lParam;
        break;
    case CodeRollbackDone:
        s.seen->rolledBack++;
        s.seen->postedParam = lParam;
        break;
    }
    return 0;
}

// The scripted query: runs on the worker's thread like the real dialog.
inline int ScriptedQuery(ReplaceQuery *query)
{
    State &s = Current();
    Asked a;
    a.pass = query->passKind;
    a.packageName = query->packageFile->name ? query->packageFile->name : "";
    a.existingName = query->existingFile->name ? query->existingFile->name : "";
    a.packageHigh = query->packageFile->versionHigh;
    a.packageLow = query->packageFile->versionLow;
    a.existingHigh = query->existingFile->versionHigh;
    a.existingLow = query->existingFile->versionLow;
    a.packageSize = query->packageFile->size;
    a.existingSize = query->existingFile->size;
    if (s.seen)
        s.seen->asked.push_back(a);
    Answer answer = s.next < s.answers.size() ? s.answers[s.next++] : Keep;
    int *policy = query->passKind == 0 ? &g_sourcePolicy : &g_dllPolicy;
    switch (answer) {
    case Replace: return 1;
    case Keep: return 0;
    case ReplaceAll: *policy = 1; return 1;
    case KeepAll: *policy = -1; return 0;
    case Abort: g_abortFlag = 1; return 0;
    }
    return 0;
}

class Harness {
public:
    HWND page = NULL;

    Harness()
    {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = PageProc;
        wc.hInstance = GetModuleHandleA(NULL);
        wc.lpszClassName = "NvrTestPage";
        RegisterClassA(&wc);   // a second registration fails harmlessly
        page = CreateWindowExA(0, "NvrTestPage", "test page", WS_OVERLAPPED, 0, 0, 10, 10, NULL,
                               NULL, wc.hInstance, NULL);
    }
    ~Harness()
    {
        Close();
        if (page)
            DestroyWindow(page);
    }

    // Prepares a run over package with install folder installFolder (not
    // created here). false when any step fails.
    bool Open(const std::string &package, const std::string &installFolder)
    {
        Close();
        g_abortFlag = 0;
        g_restartNeeded = 0;
        g_uiReady = 0;
        g_currentPage = NULL;
        g_mainWindow = page;
        g_askReplace = ScriptedQuery;
        CopyBounded(NVR_PATH_SIZE, g_packagePath, package.c_str());
        if (!SetUpRun())
            return false;
        setUp_ = true;
        BeginJournalReadBack();   // a fresh journal: counters back to 0
        g_reader = OpenPackage(g_packagePath, NVR_MODULE_LENGTH);
        if (!g_reader || !IsCurrentEntryNamed(NVR_INFO_ENTRY_NAME) || PlaceFile(g_infoFile) < 0)
            return false;
        ReadLanguageAndTitle(g_infoFile);
        CopyBounded(NVR_PATH_SIZE, g_installFolder, installFolder.c_str());
        g_uiReady = 1;
        g_currentPage = page;
        return true;
    }

    // Runs InstallWorker on its own thread, answering questions from answers,
    // and pumps the page until the worker has ended.
    Seen Run(std::vector<Answer> answers = {}, PathHook onPath = nullptr,
             DWORD timeoutMs = 60000)
    {
        Seen seen;
        Arm(&seen, std::move(answers), std::move(onPath));
        g_workerThread = StartThread(InstallWorker);
        HANDLE mine = NULL;
        DuplicateHandle(GetCurrentProcess(), g_workerThread, GetCurrentProcess(), &mine, 0,
                        FALSE, DUPLICATE_SAME_ACCESS);
        Pump(mine, timeoutMs);
        CloseHandle(mine);
        Disarm();
        return seen;
    }

    // Runs RollbackWorker on its own thread with the page as main window and
    // pumps until it has posted its end (or timeoutMs passed).
    Seen RunRollback(DWORD timeoutMs = 60000)
    {
        Seen seen;
        Arm(&seen, {}, nullptr);
        g_mainWindow = page;
        HANDLE thread = StartThread(RollbackWorker);
        Pump(thread, timeoutMs);
        CloseHandle(thread);
        DWORD start = GetTickCount();
        while (!seen.rolledBack && GetTickCount() - start < timeoutMs)
            PumpFor(20);
        Disarm();
        return seen;
    }

    // Starts routine (a thread body that posts to the main window) and pumps
    // until it posted, or timeoutMs. Returns the elapsed milliseconds.
    DWORD RunPoster(ThreadRoutine routine, Seen &seen, DWORD timeoutMs = 10000)
    {
        Arm(&seen, {}, nullptr);
        g_mainWindow = page;
        DWORD start = GetTickCount();
        HANDLE thread = StartThread(routine);
        while (!seen.finished && !seen.rolledBack && GetTickCount() - start < timeoutMs)
            PumpFor(5);
        DWORD elapsed = GetTickCount() - start;
        WaitForSingleObject(thread, timeoutMs);
        CloseHandle(thread);
        Disarm();
        return elapsed;
    }

    void Close()
    {
        if (g_reader) {
            ClosePackage(g_reader);
            g_reader = NULL;
        }
        if (setUp_) {
            CleanUpRun();
            ProfileFlush(g_endInstallPath);
            DeleteFileA(g_endInstallPath);
            setUp_ = false;
        }
        g_askReplace = ScriptedQuery;
        g_currentPage = NULL;
        g_abortFlag = 0;
    }

    static void PumpFor(DWORD ms)
    {
        MsgWaitForMultipleObjects(0, NULL, FALSE, ms, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }

private:
    bool setUp_ = false;

    static void Arm(Seen *seen, std::vector<Answer> answers, PathHook onPath)
    {
        State &s = Current();
        s.seen = seen;
        s.answers = std::move(answers);
        s.next = 0;
        s.onPath = std::move(onPath);
    }
    static void Disarm()
    {
        State &s = Current();
        s.seen = nullptr;
        s.onPath = nullptr;
    }

    // Handles sent and posted messages until thread ends (or timeoutMs).
    static void Pump(HANDLE thread, DWORD timeoutMs)
    {
        DWORD start = GetTickCount();
        for (;;) {
            DWORD r = MsgWaitForMultipleObjects(1, &thread, FALSE, 50, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, NULL, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            if (r == WAIT_OBJECT_0 || GetTickCount() - start > timeoutMs)
                break;
        }
    }
};

// ---- small file and journal helpers ----------------------------------------

inline std::string ReadAll(const std::string &path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char block[65536];
    DWORD got;
    while (ReadFile(file, block, sizeof block, &got, NULL) && got)
        bytes.append(block, got);
    CloseHandle(file);
    return bytes;
}

inline bool Exists(const std::string &path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The names in the source-file list of the running journal, oldest first.
inline std::vector<std::string> JournalSources()
{
    std::vector<std::string> names;
    std::string list = ReadAll(g_sourceListFile);
    for (size_t at = 0; at < list.size();) {
        size_t n = (unsigned char)list[at];
        names.push_back(list.substr(at + 1, n));
        at += 1 + n;
    }
    return names;
}

inline std::string Ini(const char *section, const std::string &key, const std::string &file)
{
    char buf[1024];
    GetPrivateProfileStringA(section, key.c_str(), "<none>", buf, sizeof buf, file.c_str());
    return buf;
}

// Records 1..N of a counted journal section ("Folder" or "DLLFiles").
inline std::vector<std::string> JournalRecords(const char *section)
{
    std::vector<std::string> records;
    for (int k = 1;; k++) {
        std::string r = Ini(section, std::to_string(k), g_journalFile);
        if (r == "<none>")
            break;
        records.push_back(r);
    }
    return records;
}

// Deletes a folder tree (files first). Missing trees are fine.
using uidriver::RemoveTree;

// Sets a file's last-write time to the local FAT time fat (date << 16 | time),
// as the worker will read it back.
inline void SetLocalFatTime(const std::string &path, DWORD fat)
{
    FILETIME local, utc;
    DosDateTimeToFileTime(HIWORD(fat), LOWORD(fat), &local);
    LocalFileTimeToFileTime(&local, &utc);
    HANDLE f = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_EXISTING, 0, NULL);
    SetFileTime(f, NULL, NULL, &utc);
    CloseHandle(f);
}

// Removes the pending renames whose paths contain marker (the tests' own).
inline void DropPendingRenames(const std::string &marker)
{
    const char *key = "System\\CurrentControlSet\\Control\\Session Manager";
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | KEY_SET_VALUE, &h))
        return;
    DWORD type, size = 0;
    if (RegQueryValueExA(h, "PendingFileRenameOperations", NULL, &type, NULL, &size) == 0 && size) {
        std::string data(size, '\0');
        RegQueryValueExA(h, "PendingFileRenameOperations", NULL, &type, (BYTE *)&data[0], &size);
        std::vector<std::string> items;
        for (size_t at = 0; at < data.size();) {
            size_t end = data.find('\0', at);
            if (end == std::string::npos)
                end = data.size();
            items.push_back(data.substr(at, end - at));
            at = end + 1;
        }
        std::string kept;
        for (size_t i = 0; i + 1 < items.size(); i += 2) {
            if (items[i].empty())
                break;
            if (items[i].find(marker) != std::string::npos ||
                items[i + 1].find(marker) != std::string::npos)
                continue;
            kept += items[i] + '\0' + items[i + 1] + '\0';
        }
        if (kept.empty())
            RegDeleteValueA(h, "PendingFileRenameOperations");
        else {
            kept += '\0';
            RegSetValueExA(h, "PendingFileRenameOperations", 0, REG_MULTI_SZ,
                           (const BYTE *)kept.data(), (DWORD)kept.size());
        }
    }
    RegCloseKey(h);
}

inline std::string PendingRenames()
{
    HKEY h;
    std::string data;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager",
                      0, KEY_READ, &h))
        return data;
    DWORD type, size = 0;
    if (RegQueryValueExA(h, "PendingFileRenameOperations", NULL, &type, NULL, &size) == 0 && size) {
        data.assign(size, '\0');
        RegQueryValueExA(h, "PendingFileRenameOperations", NULL, &type, (BYTE *)&data[0], &size);
    }
    RegCloseKey(h);
    return data;
}

// SharedDLLs value of path: {type, numeric value}; type REG_NONE when absent.
struct SharedValue {
    DWORD type = REG_NONE;
    long count = 0;
};

inline SharedValue SharedCount(const std::string &path)
{
    SharedValue v;
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0, KEY_READ, &h))
        return v;
    BYTE data[64] = {};
    DWORD size = sizeof data - 1, type;
    if (RegQueryValueExA(h, path.c_str(), NULL, &type, data, &size) == 0) {
        v.type = type;
        v.count = type == REG_SZ ? atol((const char *)data) : *(const long *)data;
    }
    RegCloseKey(h);
    return v;
}

inline void DeleteSharedCount(const std::string &path)
{
    HKEY h;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                      "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0,
                      KEY_SET_VALUE, &h))
        return;
    RegDeleteValueA(h, path.c_str());
    RegCloseKey(h);
}

inline bool KeyExists(HKEY root, const std::string &key)
{
    HKEY h;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &h))
        return false;
    RegCloseKey(h);
    return true;
}

}  // namespace wh

#endif
