// uidriver.h -- helpers the Windows-side tests use to start programs, find
// their windows and message boxes, read their texts and press their buttons,
// the way a user would. Test code only (C++17, header-only).
#ifndef NVR_TESTS_UIDRIVER_H
#define NVR_TESTS_UIDRIVER_H

#include <windows.h>
#include <tlhelp32.h>
#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace uidriver {

// Windows path of the data folder prepared for this test program, or "".
inline std::string TestData()
{
    char buf[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NVR_TEST_DATA", buf, sizeof buf);
    return (n > 0 && n < sizeof buf) ? std::string(buf) : std::string();
}

// Windows path (drive Z:) of a host path.
inline std::string WinPath(const std::string &hostPath)
{
    std::string w = "Z:" + hostPath;
    for (char &c : w)
        if (c == '/')
            c = '\\';
    return w;
}

inline std::string Env(const char *name)
{
    char buf[1024];
    DWORD n = GetEnvironmentVariableA(name, buf, sizeof buf);
    return (n > 0 && n < sizeof buf) ? std::string(buf) : std::string();
}

struct Process {
    HANDLE handle = NULL;
    DWORD id = 0;
};

// Starts a command line; the new process's current folder is dir (or ours).
inline Process Start(const std::string &commandLine, const char *dir = NULL)
{
    Process p;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    if (CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, dir, &si, &pi)) {
        CloseHandle(pi.hThread);
        p.handle = pi.hProcess;
        p.id = pi.dwProcessId;
    }
    return p;
}

// Waits for the process to end; returns its exit code, or STILL_ACTIVE on
// time-out (the process is then terminated so that no test leaves it behind).
inline DWORD WaitExit(Process &p, DWORD timeoutMs = 20000)
{
    DWORD code = STILL_ACTIVE;
    if (!p.handle)
        return code;
    if (WaitForSingleObject(p.handle, timeoutMs) == WAIT_OBJECT_0)
        GetExitCodeProcess(p.handle, &code);
    else
        TerminateProcess(p.handle, 1);
    CloseHandle(p.handle);
    p.handle = NULL;
    return code;
}

inline std::string WindowText(HWND w)
{
    char buf[2048];
    int n = GetWindowTextA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

inline std::string ItemText(HWND dlg, int id)
{
    char buf[2048];
    UINT n = GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return std::string(buf, n);
}

inline std::string ClassName(HWND w)
{
    char buf[256];
    int n = GetClassNameA(w, buf, sizeof buf);
    return std::string(buf, n > 0 ? n : 0);
}

struct FindState {
    DWORD pid;          // 0: any process
    const char *cls;    // window class wanted
    const char *caption;  // NULL: any caption
    HWND found;
    int control;        // 0, or a control the window must hold
};

// True when w holds a control numbered like the installer's own (1000-1039):
// a page or dialog of the installer rather than a message box, although
// both hold a static control 0xFFFF (the pages' unnumbered label).
inline BOOL CALLBACK HasOwnControl(HWND child, LPARAM lp)
{
    int id = GetDlgCtrlID(child);
    if (id >= 1000 && id < 1040) {   // (a message box's icon is 1088)
        *reinterpret_cast<bool *>(lp) = true;
        return FALSE;
    }
    return TRUE;
}

inline bool IsInstallerDialog(HWND w)
{
    bool own = false;
    EnumChildWindows(w, HasOwnControl, reinterpret_cast<LPARAM>(&own));
    return own;
}

inline BOOL CALLBACK FindProc(HWND w, LPARAM lp)
{
    FindState *s = reinterpret_cast<FindState *>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    if ((s->pid == 0 || pid == s->pid) && IsWindowVisible(w) && ClassName(w) == s->cls &&
        (s->caption == NULL || WindowText(w) == s->caption) &&
        (s->control == 0 || GetDlgItem(w, s->control) != NULL) &&
        (s->control != 0xFFFF || !IsInstallerDialog(w))) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

// Polls for a visible top-level window of class cls (and caption, when given)
// that belongs to process pid (0: any). NULL on time-out.
inline HWND WaitWindow(DWORD pid, const char *cls, const char *caption = NULL,
                       DWORD timeoutMs = 15000, int control = 0)
{
    DWORD start = GetTickCount();
    for (;;) {
        FindState s = {pid, cls, caption, NULL, control};
        EnumWindows(FindProc, reinterpret_cast<LPARAM>(&s));
        if (s.found)
            return s.found;
        if (GetTickCount() - start > timeoutMs)
            return NULL;
        Sleep(20);
    }
}

struct MessageBoxSeen {
    HWND window = NULL;
    std::string caption;
    std::string text;
};

// Waits for a message box of process pid and reads its caption and text.
inline MessageBoxSeen WaitMessageBox(DWORD pid, DWORD timeoutMs = 15000)
{
    MessageBoxSeen box;
    box.window = WaitWindow(pid, "#32770", NULL, timeoutMs, 0xFFFF);
    if (box.window) {
        Sleep(50);  // let the box finish its initialisation
        box.caption = WindowText(box.window);
        box.text = ItemText(box.window, 0xFFFF);
    }
    return box;
}

// Waits for a dialog of process pid that holds control (a page or a dialog
// of the installer; message boxes hold control 0xFFFF instead).
inline HWND WaitDialog(DWORD pid, int control, DWORD timeoutMs = 15000)
{
    return WaitWindow(pid, "#32770", NULL, timeoutMs, control);
}

// Sets an edit control's text as if the user had typed it.
inline void TypeText(HWND dlg, int id, const std::string &text)
{
    HWND edit = GetDlgItem(dlg, id);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    SendMessageA(edit, EM_SETMODIFY, TRUE, 0);
}

// Presses a dialog button the way a click does; posted, so that a button that
// opens a modal box does not block the driver.
inline void Press(HWND dlg, int id)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, id)));
}

// Ids of running processes whose executable file name is exe (case-insensitive).
inline std::vector<DWORD> ProcessesNamed(const char *exe)
{
    std::vector<DWORD> ids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return ids;
    PROCESSENTRY32 pe = {};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (lstrcmpiA(pe.szExeFile, exe) == 0)
            ids.push_back(pe.th32ProcessID);
    CloseHandle(snap);
    return ids;
}

// Waits until a process named exe runs and opens it for waiting.
inline Process WaitProcessNamed(const char *exe, DWORD timeoutMs = 15000)
{
    Process p;
    DWORD start = GetTickCount();
    while (GetTickCount() - start <= timeoutMs) {
        std::vector<DWORD> ids = ProcessesNamed(exe);
        if (!ids.empty()) {
            p.id = ids.front();
            p.handle = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION |
                                   PROCESS_TERMINATE, FALSE, p.id);
            if (p.handle)
                return p;
        }
        Sleep(20);
    }
    return p;
}

inline std::string ReadFileBytes(const std::string &path)
{
    std::string out;
    HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           NULL, OPEN_EXISTING, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return out;
    char buf[65536];
    DWORD got;
    while (ReadFile(f, buf, sizeof buf, &got, NULL) && got > 0)
        out.append(buf, got);
    CloseHandle(f);
    return out;
}

inline bool WriteFileBytes(const std::string &path, const std::string &bytes)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    BOOL ok = WriteFile(f, bytes.data(), (DWORD)bytes.size(), &put, NULL);
    CloseHandle(f);
    return ok && put == bytes.size();
}

inline std::string WindowsFolder()
{
    char buf[MAX_PATH];
    GetWindowsDirectoryA(buf, sizeof buf);
    return buf;
}

// The "_if" files in the temporary folder, sorted: what a run leaves there.
inline std::vector<std::string> TempRunFiles()
{
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((std::string(temp) + "_if*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do
            names.push_back(fd.cFileName);
        while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The Program Files folder as the registry names it.
inline std::string ProgramFiles()
{
    char buf[MAX_PATH] = "";
    DWORD size = sizeof buf;
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "ProgramFilesDir", NULL, NULL, reinterpret_cast<BYTE *>(buf), &size);
        RegCloseKey(key);
    }
    return buf;
}

// Deletes a folder with everything below it.
inline void RemoveTree(const std::string &dir)
{
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::string name = fd.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(dir.c_str());
}

// A completed install opens its folder in a shell window: closes the first
// one that shows within 3 s, so that windows do not pile up over many runs.
inline void CloseFolderWindows()
{
    for (int tries = 0; tries < 30; tries++) {
        for (const char *cls : {"CabinetWClass", "ExploreWClass"}) {
            HWND w = FindWindowA(cls, NULL);
            if (w) {
                PostMessageA(w, WM_CLOSE, 0, 0);
                return;
            }
        }
        Sleep(100);
    }
}

// Reads and closes (OK) every message box this process shows while it lives,
// for tests that call module code that may show one.
class BoxWatcher {
public:
    BoxWatcher() : thread_([this] { Watch(); }) {}
    ~BoxWatcher() { Stop(); }
    std::vector<MessageBoxSeen> Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
        return boxes_;
    }

private:
    void Watch()
    {
        while (!stop_) {
            MessageBoxSeen box = WaitMessageBox(GetCurrentProcessId(), 100);
            if (!box.window)
                continue;
            boxes_.push_back(box);
            Press(box.window, IDOK);
            for (int i = 0; i < 500 && IsWindow(box.window); i++)
                Sleep(10);
        }
    }
    std::atomic<bool> stop_{false};
    std::vector<MessageBoxSeen> boxes_;
    std::thread thread_;
};

}  // namespace uidriver

#endif
