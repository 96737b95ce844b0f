// rollback.h -- undoes an aborted or failed installation from the install
// journal: files the run wrote where none stood, raised SharedDLLs counts,
// DLLs it placed fresh (unregistered first), and the folders it created as far
// as they are empty. Shows no message and never stops half-way.
#ifndef NVR_ENGINE_ROLLBACK_H
#define NVR_ENGINE_ROLLBACK_H

#include <windows.h>

// Moves the progress bar's filled part back by one step; 0 once the bar is
// empty. Set by the progress bar; NULL means the bar is already empty.
typedef int (*ProgressStepper)(void);
extern ProgressStepper g_stepProgressBack;

// Thread body, started by the main window after the worker ended with the
// abort flag set. Runs the bar down, deletes the run's source files (not those
// recorded with '*'), undoes the DLL records newest first, removes the created
// folders innermost first, clears g_restartNeeded and posts CodeRollbackDone to
// g_mainWindow.
DWORD WINAPI RollbackWorker(LPVOID);

// Removes folder path when it is an existing, empty folder, with the Windows
// folder as current directory. Returns RemoveDirectoryA's result, or 1 when
// the path is blank, not absolute or no existing folder.
BOOL RemoveEmptyFolder(const char *path);

#endif
