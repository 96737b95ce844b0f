// mainwindow.cpp -- the invisible main window: opens the pages one after the
// other, owns the protocol of the UI codes (ui/uicodes.h), finishes or rolls
// back the installation when the worker is done, and passes the taskbar
// button's commands and keys on to the current page.
//
// The window is never seen (0 x 0 at 9999, 9999); only its taskbar button
// shows. It never waits for a thread: every thread handle is closed at once.
#include "ui/mainwindow.h"
#include "engine/engine.h"
#include "engine/finishing.h"
#include "engine/rollback.h"
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "resources/resource.h"
#include "ui/catalog.h"
#include "ui/completion.h"
#include "ui/pages.h"
#include "ui/progresspage.h"
#include "ui/uicodes.h"

volatile LONG g_abortFlag;

#define NVR_START_TIMER   100   // opens the welcome page
#define NVR_START_DELAY   50    // ms after the window's creation

static int s_minimized;         // the window has been seen minimized

// Runs routine on a thread of its own and lets it go; when no thread can be
// made the routine runs here, so that the run still reaches its end.
static void RunDetached(ThreadRoutine routine)
{
    HANDLE thread = StartThread(routine);
    if (thread != NULL)
        CloseHandle(thread);
    else
        routine(NULL);
}

// Creates a page from the module's templates as the current page. A page
// that cannot be made ends the run, as Cancel would.
static void OpenPage(HWND window, int page, DLGPROC procedure)
{
    g_currentPage = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(page), window, procedure, 0);
    if (g_currentPage == NULL)
        DestroyWindow(window);
}

static void SetStatusLine(const char *text)
{
    SetDlgItemTextA(g_currentPage, IDC_STATUS, text);
}

// The worker has ended: roll back after an abort or failure, otherwise write
// the finishing records under the wait cursor and wait a second.
static void OnWorkerDone(void)
{
    if (g_abortFlag) {
        SetStatusLine("");
        EnableWindow(GetDlgItem(g_currentPage, IDC_ABORT), FALSE);
        RunDetached(RollbackWorker);
        return;
    }
    HCURSOR wait = LoadCursorA(NULL, IDC_WAIT);
    HCURSOR previous = SetCursor(wait);
    SetStatusLine(CatalogText(TextSystemUpdates));
    RemoveRunOnceEntry();
    if (!WriteEndInstallInformation()) {
        SetCursor(previous);
        ShowCatalogMessage(g_currentPage, MsgEndInstallFailed, MB_ICONWARNING, NULL, NULL);
        previous = SetCursor(wait);
    }
    SetCursor(previous);
    RunDetached(FinishingDelay);
}

// Finishing is over: completion dialog, or the restart question when a
// replacement waits for the restart.
static void OnFinished(HWND window)
{
    SetStatusLine("");
    if (!g_restartNeeded) {
        SendMessageA(g_currentPage, WM_USER, CodeClosePage, 0);
        g_postRestartFlag = 0;
        RunDetached(CompletionStep);
        return;
    }
    SetForegroundWindow(g_currentPage);
    if (ShowCatalogMessage(g_currentPage, MsgRestartQuery, MB_ICONQUESTION | MB_YESNO,
                           NULL, NULL) == IDNO)
        ShowCatalogMessage(g_currentPage, MsgRestartLater, MB_ICONWARNING, NULL, NULL);
    else
        g_restartFlag = 1;
    SendMessageA(g_currentPage, WM_USER, CodeClosePage, 0);
    DestroyWindow(window);
}

static void OnUiCode(HWND window, WPARAM code, LPARAM lParam)
{
    switch (code) {
    case CodeWelcomeDone:
        if (lParam)
            OpenPage(window, IDD_FOLDER, FolderPageProc);
        else
            DestroyWindow(window);
        break;
    case CodeFolderDone:
        if (lParam)
            OpenPage(window, IDD_PROGRESS, ProgressPageProc);
        else
            DestroyWindow(window);
        break;
    case CodeWorkerDone:
        OnWorkerDone();
        break;
    case CodeFinished:
        OnFinished(window);
        break;
    case CodeRollbackDone:
        SendMessageA(g_currentPage, WM_USER, CodeClosePage, 0);
        DestroyWindow(window);
        break;
    case CodeQuit:
        DestroyWindow(window);
        break;
    case CodeRestored:
        SetForegroundWindow(g_currentPage);
        break;
    }
}

// Brings the current page forward and gives it the message.
static void PassToPage(UINT message, WPARAM wParam, LPARAM lParam)
{
    SetForegroundWindow(g_currentPage);
    SendMessageA(g_currentPage, message, wParam, lParam);
}

// Move and Close of the taskbar button act on the page; Restore also brings
// it forward. FALSE: default processing follows.
static BOOL OnSysCommand(WPARAM command, LPARAM lParam)
{
    if (command == SC_MOVE || command == SC_CLOSE) {
        PassToPage(WM_SYSCOMMAND, command, lParam);
        return TRUE;
    }
    if (command == SC_RESTORE)
        SetForegroundWindow(g_currentPage);
    return FALSE;
}

// Restoring from the taskbar brings the page forward once the window is back.
static void OnPositionChanged(HWND window)
{
    if (IsIconic(window)) {
        s_minimized = 1;
        return;
    }
    if (s_minimized)
        PostMessageA(window, WM_USER, CodeRestored, 0);
    s_minimized = 0;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        SetTimer(window, NVR_START_TIMER, NVR_START_DELAY, NULL);
        return 0;
    case WM_TIMER:
        if (LOWORD(wParam) == NVR_START_TIMER) {
            KillTimer(window, NVR_START_TIMER);
            OpenPage(window, IDD_WELCOME, WelcomePageProc);
        }
        return 0;
    case WM_USER:
        OnUiCode(window, wParam, lParam);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_CLOSE:
        SendMessageA(g_currentPage, WM_SYSCOMMAND, SC_CLOSE, 0);
        return 0;
    case WM_SYSCOMMAND:
        if (OnSysCommand(wParam, lParam))
            return 0;
        break;
    case WM_KEYDOWN:
        PassToPage(message, wParam, lParam);
        return 0;
    case WM_WINDOWPOSCHANGED:
        OnPositionChanged(window);
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}
