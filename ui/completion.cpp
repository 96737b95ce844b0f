// completion.cpp -- the completion step: the completion dialog (template
// 1059), then the End-install information file is deleted, the install
// folder opened in the shell and, in the install run, the main window told
// to quit. Nothing here is reported: a failed deletion or shell request
// passes in silence.
#include "ui/completion.h"
#include <shellapi.h>
#include "launcher/launcher.h"
#include "resources/resource.h"
#include "setupinfo/macros.h"
#include "setupinfo/profile.h"
#include "ui/pages.h"
#include "ui/uicodes.h"

static const ItemText s_completionTexts[] = {
    {IDC_OK, BtnOk},
};

static INT_PTR CALLBACK CompletionProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        InitDialogTexts(dialog, IDC_COMPLETED, TextCompleted, s_completionTexts,
                        sizeof s_completionTexts / sizeof s_completionTexts[0]);
        SetForegroundWindow(dialog);
        MessageBeep(0);
        return 0;
    }
    if ((message == WM_COMMAND && LOWORD(wParam) == IDC_OK) ||
        (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return 0;
}

DWORD WINAPI CompletionStep(LPVOID)
{
    DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_COMPLETION), g_mainWindow,
                    CompletionProc, 0);
    ProfileFlush(g_endInstallPath);
    DeleteFileA(g_endInstallPath);
    // The post-restart completion run knows no install folder: nothing to open.
    if (g_installFolder[0] != '\0') {
        AddTrailingBackslash(g_installFolder);
        ShellExecuteA(NULL, NULL, g_installFolder, NULL, NULL, SW_SHOWNORMAL);
    }
    if (!g_postRestartFlag)
        PostMessageA(g_mainWindow, WM_USER, CodeQuit, 0);
    return 0;
}
