// services.cpp -- small platform services: threads, platform tests, restart,
// process start, exact reads and writes.
//
// Keeps no state and shows no message; every result goes back to the caller,
// which decides what a failure means. Every handle opened here is closed here,
// except the thread handle StartThread hands over.
#include "launcher/services.h"
#include "setupinfo/toolkit.h"
#include <string.h>

#define NVR_COMMAND_SIZE 521   // quoted program, a blank, arguments: 520 characters + NUL
#define NVR_SCM_ACCESS   (GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE)   // 0xE0000000

HANDLE StartThread(ThreadRoutine routine)
{
    DWORD id;   // Windows 9x refuses a thread without a place for its id
    HANDLE thread = CreateThread(NULL, 0, routine, NULL, CREATE_SUSPENDED, &id);
    if (thread)
        ResumeThread(thread);
    return thread;
}

int IsWindowsNT(void)
{
    OSVERSIONINFOA version;
    memset(&version, 0, sizeof version);
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExA(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

int HasAdminRights(void)
{
    SC_HANDLE manager;
    if (!IsWindowsNT())
        return 1;
    manager = OpenSCManagerA(NULL, NULL, NVR_SCM_ACCESS);
    if (!manager)
        return 0;
    CloseServiceHandle(manager);
    return 1;
}

// Enables the shutdown privilege in the process token. 1 when it is held and
// enabled, 0 otherwise (ERROR_NOT_ALL_ASSIGNED included).
static int EnableShutdownPrivilege(void)
{
    HANDLE token;
    TOKEN_PRIVILEGES privileges;
    int enabled;

    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return 0;
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    enabled = LookupPrivilegeValueA(NULL, "SeShutdownPrivilege", &privileges.Privileges[0].Luid)
              && AdjustTokenPrivileges(token, FALSE, &privileges, 0, NULL, NULL)
              && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return enabled;
}

int RestartWindows(void)
{
    if (IsWindowsNT() && !EnableShutdownPrivilege())
        return 0;
    return ExitWindowsEx(EWX_REBOOT, 0) ? 1 : 0;
}

int SpawnProcess(const char *program, const char *args, int wait)
{
    char command[NVR_COMMAND_SIZE];
    char folder[NVR_PATH_SIZE];
    STARTUPINFOA startup;
    PROCESS_INFORMATION process;

    // A program that is not where the path says is searched for by its name.
    CopyBounded(NVR_PATH_SIZE, command, FileExists(program) ? program : PathFileName(program));
    QuotePath(command);
    AppendBounded(NVR_COMMAND_SIZE, command, " ");
    AppendBounded(NVR_COMMAND_SIZE, command, args ? args : "");
    CopyBounded(NVR_PATH_SIZE, folder, PathFolder(program));
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, command, NULL, NULL, FALSE, 0, NULL,
                        FolderExists(folder) ? folder : NULL, &startup, &process))
        return 0;
    if (wait)
        WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 1;
}

int ReadExact(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, NULL) && done == count;
}

int WriteExact(HANDLE file, const void *buffer, DWORD count)
{
    DWORD done = 0;
    return WriteFile(file, buffer, count, &done, NULL) && done == count;
}
