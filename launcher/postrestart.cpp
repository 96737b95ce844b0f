// postrestart.cpp -- the "-i" and "~i" runs. They open no package and create
// no main window; their dialogs run their own modal loops.
#include "launcher/postrestart.h"
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "ui/startupmsg.h"

int RunPostRestartRegistration(const char *args, const char *path)
{
    char module[NVR_PATH_SIZE];
    char relaunch[NVR_PATH_SIZE];
    char windows[NVR_PATH_SIZE];

    CopyBounded(NVR_PATH_SIZE, g_endInstallPath, path);
    GetWindowsDirectoryA(windows, NVR_PATH_SIZE);
    // Windows 9x leaves the processed WININIT.INI behind under this name.
    if (!IsWindowsNT())
        DeleteFileA(JoinPath(windows, "WININIT.BAK"));

    GetModuleFileNameA(NULL, module, NVR_PATH_SIZE);
    CopyBounded(NVR_PATH_SIZE, relaunch, args);
    relaunch[0] = '~';
    SpawnProcess(module, relaunch, 0);
    return 0;
}

int RunPostRestartCompletion(const char *path)
{
    CopyBounded(NVR_PATH_SIZE, g_endInstallPath, path);
    if (!FileExists(g_endInstallPath)) {
        MessageBoxA(NULL, MsgNoInstallInfo, g_caption, MB_ICONERROR);
        return -1;
    }
    g_postRestartFlag = 1;
    return 0;
}
