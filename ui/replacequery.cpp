// replacequery.cpp -- the replace-file query dialog: the two file lines, the
// proposed answer, "No more query." and Abort.
//
// Runs its modal loop on the install worker's thread; one query at a time.
// Escape and the close box produce IDCANCEL, which no control answers, so the
// user must choose Yes, No or Abort.
#include "ui/replacequery.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "engine/placement.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "setupinfo/toolkit.h"
#include "resources/resource.h"

#define NVR_VERSION_TEXT_SIZE 32        // "65535.65535.65535.65535; " + NUL
#define NVR_ICON_POS        15          // client position of the question icon, pixels

HWND g_replaceQueryWindow;
static int s_passKind;                  // pass of the open query: 0 source, 1 DLL

int FormatFileLine(char *out, const FileInfo *info)
{
    char version[NVR_VERSION_TEXT_SIZE];
    SYSTEMTIME t;

    version[0] = '\0';
    if (info->versionHigh != NVR_NO_VERSION || info->versionLow != NVR_NO_VERSION)
        wsprintfA(version, "%d.%d.%d.%d; ", HIWORD(info->versionHigh),
                  LOWORD(info->versionHigh), HIWORD(info->versionLow), LOWORD(info->versionLow));
    FillBytes(&t, 0, sizeof t);         // a time out of range shows as zeros
    FileTimeToSystemTime(&info->time, &t);
    return wsprintfA(out, "%s(%s%d-%d-%d/%d:%02d; %sBytes)", PathFileName(info->name), version,
                     t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, FormatThousands(info->size));
}

int IsPackageFileOlder(const FileInfo *package, const FileInfo *existing)
{
    LONG order = CompareVersions(package->versionHigh, package->versionLow,
                                 existing->versionHigh, existing->versionLow);
    if (order)
        return order < 0;
    return CompareFileTime(&package->time, &existing->time) < 0;
}

static void SetFileLine(HWND dialog, int item, const FileInfo *info)
{
    char line[NVR_FILE_LINE_SIZE];

    FormatFileLine(line, info);
    SetDlgItemTextA(dialog, item, line);
}

static void OpenReplaceQuery(HWND dialog, const ReplaceQuery *query)
{
    static const WORD s_texts[][2] = {
        {IDC_REPLACE_QUERY, TextReplaceQuery}, {IDC_NO_MORE_QUERY, LabelNoMoreQuery},
        {IDC_BUTTON_YES, BtnYes}, {IDC_BUTTON_NO, BtnNo}, {IDC_ABORT, BtnAbort},
    };
    char text[NVR_MESSAGE_SIZE];

    g_replaceQueryWindow = dialog;
    s_passKind = query->passKind;
    SetWindowTextA(dialog, g_caption);
    FormatMessageText(text, TextFileExists, PathFolder(query->existingFile->name), NULL);
    SetDlgItemTextA(dialog, IDC_REPLACE_FOLDER, text);
    SetFileLine(dialog, IDC_EXISTING_LINE, query->existingFile);
    SetFileLine(dialog, IDC_PACKAGE_LINE, query->packageFile);
    for (unsigned i = 0; i < sizeof s_texts / sizeof s_texts[0]; i++)
        SetDlgItemTextA(dialog, s_texts[i][0], CatalogText((TextId)s_texts[i][1]));
    if (IsPackageFileOlder(query->packageFile, query->existingFile))
        PostMessageA(dialog, WM_NEXTDLGCTL, (WPARAM)GetDlgItem(dialog, IDC_BUTTON_NO), 1);
    MessageBeep(MB_ICONQUESTION);
}

// Yes (1) or No (0): with "No more query." ticked, the pass's policy
// becomes 1 or -1 first.
static void Answer(HWND dialog, int replace)
{
    if (IsDlgButtonChecked(dialog, IDC_NO_MORE_QUERY) == BST_CHECKED)
        *(s_passKind ? &g_dllPolicy : &g_sourcePolicy) = replace ? 1 : -1;
    EndDialog(dialog, replace);
}

static void HandleCommand(HWND dialog, int item)
{
    if (item == IDC_BUTTON_YES || item == IDC_BUTTON_NO)
        Answer(dialog, item == IDC_BUTTON_YES);
    if (item == IDC_ABORT &&
        ShowCatalogMessage(dialog, MsgAbortQuery, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2,
                           NULL, NULL) == IDYES) {
        InterlockedExchange(&g_abortFlag, 1);
        EndDialog(dialog, 0);
    }
}

// Draws the question icon left of the texts after the dialog's own painting
// (inside BeginPaint, so erasing the background cannot wipe it out).
static void PaintIcon(HWND dialog)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(dialog, &paint);

    DrawIcon(dc, NVR_ICON_POS, NVR_ICON_POS, LoadIconA(NULL, IDI_QUESTION));
    EndPaint(dialog, &paint);
}

static INT_PTR CALLBACK ReplaceQueryProc(HWND dialog, UINT message, WPARAM wParam,
                                         LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OpenReplaceQuery(dialog, (const ReplaceQuery *)lParam);
        break;
    case WM_PAINT:
        PaintIcon(dialog);
        return TRUE;
    case WM_COMMAND:
        HandleCommand(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

int RunReplaceQuery(ReplaceQuery *query)
{
    INT_PTR answer = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_REPLACE), g_currentPage,
                                     ReplaceQueryProc, (LPARAM)query);
    g_replaceQueryWindow = NULL;
    return answer == 1;
}
