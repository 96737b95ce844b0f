// finishing.cpp -- RunOnce value, End-install information file and the
// finishing delay. Touches only the product's own RunOnce value; shows no
// message (the main window reports a failed WriteEndInstallInformation).
#include "engine/finishing.h"
#include "engine/engine.h"
#include "launcher/launcher.h"
#include "package/format.h"
#include "setupinfo/journal.h"
#include "setupinfo/profile.h"
#include "ui/uicodes.h"

#define NVR_COMMAND_SIZE      520     // RunOnce command: 519 characters + NUL
#define NVR_FINISHING_WAIT_MS 1000

void RemoveRunOnceEntry(void)
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NVR_RUNONCE_KEY, 0, KEY_SET_VALUE, &key) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key, g_title);
    RegCloseKey(key);
}

// Stores the post-restart command under the Title in the open RunOnce key.
static void StoreRunOnceCommand(HKEY key)
{
    char module[NVR_PATH_SIZE];
    char command[NVR_COMMAND_SIZE];

    module[0] = '\0';
    GetModuleFileNameA(NULL, module, NVR_PATH_SIZE);
    module[NVR_PATH_SIZE - 1] = '\0';   // a cut name is not terminated on every platform
    command[0] = '\0';
    AppendBounded(NVR_COMMAND_SIZE, command, QuotePath(module));
    AppendBounded(NVR_COMMAND_SIZE, command, " " NVR_SWITCH_REGISTER);
    AppendBounded(NVR_COMMAND_SIZE, command, g_endInstallPath);
    RegSetValueExA(key, g_title, 0, REG_SZ, (const BYTE *)command, lstrlenA(command) + 1);
}

int WriteEndInstallInformation(void)
{
    HKEY key;
    int result = 1;

    ProfileWriteString(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_TITLE, g_title, g_endInstallPath);
    ProfileWriteNumber(NVR_INFO_SECTION_GENERAL, NVR_INFO_KEY_LANGUAGE, g_languageFlag,
                       g_endInstallPath);
    if (!g_restartNeeded)
        return 1;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, NVR_RUNONCE_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, NULL, &key, NULL) == ERROR_SUCCESS) {
        StoreRunOnceCommand(key);
        RegCloseKey(key);
    } else {
        result = 0;
    }
    RecordInstalled(NVR_JOURNAL_SOURCES, NULL, g_endInstallPath);
    return result;
}

DWORD WINAPI FinishingDelay(LPVOID)
{
    Sleep(NVR_FINISHING_WAIT_MS);
    PostMessageA(g_mainWindow, WM_USER, CodeFinished, 0);
    return 0;
}
