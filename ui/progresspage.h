// progresspage.h -- the progress page (template 1063): starts the install
// worker, shows the path being installed and the progress bar, and asks
// before aborting. The page never installs anything itself and never closes
// on its own: the main window closes it with CodeClosePage.
#ifndef NVR_UI_PROGRESSPAGE_H
#define NVR_UI_PROGRESSPAGE_H

#include <windows.h>

// Dialog procedure of template 1063, created by the main window on
// CodeFolderDone 1. Handles CodeWorkerDone (passed on to the main window),
// CodeClosePage, CodeShowPath and CodeAddBytes.
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// The rectangle of control item of dialog, in the dialog's client
// coordinates.
void GetItemClientRect(HWND dialog, int item, RECT *rect);

// path cut at its front, component by component, until the remaining tail
// measures below limit pixels in label's device context (its default font),
// and then prefixed with "...\"; a last component wider than limit stays
// whole. Returns a static NVR_PATH_SIZE buffer valid until the next call.
const char *ShortenPathToWidth(HWND label, const char *path, int limit);

#endif
