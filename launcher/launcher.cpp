// launcher.cpp -- run-mode dispatch, the bootstrap and the install run's
// start-up. Owns the process-wide state declared in launcher.h.
//
// Every start-up failure ends in one of the English-only start-up messages,
// shown here without owner; nothing below retries.
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "launcher/postrestart.h"
#include "package/format.h"
#include "package/reader.h"
#include "ui/startupmsg.h"

HINSTANCE g_instance;
int g_languageFlag = 1;
char g_caption[NVR_CAPTION_SIZE];
char g_title[NVR_PATH_SIZE];
char g_packagePath[NVR_PATH_SIZE];
char g_endInstallPath[NVR_PATH_SIZE];
PackageReader *g_reader;
HWND g_mainWindow;
HWND g_currentPage;
int g_uiReady;
int g_restartFlag;
int g_postRestartFlag;

static int ShowStartupMessage(const char *text, UINT icon)
{
    MessageBoxA(NULL, text, g_caption, icon);
    return icon == MB_ICONWARNING ? 0 : -1;
}

const char *SkipProgramName(const char *line)
{
    if (*line == '"') {
        ++line;
        while (*line && *line != '"')
            ++line;
        if (*line == '"')
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

// Copies the first NVR_MODULE_LENGTH bytes of the package to target. 1 on
// success; on failure every handle is closed and the target deleted.
static int CopyModule(HANDLE target)
{
    int ok = 0;
    void *block = NULL;
    HANDLE package = CreateFileA(g_packagePath, GENERIC_READ, FILE_SHARE_READ, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (package == INVALID_HANDLE_VALUE)
        goto done;
    block = HeapAlloc(GetProcessHeap(), 0, NVR_MODULE_LENGTH);
    if (block == NULL)
        goto done;
    if (!ReadExact(package, block, NVR_MODULE_LENGTH))
        goto done;
    CloseHandle(package);
    package = INVALID_HANDLE_VALUE;
    ok = WriteExact(target, block, NVR_MODULE_LENGTH);
done:
    if (package != INVALID_HANDLE_VALUE)
        CloseHandle(package);
    if (block != NULL)
        HeapFree(GetProcessHeap(), 0, block);
    return ok;
}

// The user started a package: copy its module into the Windows folder and
// start that copy in install mode on the package.
static int RunBootstrap(void)
{
    char windows[NVR_PATH_SIZE];
    char target[NVR_PATH_SIZE];
    char args[NVR_PATH_SIZE];
    WIN32_FIND_DATAA found;

    GetModuleFileNameA(NULL, g_packagePath, NVR_PATH_SIZE);
    HANDLE search = FindFirstFileA(g_packagePath, &found);
    if (search == INVALID_HANDLE_VALUE)
        return ShowStartupMessage(MsgPackageCorrupt, MB_ICONERROR);
    FindClose(search);
    if (found.nFileSizeLow == NVR_MODULE_LENGTH && found.nFileSizeHigh == 0)
        return ShowStartupMessage(MsgBareModule, MB_ICONWARNING);
    if (found.nFileSizeLow < NVR_MODULE_LENGTH && found.nFileSizeHigh == 0)
        return ShowStartupMessage(MsgPackageCorrupt, MB_ICONERROR);

    if (GetWindowsDirectoryA(windows, NVR_PATH_SIZE) == 0)
        return ShowStartupMessage(MsgCantInitialize, MB_ICONERROR);
    CopyBounded(NVR_PATH_SIZE, target, JoinPath(windows, NVR_MODULE_FILE_NAME));

    HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        // A copy that is running (or otherwise locked) is started as it is.
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION)
            return ShowStartupMessage(MsgCantInitialize, MB_ICONERROR);
    } else {
        int copied = CopyModule(file);
        CloseHandle(file);
        if (!copied) {
            DeleteFileA(target);
            return ShowStartupMessage(MsgCantInitialize, MB_ICONERROR);
        }
    }

    CopyBounded(NVR_PATH_SIZE, args, NVR_SWITCH_INSTALL);
    AppendBounded(NVR_PATH_SIZE, args, g_packagePath);
    if (!SpawnProcess(target, args, 0))
        return ShowStartupMessage(MsgCantInitialize, MB_ICONERROR);
    return 0;
}

// The header's lengths must fit the first volume file as it is on disk.
static int PackageLengthsFit(void)
{
    HANDLE file = CreateFileA(g_packagePath, GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return 0;
    DWORD length = GetFileSize(file, NULL);
    CloseHandle(file);
    int volumes = PackageVolumeCount(g_reader);
    if (volumes == 1)
        return PackageLength(g_reader) <= length;
    if (volumes > 1)
        return PackageVolumeLength(g_reader) <= length;
    return 1;
}

// Install mode: open the package and check that it starts with the install
// information entry.
static int RunInstall(const char *packagePath)
{
    EntryInfo info;

    CopyBounded(NVR_PATH_SIZE, g_packagePath, packagePath);
    g_reader = OpenPackage(g_packagePath, NVR_MODULE_LENGTH);
    if (g_reader == NULL)
        return ShowStartupMessage(MsgPackageCorrupt, MB_ICONERROR);
    int ok = PackageLengthsFit() && GetEntryInfo(g_reader, &info) == 0 &&
             CompareNoCase(info.name, NVR_INFO_ENTRY_NAME) == 0;
    ClosePackage(g_reader);
    g_reader = NULL;
    if (!ok)
        return ShowStartupMessage(MsgPackageCorrupt, MB_ICONERROR);
    return 0;
}

int RunModule(HINSTANCE instance, const char *args)
{
    g_instance = instance;
    g_languageFlag = 1;
    CopyBounded(NVR_CAPTION_SIZE, g_caption, NVR_DEFAULT_CAPTION);

    // The argument is the rest of the text after the switch, taken whole.
    char argument[NVR_PATH_SIZE];
    argument[0] = '\0';
    if (args[0] && args[1])
        CopyBounded(NVR_PATH_SIZE, argument, args + 2);

    if (args[0] == '-' && args[1] == 'I')
        return RunInstall(argument);
    if (args[0] == '-' && args[1] == 'i')
        return RunPostRestartRegistration(args, argument);
    if (args[0] == '~' && args[1] == 'i')
        return RunPostRestartCompletion(argument);
    return RunBootstrap();
}
