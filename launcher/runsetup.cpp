// runsetup.cpp -- the install run's set-up (system and temporary folders, the
// four "_if" temporary names, the open source-file list, the transfer buffer)
// and its clean-up. Owns the state declared in runsetup.h.
//
// Must not: show any message other than MsgCantInitialize, or leave a
// temporary file behind when the set-up fails. Folders it creates (Program
// Files, Common Files, levels of the temporary folder) are kept.
#include "launcher/runsetup.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "setupinfo/profile.h"
#include "ui/startupmsg.h"

char g_packageFolder[NVR_PATH_SIZE];
char g_packageDrive[NVR_PATH_SIZE];
char g_windowsFolder[NVR_PATH_SIZE];
char g_windowsDrive[NVR_PATH_SIZE];
char g_systemFolder[NVR_PATH_SIZE];
char g_programFiles[NVR_PATH_SIZE];
char g_commonFiles[NVR_PATH_SIZE];
char g_tempFolder[NVR_PATH_SIZE];
char g_infoFile[NVR_PATH_SIZE];
char g_journalFile[NVR_PATH_SIZE];
char g_sourceListFile[NVR_PATH_SIZE];
HANDLE g_sourceList;   // zero-initialised: no .data section for one handle
BYTE *g_transferBuffer;
int g_failTempName;

#define NVR_CURRENT_VERSION_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion"

// The temporary names in the order they are made.
static char *const kTempNames[NVR_TEMP_NAME_COUNT] = {
    g_infoFile, g_journalFile, g_sourceListFile, g_endInstallPath};

// A platform call that fills a path buffer returns 0 on failure and the needed
// size, without filling the buffer, when the text does not fit.
static BOOL FilledPath(DWORD length)
{
    return length != 0 && length < NVR_PATH_SIZE;
}

static int FailSetUp(void)
{
    MessageBoxA(NULL, MsgCantInitialize, g_caption, MB_ICONERROR);
    return 0;
}

// Program Files or Common Files: the registry value, else parent\child. A
// blank value counts as missing, since it would make every macro path
// relative. The folder is created when missing; failure is ignored.
static void FindSharedFolder(char *folder, const char *valueName, const char *parent,
                             const char *child)
{
    HKEY key;
    BOOL read = FALSE;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NVR_CURRENT_VERSION_KEY, 0, KEY_QUERY_VALUE,
                      &key) == ERROR_SUCCESS) {
        read = RegistryReadString(key, valueName, folder, NVR_PATH_SIZE) && !IsBlank(folder);
        RegCloseKey(key);
    }
    if (!read)
        CopyBounded(NVR_PATH_SIZE, folder, JoinPath(parent, child));
    if (!FolderExists(folder))
        CreateDirectoryA(folder, NULL);
}

// The candidate in g_tempFolder, without its trailing backslash, is usable when
// it is not blank and exists, if need be after creating its missing levels.
static BOOL UsableTempFolder(DWORD length)
{
    if (!FilledPath(length) || IsBlank(RemoveTrailingBackslash(g_tempFolder)))
        return FALSE;
    if (FolderExists(g_tempFolder))
        return TRUE;
    for (char *made = CreateNextMissingFolder(g_tempFolder); made;
         made = CreateNextMissingFolder(NULL)) {
    }
    return FolderExists(g_tempFolder);
}

// TEMP, then TMP, then the Windows folder.
static BOOL FindTempFolder(void)
{
    return UsableTempFolder(GetEnvironmentVariableA("TEMP", g_tempFolder, NVR_PATH_SIZE)) ||
           UsableTempFolder(GetEnvironmentVariableA("TMP", g_tempFolder, NVR_PATH_SIZE)) ||
           UsableTempFolder(GetWindowsDirectoryA(g_tempFolder, NVR_PATH_SIZE));
}

// Makes the four names. Each GetTempFileNameA leaves an empty file that keeps
// the next call from choosing the same name; the files are deleted newest
// first, after success and after a failure alike, so only the names remain.
static BOOL MakeTempNames(void)
{
    int made = 0;
    while (made < NVR_TEMP_NAME_COUNT && made + 1 != g_failTempName &&
           GetTempFileNameA(g_tempFolder, NVR_TEMP_PREFIX, 0, kTempNames[made]))
        made++;
    BOOL ok = made == NVR_TEMP_NAME_COUNT;
    while (made > 0)
        DeleteFileA(kTempNames[--made]);
    return ok;
}

static void CloseSourceList(void)
{
    if (g_sourceList != NULL && g_sourceList != INVALID_HANDLE_VALUE)
        CloseHandle(g_sourceList);
    g_sourceList = INVALID_HANDLE_VALUE;
    DeleteFileA(g_sourceListFile);
}

int SetUpRun(void)
{
    CopyBounded(NVR_PATH_SIZE, g_packageFolder, PathFolder(g_packagePath));
    CopyBounded(NVR_PATH_SIZE, g_packageDrive, PathRoot(g_packageFolder));
    if (!FilledPath(GetWindowsDirectoryA(g_windowsFolder, NVR_PATH_SIZE)) ||
        !FilledPath(GetSystemDirectoryA(g_systemFolder, NVR_PATH_SIZE)))
        return FailSetUp();
    CopyBounded(NVR_PATH_SIZE, g_windowsDrive, PathRoot(g_windowsFolder));
    FindSharedFolder(g_programFiles, "ProgramFilesDir", g_windowsDrive, "Program Files");
    FindSharedFolder(g_commonFiles, "CommonFilesDir", g_programFiles, "Common Files");
    if (!FindTempFolder() || !MakeTempNames())
        return FailSetUp();

    g_sourceList = CreateFileA(g_sourceListFile, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                               NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    if (g_sourceList != INVALID_HANDLE_VALUE)
        g_transferBuffer = (BYTE *)HeapAlloc(GetProcessHeap(), 0, NVR_IO_CHUNK);
    if (g_transferBuffer == NULL) {
        CloseSourceList();
        return FailSetUp();
    }
    return 1;
}

void CleanUpRun(void)
{
    if (g_transferBuffer != NULL)
        HeapFree(GetProcessHeap(), 0, g_transferBuffer);
    g_transferBuffer = NULL;
    DeleteFileA(g_infoFile);
    ProfileFlush(g_journalFile);
    DeleteFileA(g_journalFile);
    CloseSourceList();
}
