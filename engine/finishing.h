// finishing.h -- the end of a successful installation: the RunOnce value of
// the product, the End-install information file, and the one-second pause
// before the main window goes on. Never runs after a rollback.
#ifndef NVR_ENGINE_FINISHING_H
#define NVR_ENGINE_FINISHING_H

#include <windows.h>

#define NVR_RUNONCE_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce"

// Deletes the HKLM RunOnce value named after the Title (g_title), if the key
// opens; nothing is reported.
void RemoveRunOnceEntry(void);

// Writes [General] Title and Language to the End-install information file
// (g_endInstallPath). With g_restartNeeded set it also stores the post-restart
// command ("<quoted module path> -i<End-install path>") as the RunOnce value
// named after the Title, and records the End-install path as a SourceFile item
// of the journal. Returns 1, or 0 when the RunOnce key cannot be created or
// opened (the file is written all the same).
int WriteEndInstallInformation(void);

// Thread body: sleeps one second, then posts CodeFinished to g_mainWindow.
DWORD WINAPI FinishingDelay(LPVOID);

#endif
