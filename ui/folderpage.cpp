// folderpage.cpp -- the install-folder page (template 1062): the proposal
// from DefInstallFolder, the folder browser, the checks of the chosen folder
// in their fixed order, and the creation of the missing folders, each
// recorded in the install journal.
//
// The decisions are plain functions (pages.h); the page only gathers the
// facts, asks the user and sets the install folder and drive. It never
// removes a folder it created: that is the rollback's business.
#include "ui/pages.h"
#include <shlobj.h>
#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "package/format.h"
#include "resources/resource.h"
#include "setupinfo/journal.h"
#include "setupinfo/macros.h"
#include "setupinfo/profile.h"

DWORD g_spaceNeeded;
char g_defaultSubFolder[NVR_PATH_SIZE];

#define NVR_FOLDER_LIMIT (NVR_PATH_SIZE - 1)   // characters the edit field takes
#define NVR_WIN_DRIVE_MACRO "{WinDrive}"

// ---- decisions ----------------------------------------------------------------

static BOOL IsUncPath(const char *path)
{
    return path[0] == '\\' && path[1] == '\\';
}

void ProposeFolder(const char *value, BOOL packageRemovable, char *folder, char *subFolder)
{
    CopyBounded(NVR_PATH_SIZE, folder, value);
    subFolder[0] = '\0';
    if (IsAbsolutePath(folder))
        return;
    const char *sub = value;
    for (const char *p = value; *p; p++) {
        if (*p == '}') {
            for (sub = p + 1; *sub == '\\'; sub++) {}
            break;
        }
    }
    CopyBounded(NVR_PATH_SIZE, subFolder, sub);
    if (ExpandPathMacros(folder))
        return;
    if (packageRemovable) {
        CopyBounded(NVR_PATH_SIZE, folder, JoinPath(NVR_WIN_DRIVE_MACRO, folder));
        ExpandPathMacros(folder);
    } else {
        CopyBounded(NVR_PATH_SIZE, folder, JoinPath(g_packageFolder, folder));
    }
}

void ApplyBrowseChoice(char *folder, const char *subFolder)
{
    CopyBounded(NVR_PATH_SIZE, folder, JoinPath(folder, subFolder));
    RemoveTrailingBackslash(AddTrailingBackslash(folder));
}

void FormatSpaceLine(char *out, DWORD spaceNeeded)
{
    // 64-bit sum: sizes within 512 bytes of 4 GiB must not wrap to 0KB.
    DWORD kilobytes = (DWORD)(((ULONGLONG)spaceNeeded + 512) >> 10);
    wsprintfA(out, "%s %sKB", CatalogText(LabelSpaceNeeded), FormatThousands(kilobytes));
}

BOOL NormaliseFolder(char *folder)
{
    if (IsBlank(folder))
        return FALSE;
    RemoveTrailingBackslash(AddTrailingBackslash(AnchorDrivePath(Trim(folder))));
    if (!IsAbsolutePath(folder))
        CopyBounded(NVR_PATH_SIZE, folder, JoinPath(g_packageFolder, folder));
    return TRUE;
}

DWORD FreeBytesFromFigures(DWORD sectorsPerCluster, DWORD bytesPerSector, DWORD freeClusters)
{
    ULONGLONG bytes = (ULONGLONG)(sectorsPerCluster * bytesPerSector) * freeClusters;
    return bytes > 0xFFFFFFFFu ? 0xFFFFFFFFu : (DWORD)bytes;
}

FolderCheck NextFolderCheck(const char *folder, const FolderFacts *facts, int from)
{
    const BOOL stops[CheckPassed] = {
        IsUncPath(folder),
        !facts->rootExists,
        facts->removable,
        facts->edited && !facts->folderExists,
        facts->freeBytes <= facts->spaceNeeded,
    };
    for (int check = from; check < CheckPassed; check++)
        if (stops[check])
            return (FolderCheck)check;
    return CheckPassed;
}

// ---- facts --------------------------------------------------------------------

// root with a trailing backslash (X:\), as the drive functions want it.
static char *RootPath(char *buffer, const char *root)
{
    return AddTrailingBackslash(CopyBounded(NVR_PATH_SIZE, buffer, root));
}

static BOOL IsRemovableRoot(const char *root)
{
    char path[NVR_PATH_SIZE];
    UINT type = GetDriveTypeA(RootPath(path, root));
    return type == DRIVE_REMOVABLE || type == DRIVE_CDROM;
}

// Free bytes on root, saturated at 0xFFFFFFFF; 0 when they cannot be read.
static DWORD FreeBytesOnRoot(const char *root)
{
    char path[NVR_PATH_SIZE];
    DWORD sectors, bytes, freeClusters, clusters;
    if (!GetDiskFreeSpaceA(RootPath(path, root), &sectors, &bytes, &freeClusters, &clusters))
        return 0;
    return FreeBytesFromFigures(sectors, bytes, freeClusters);
}

// Facts about folder (normalised) and its root. A share is asked nothing and
// a missing root no more than that it is missing.
static void GatherFacts(HWND page, const char *folder, const char *root, FolderFacts *facts)
{
    FillBytes(facts, 0, sizeof *facts);
    facts->spaceNeeded = g_spaceNeeded;
    facts->edited = SendDlgItemMessageA(page, IDC_FOLDER_EDIT, EM_GETMODIFY, 0, 0) != 0;
    if (IsUncPath(folder) || !FolderExists(root))
        return;
    facts->rootExists = TRUE;
    facts->removable = IsRemovableRoot(root);
    facts->folderExists = FolderExists(folder);
    facts->freeBytes = FreeBytesOnRoot(root);
}

// ---- page ---------------------------------------------------------------------

// Message of each check; a question answered Yes lets the folder pass.
struct CheckMessage {
    BYTE text;          // TextId
    BYTE namesFolder;   // argument: 1 the folder, 0 its root
    UINT style;
};

static const CheckMessage s_checkMessages[CheckPassed] = {
    {MsgRemoteFolder, 0, MB_ICONWARNING},
    {MsgBadDrive, 0, MB_ICONWARNING},
    {MsgRemovableDrive, 0, MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2},
    {MsgCreateFolder, 1, MB_ICONQUESTION | MB_YESNO},
    {MsgNoFreeSpace, 0, MB_ICONWARNING},
};

static const ItemText s_folderTexts[] = {
    {IDC_FOLDER_GROUP, LabelInstallFolder},
    {IDC_BROWSE, BtnBrowse},
    {IDC_INSTALL, BtnInstall},
    {IDC_CANCEL, BtnCancel},
};

// Focus on the folder field with its whole text selected.
static void BackToField(HWND page)
{
    HWND edit = GetDlgItem(page, IDC_FOLDER_EDIT);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

static void OnInitFolderPage(HWND page)
{
    char text[NVR_MESSAGE_SIZE];    // window title: caption, " - " and a short text
    char folder[NVR_PATH_SIZE];

    InitDialogTexts(page, IDC_FOLDER_INTRO, TextFolderIntro, s_folderTexts,
                    sizeof s_folderTexts / sizeof s_folderTexts[0]);
    SendDlgItemMessageA(page, IDC_FOLDER_EDIT, EM_LIMITTEXT, NVR_FOLDER_LIMIT, 0);
    wsprintfA(text, "%s - %s", g_caption, CatalogText(TitleSelectFolder));
    SetWindowTextA(page, text);

    g_spaceNeeded = (DWORD)ProfileReadNumber(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_SPACE, 0,
                                             g_infoFile);
    FormatSpaceLine(text, g_spaceNeeded);
    SetDlgItemTextA(page, IDC_SPACE_LINE, text);

    ProfileReadString(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_DEF_FOLDER, "", text,
                      NVR_PATH_SIZE, g_infoFile);
    ProposeFolder(text, IsRemovableRoot(g_packageDrive), folder, g_defaultSubFolder);
    SetDlgItemTextA(page, IDC_FOLDER_EDIT, folder);
    BackToField(page);
}

static void OnBrowse(HWND page)
{
    char folder[NVR_PATH_SIZE];
    BROWSEINFOA info;
    IMalloc *shellMalloc;

    FillBytes(&info, 0, sizeof info);
    info.hwndOwner = page;
    info.pszDisplayName = folder;
    info.lpszTitle = CatalogText(TextBrowsePrompt);
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST list = SHBrowseForFolderA(&info);
    if (list == NULL)
        return;
    if (SHGetPathFromIDListA(list, folder)) {
        ApplyBrowseChoice(folder, g_defaultSubFolder);
        SetDlgItemTextA(page, IDC_FOLDER_EDIT, folder);
    }
    // The list belongs to the shell's allocator.
    if (SUCCEEDED(SHGetMalloc(&shellMalloc))) {
        shellMalloc->Free(list);
        shellMalloc->Release();
    }
}

// Reads and checks the folder field into the install folder, asking the
// user where a check is a question. TRUE when the folder may be used.
static BOOL AcceptFolder(HWND page)
{
    char root[NVR_PATH_SIZE];
    FolderFacts facts;

    GetDlgItemTextA(page, IDC_FOLDER_EDIT, g_installFolder, NVR_PATH_SIZE);
    if (!NormaliseFolder(g_installFolder))
        return FALSE;
    CopyBounded(NVR_PATH_SIZE, root, PathRoot(g_installFolder));
    GatherFacts(page, g_installFolder, root, &facts);
    for (int check = NextFolderCheck(g_installFolder, &facts, 0); check != CheckPassed;
         check = NextFolderCheck(g_installFolder, &facts, check + 1)) {
        const CheckMessage *m = &s_checkMessages[check];
        if (ShowCatalogMessage(page, (TextId)m->text, m->style,
                               m->namesFolder ? g_installFolder : root, NULL) != IDYES)
            return FALSE;
    }
    return TRUE;
}

// Creates the missing folders from the root down, each recorded for the
// rollback; stops at the first that cannot be created.
static void CreateInstallFolder(void)
{
    for (char *made = CreateNextMissingFolder(g_installFolder); made != NULL;
         made = CreateNextMissingFolder(NULL))
        RecordInstalled(NVR_JOURNAL_FOLDER, NULL, made);
}

static void OnInstall(HWND page)
{
    if (AcceptFolder(page)) {
        CreateInstallFolder();
        if (FolderExists(g_installFolder)) {
            CopyBounded(NVR_PATH_SIZE, g_installDrive, PathRoot(g_installFolder));
            ReportAndClose(page, CodeFolderDone, 1);
            return;
        }
        ShowCatalogMessage(page, MsgCreateFolderFailed, MB_ICONWARNING, g_installFolder, NULL);
    }
    BackToField(page);
}

static void OnFolderCommand(HWND page, WORD item)
{
    if (item == IDC_BROWSE)
        OnBrowse(page);
    else if (item == IDC_INSTALL)
        OnInstall(page);
    else if (item == IDC_CANCEL)
        SendMessageA(page, WM_SYSCOMMAND, SC_CLOSE, 0);
}

INT_PTR CALLBACK FolderPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitFolderPage(page);
        return 0;
    case WM_COMMAND:
        OnFolderCommand(page, LOWORD(wParam));
        return TRUE;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            if (ShowCatalogMessage(page, MsgAbortQuery, MB_ICONQUESTION | MB_YESNO | MB_DEFBUTTON2,
                                   NULL, NULL) == IDYES)
                ReportAndClose(page, CodeFolderDone, 0);
            return TRUE;
        }
        return ForwardMinimize(wParam, lParam);
    }
    return FALSE;
}
