// mainwindow.h -- the invisible main window that sequences the pages and
// owns the message protocol between pages, threads and itself; and the
// abort flag.
#ifndef NVR_UI_MAINWINDOW_H
#define NVR_UI_MAINWINDOW_H

#include <windows.h>

// Goes only from 0 to 1: set by the abort questions, a cancelled volume prompt
// or a failed worker. While it is set, the engine shows no message box.
extern volatile LONG g_abortFlag;

// Window procedure of the main window (class "IFBG").
LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
