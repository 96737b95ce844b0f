// launcher.cpp -- run-mode dispatch, the bootstrap and the install run's
// start-up. Owns the process-wide state declared in launcher.h.
//
// Every start-up failure ends in one of the English-only start-up messages,
// shown here without owner; nothing below retries.
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "launcher/postrestart.h"
#include "launcher/runsetup.h"
#include "engine/placement.h"
#include "package/format.h"
#include "package/reader.h"
#include "resources/resource.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "ui/startupmsg.h"
#include "ui/volumeprompt.h"

HINSTANCE g_instance;
int g_languageFlag;   // set to 1 (English) when a run mode starts
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

// Opens the package and extracts its install information file. 1, or 0 when
// the package is damaged (the reader is then closed again).
static int OpenInstallPackage(void)
{
    g_reader = OpenPackage(g_packagePath, NVR_MODULE_LENGTH);
    if (g_reader == NULL)
        return 0;
    SetVolumeCallback(VolumePrompt);
    if (PackageLengthsFit() && IsCurrentEntryNamed(NVR_INFO_ENTRY_NAME) &&
        PlaceFile(g_infoFile) >= 0)
        return 1;
    ClosePackage(g_reader);
    g_reader = NULL;
    return 0;
}

// Registers the main window's class and creates the window off-screen; only
// its taskbar button shows. 1 or 0.
static int CreateMainWindow(void)
{
    WNDCLASSEXA wc;
    FillBytes(&wc, 0, sizeof wc);
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = MainWindowProc;
    wc.hInstance = g_instance;
    wc.hIcon = LoadIconA(g_instance, MAKEINTRESOURCEA(IDI_NUVAR));
    wc.hCursor = LoadCursorA(NULL, IDC_ARROW);
    wc.lpszClassName = NVR_MAIN_CLASS;
    if (!RegisterClassExA(&wc))
        return 0;
    g_mainWindow = CreateWindowExA(0, NVR_MAIN_CLASS, g_caption,
                                   WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                   9999, 9999, 0, 0, NULL, NULL, g_instance, NULL);
    return g_mainWindow != NULL;
}

// The wizard's message loop; the current page gets keyboard navigation.
static void RunMessageLoop(void)
{
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        if (g_currentPage != NULL && IsDialogMessageA(g_currentPage, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// Install mode: set up the run, open the package, read its title and
// language, and run the wizard until the main window ends the loop.
static int RunInstall(const char *packagePath)
{
    CopyBounded(NVR_PATH_SIZE, g_packagePath, packagePath);
    if (!SetUpRun())
        return -1;
    if (!OpenInstallPackage()) {
        CleanUpRun();
        return ShowStartupMessage(MsgPackageCorrupt, MB_ICONERROR);
    }
    ReadLanguageAndTitle(g_infoFile);

    // The same installation running already: bring it forward instead.
    HWND running = FindWindowA(NVR_MAIN_CLASS, g_caption);
    BOOL windowMade = FALSE;
    if (running != NULL) {
        PostMessageA(running, WM_SYSCOMMAND, SC_RESTORE, 0);
    } else if ((windowMade = CreateMainWindow()) != FALSE) {
        ShowWindow(g_mainWindow, SW_SHOWNORMAL);
        UpdateWindow(g_mainWindow);
        g_uiReady = 1;
        RunMessageLoop();
    }
    ClosePackage(g_reader);
    g_reader = NULL;
    CleanUpRun();
    // The temporary files are gone before the user is told.
    if (running == NULL && !windowMade)
        return ShowStartupMessage(MsgCantInitialize, MB_ICONERROR);
    if (g_restartFlag)
        RestartWindows();
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
