// progresspage.cpp -- the progress page: worker start 500 ms after opening,
// the status line, the bar's progress, the abort question with the worker's
// thread suspended, and passing the worker's end on to the main window.
//
// The worker reaches the page only by sent notices, so every notice is
// handled while the worker waits. The page shows no message of its own but
// the abort question, and does not end the worker: it only sets the abort
// flag, which the worker polls.
#include "ui/progresspage.h"
#include "ui/progressbar.h"
#include "ui/replacequery.h"
#include "ui/pages.h"
#include "ui/mainwindow.h"
#include "ui/uicodes.h"
#include "engine/worker.h"
#include "engine/rollback.h"
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "setupinfo/toolkit.h"
#include "resources/resource.h"

#define NVR_START_TIMER     100     // timer that starts the worker
#define NVR_START_DELAY_MS  500     // after the page has opened
#define NVR_PATH_MARGIN     10      // pixels kept free right of the status text
#define NVR_SHORT_PREFIX    "...\\"
#define NVR_STATUS_TIMER    101     // shows a path that came too soon after the last one
#define NVR_STATUS_MS       50      // least time between two status line updates

static int s_workerRunning;         // 1 from the worker's start to CodeWorkerDone
static int s_pathWidthLimit;        // status line width in pixels - NVR_PATH_MARGIN
static char s_pendingPath[NVR_PATH_SIZE];   // path not shown yet; "" when none
static DWORD s_statusShownAt;       // GetTickCount of the last status line update
static int s_statusTimer;           // NVR_STATUS_TIMER is armed
static int s_asking;                // the abort question is up: the status line stays

static const ItemText s_progressTexts[] = {
    {IDC_ABORT, BtnAbort},
};

void GetItemClientRect(HWND dialog, int item, RECT *rect)
{
    GetWindowRect(GetDlgItem(dialog, item), rect);
    MapWindowPoints(NULL, dialog, (POINT *)rect, 2);
}

const char *ShortenPathToWidth(HWND label, const char *path, int limit)
{
    static char s_shortPath[NVR_PATH_SIZE];
    const char *tail = path;
    SIZE size;
    HDC dc = GetDC(label);

    for (;;) {
        GetTextExtentPoint32A(dc, tail, lstrlenA(tail), &size);
        if (size.cx < limit)
            break;
        const char *next = tail;
        while (*next && *next != '\\')
            next++;
        if (!*next)
            break;
        tail = next + 1;
    }
    ReleaseDC(label, dc);
    s_shortPath[0] = '\0';
    if (tail != path)
        AppendBounded(NVR_PATH_SIZE, s_shortPath, NVR_SHORT_PREFIX);
    return AppendBounded(NVR_PATH_SIZE, s_shortPath, tail);
}

static void OpenProgressPage(HWND page)
{
    RECT place;

    s_pendingPath[0] = '\0';
    s_statusTimer = 0;

    GetItemClientRect(page, IDC_BAR_PLACE, &place);
    CreateProgressBar(g_instance, page, &place);
    g_stepProgressBack = StepProgressBack;
    InitDialogTexts(page, IDC_INSTALLING, TextInstalling, s_progressTexts,
                    sizeof s_progressTexts / sizeof s_progressTexts[0]);
    s_pathWidthLimit = place.right - place.left - NVR_PATH_MARGIN;
    SetTimer(page, NVR_START_TIMER, NVR_START_DELAY_MS, NULL);
}

// Shows the pending path in the status line. Small files come faster than
// anyone can read (hundreds a second), and each update costs a text
// measurement and a repaint, so the line changes at most every NVR_STATUS_MS
// (unless forced), and then to the latest path; the timer shows a path that
// came too soon once the worker is busy elsewhere.
static void UpdateStatus(HWND page, int force)
{
    if (!s_pendingPath[0] || s_asking)
        return;
    if (!force && GetTickCount() - s_statusShownAt < NVR_STATUS_MS) {
        if (!s_statusTimer)
            s_statusTimer = SetTimer(page, NVR_STATUS_TIMER, NVR_STATUS_MS, NULL) != 0;
        return;
    }
    SetDlgItemTextA(page, IDC_STATUS,
                    ShortenPathToWidth(GetDlgItem(page, IDC_STATUS), s_pendingPath,
                                       s_pathWidthLimit));
    s_pendingPath[0] = '\0';
    s_statusShownAt = GetTickCount();
}

static void StartWorker(HWND page)
{
    KillTimer(page, NVR_START_TIMER);
    g_workerThread = StartThread(InstallWorker);
    if (g_spaceNeeded == 0)
        SetProgressFraction(1, 1);
    s_workerRunning = 1;
    // A worker that cannot start ends like a failed one: rollback, then the end.
    if (!g_workerThread)
        SendMessageA(page, WM_USER, CodeWorkerDone, 0);
}

// Abort button or closing: asks MsgAbortQuery with the worker's thread
// suspended, so that it neither goes on nor sends while the user decides.
// While a replace-file query is open the page leaves it to that dialog's own
// Abort button: the query runs on the worker's thread and would freeze
// half-way under the question.
static void AskAbort(HWND page)
{
    if (!s_workerRunning)
        return;
    SuspendThread(g_workerThread);
    s_asking = 1;
    if (!g_replaceQueryWindow &&
        ShowCatalogMessage(page, MsgAbortQuery, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
                           NULL, NULL) == IDYES)
        InterlockedExchange(&g_abortFlag, 1);
    s_asking = 0;
    ResumeThread(g_workerThread);
}

static void HandleNotice(HWND page, WPARAM code, LPARAM value)
{
    switch (code) {
    case CodeWorkerDone:
        if (!value)
            InterlockedExchange(&g_abortFlag, 1);
        s_workerRunning = 0;
        SendMessageA(g_mainWindow, WM_USER, CodeWorkerDone, value);
        break;
    case CodeClosePage:
        DestroyProgressBar();
        DestroyWindow(page);
        break;
    case CodeShowPath:
        CopyBounded(NVR_PATH_SIZE, s_pendingPath, (const char *)value);
        UpdateStatus(page, 0);
        break;
    case CodeAddBytes:
        g_bytesDone += (DWORD)value;
        if (g_spaceNeeded)
            SetProgressFraction(g_bytesDone, g_spaceNeeded);
        UpdateStatus(page, 0);
        break;
    }
}

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OpenProgressPage(page);
        break;
    case WM_TIMER:
        if (LOWORD(wParam) == NVR_START_TIMER)
            StartWorker(page);
        if (LOWORD(wParam) == NVR_STATUS_TIMER) {
            KillTimer(page, NVR_STATUS_TIMER);
            s_statusTimer = 0;
            UpdateStatus(page, 1);
        }
        break;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_ABORT)
            SendMessageA(page, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            AskAbort(page);
            return TRUE;
        }
        return ForwardMinimize(wParam, lParam);
    case WM_USER:
        HandleNotice(page, wParam, lParam);
        break;
    }
    return FALSE;
}
