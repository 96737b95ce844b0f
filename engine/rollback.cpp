// rollback.cpp -- the rollback thread. Reads the journal through
// NextJournalItem (which passes over blank, relative and '*' items) and undoes
// each item; every failure is passed over silently. Never consults the abort
// flag and never touches a file the journal does not name.
#include "engine/rollback.h"
#include "engine/engine.h"
#include "engine/registration.h"
#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "setupinfo/journal.h"
#include "ui/uicodes.h"

#define NVR_ROLLBACK_PAUSE_MS 100    // before reading the journal and before reporting

ProgressStepper g_stepProgressBack;

BOOL RemoveEmptyFolder(const char *path)
{
    if (IsBlank(path) || !IsAbsolutePath(path) || !FolderExists(path))
        return TRUE;
    SetCurrentDirectoryA(g_windowsFolder);
    return RemoveDirectoryA(path);
}

// Undoes one DLL record: lowers the shared count it raised; a file the run
// placed where none stood, with removal flag 1, is unregistered as recorded
// and deleted.
static void UndoDllRecord(const char *record)
{
    DllRecord dll;

    SplitDllRecord(record, &dll);
    if (dll.shared)
        DecrementSharedCount(dll.path);
    if (!FileExists(dll.path) || !dll.removal || dll.replaced)
        return;
    if (dll.registered)
        UnregisterComServer(dll.path);
    if (dll.typeLibrary)
        UnregisterTypeLibraryFile(dll.path);
    DeleteFileA(dll.path);
}

DWORD WINAPI RollbackWorker(LPVOID)
{
    char item[NVR_JOURNAL_ITEM_SIZE];

    Sleep(NVR_ROLLBACK_PAUSE_MS);
    BeginJournalReadBack();
    while (g_stepProgressBack && g_stepProgressBack())
        Sleep(0);
    while (NextJournalItem(NVR_JOURNAL_SOURCES, item))
        DeleteFileA(item);
    while (NextJournalItem(NVR_JOURNAL_DLLS, item))
        UndoDllRecord(item);
    SetCurrentDirectoryA(g_windowsFolder);
    while (NextJournalItem(NVR_JOURNAL_FOLDER, item))
        RemoveEmptyFolder(item);
    g_restartNeeded = 0;
    Sleep(NVR_ROLLBACK_PAUSE_MS);
    PostMessageA(g_mainWindow, WM_USER, CodeRollbackDone, 0);
    return 0;
}
