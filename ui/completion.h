// completion.h -- the completion step: the completion dialog, the removal of
// the End-install information file and the install folder opened in the
// shell.
#ifndef NVR_UI_COMPLETION_H
#define NVR_UI_COMPLETION_H

#include <windows.h>

// Thread body in the install run (started by the main window); called
// directly on the main thread in the post-restart completion run
// (g_postRestartFlag = 1, no main window).
DWORD WINAPI CompletionStep(LPVOID);

#endif
