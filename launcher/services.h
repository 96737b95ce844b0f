// services.h -- small platform services shared by several subsystems:
// threads, platform tests, restart, process start, exact reads and writes.
// Stateless; none shows a message; callers decide what a failure means.
#ifndef NVR_LAUNCHER_SERVICES_H
#define NVR_LAUNCHER_SERVICES_H

#include <windows.h>

typedef DWORD (WINAPI *ThreadRoutine)(LPVOID);

// Creates a thread running routine (no parameter), created suspended and
// resumed at once. Returns its handle, owned by the caller, or NULL.
HANDLE StartThread(ThreadRoutine routine);

// 1 on the Windows NT platform, 0 on Windows 9x.
int IsWindowsNT(void);

// 1 when the user may schedule replacements at restart: always on 9x; on NT
// when the service control manager opens with read, write and execute access.
int HasAdminRights(void);

// Enables the shutdown privilege on NT and asks for a reboot. 1 when the
// restart was started, 0 otherwise.
int RestartWindows(void);

// Starts program with args ("program" args, at most 520 characters), current
// folder = the program's folder when it exists. program is quoted; args are
// passed as they are. Waits for the end when wait is non-zero. 1 or 0.
int SpawnProcess(const char *program, const char *args, int wait);

// One ReadFile/WriteFile of exactly count bytes: 1 only when all were moved.
int ReadExact(HANDLE file, void *buffer, DWORD count);
int WriteExact(HANDLE file, const void *buffer, DWORD count);

#endif
