// welcomepage.cpp -- the welcome page (template 1060) and the helpers every
// page and the completion dialog share: icon, caption and catalogue texts,
// minimize forwarding, reporting to the main window.
//
// The welcome page asks nothing: Next and Cancel (or closing) are reported
// as they are.
#include "ui/pages.h"
#include "launcher/launcher.h"
#include "resources/resource.h"

void InitDialogTexts(HWND dialog, int titleItem, TextId titleText,
                     const ItemText *texts, int count)
{
    char text[NVR_MESSAGE_SIZE];
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 (LPARAM)LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_NUVAR)));
    SetWindowTextA(dialog, g_caption);
    FormatMessageText(text, titleText, g_title, NULL);
    SetDlgItemTextA(dialog, titleItem, text);
    for (int i = 0; i < count; i++)
        SetDlgItemTextA(dialog, texts[i].item, CatalogText((TextId)texts[i].text));
}

BOOL ForwardMinimize(WPARAM wParam, LPARAM lParam)
{
    if ((wParam & 0xFFF0) != SC_MINIMIZE)
        return FALSE;
    SendMessageA(g_mainWindow, WM_SYSCOMMAND, SC_MINIMIZE, lParam);
    return TRUE;
}

void ReportAndClose(HWND page, UiCode code, LPARAM result)
{
    SendMessageA(g_mainWindow, WM_USER, code, result);
    DestroyWindow(page);
}

static const ItemText s_welcomeTexts[] = {
    {IDC_CLOSE_OTHERS, TextCloseOthers},
    {IDC_NEXT, BtnNext},
    {IDC_CANCEL, BtnCancel},
};

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        InitDialogTexts(page, IDC_WELCOME_TEXT, TextWelcome, s_welcomeTexts,
                        sizeof s_welcomeTexts / sizeof s_welcomeTexts[0]);
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_NEXT || LOWORD(wParam) == IDC_CANCEL)
            ReportAndClose(page, CodeWelcomeDone, LOWORD(wParam) == IDC_NEXT);
        return TRUE;
    case WM_SYSCOMMAND:
        // Closing is Cancel, without a question.
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            ReportAndClose(page, CodeWelcomeDone, 0);
            return TRUE;
        }
        return ForwardMinimize(wParam, lParam);
    }
    return FALSE;
}
