// postrestart.cpp -- the "-i" and "~i" runs. They open no package and create
// no main window; their dialogs run their own modal loops.
#include "launcher/postrestart.h"
#include "launcher/launcher.h"
#include "launcher/services.h"
#include "engine/registration.h"
#include "ui/catalog.h"
#include "ui/completion.h"
#include "ui/startupmsg.h"

int RunPostRestartRegistration(const char *args, const char *path)
{
    char module[NVR_PATH_SIZE];
    char relaunch[2 * NVR_PATH_SIZE];   // the switch and a 259-character path
    char windows[NVR_PATH_SIZE];

    CopyBounded(NVR_PATH_SIZE, g_endInstallPath, path);
    GetWindowsDirectoryA(windows, NVR_PATH_SIZE);
    // Windows 9x leaves the processed WININIT.INI behind under this name.
    if (!IsWindowsNT())
        DeleteFileA(JoinPath(windows, "WININIT.BAK"));

    // The deferred registrations, in a small dialog that ends itself.
    if (FileExists(g_endInstallPath)) {
        ReadLanguageAndTitle(g_endInstallPath);
        DialogBoxParamA(g_instance, MAKEINTRESOURCEA(NVR_FINISHING_DIALOG), NULL,
                        PostRestartRegistration, 0);
    }

    GetModuleFileNameA(NULL, module, NVR_PATH_SIZE);
    CopyBounded(sizeof relaunch, relaunch, args);
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
    ReadLanguageAndTitle(g_endInstallPath);
    g_postRestartFlag = 1;
    CompletionStep(NULL);
    return 0;
}
