// worker.h -- the install worker: the source pass and the DLL pass over the
// package, reporting to the current page by sent WM_USER notices.
#ifndef NVR_ENGINE_WORKER_H
#define NVR_ENGINE_WORKER_H

#include <windows.h>
#include "engine/engine.h"

// Thread body (started by the progress page with StartThread). Runs both
// passes, sends CodeWorkerDone (1 ok or aborted, 0 failed) to the current
// page, then closes g_workerThread.
DWORD WINAPI InstallWorker(LPVOID);

// 1 when the pass ran to its end or stopped for the abort flag; 0 after a
// failure it has reported.
int InstallSourceFiles(void);
int InstallDllFiles(void);

// Handle of the running worker thread: kept by the progress page for
// suspending and resuming, closed by the worker when it ends.
extern HANDLE g_workerThread;

// Asks the user whether to replace. NULL (the default) shows the replace-file
// query dialog on the worker's thread; tests point it elsewhere. Nonzero:
// replace.
typedef int (*ReplaceAsker)(ReplaceQuery *query);
extern ReplaceAsker g_askReplace;

#endif
