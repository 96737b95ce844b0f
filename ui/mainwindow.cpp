// mainwindow.cpp -- the main window and page sequencing.
#include "ui/mainwindow.h"

volatile LONG g_abortFlag;

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
