// registration.cpp -- SharedDLLs counts, COM server and type-library
// (un)registration, deferral into the End-install information file, and the
// post-restart registration dialog.
//
// Must not: keep the platform's error boxes or the wait cursor switched on
// past one operation, show a message while the abort flag is set, or change
// the stored form of a SharedDLLs count (beyond widening short binary values
// to four bytes and replacing unreadable ones with a REG_DWORD).
#include "engine/registration.h"

#include <oleauto.h>

#include "launcher/launcher.h"
#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"

#define NVR_COUNT_TEXT_SIZE 80        // a count stored as REG_SZ is read into this
#define NVR_FINISHING_TIMER 100       // timer of the post-restart dialog
#define NVR_FINISHING_DELAY 1000      // ms the dialog shows before registering
#define NVR_LOAD_ERROR_MODE (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)

// Numbers of the last key written to [RegisterServer] and [RegisterTypeLibrary];
// only the install worker defers, and the counters are never reset.
static int s_deferredServers;
static int s_deferredTypeLibraries;

// ---- SharedDLLs counts ---------------------------------------------------

// Reads the count stored under name. *form receives the type to write it back
// with: REG_SZ, REG_BINARY (1 to 4 bytes stored) or REG_DWORD; everything
// else, and a failed read, gives def and REG_DWORD. Returns FALSE when the
// value does not exist (*count = def).
static BOOL ReadCount(HKEY key, const char *name, long def, long *count, DWORD *form)
{
    char text[NVR_COUNT_TEXT_SIZE];
    DWORD type = REG_NONE;
    DWORD value = 0;
    DWORD size = sizeof value;
    LONG rc = RegQueryValueExA(key, name, NULL, &type, (BYTE *)&value, &size);

    *count = def;
    *form = REG_DWORD;
    if (rc == ERROR_FILE_NOT_FOUND)
        return FALSE;
    if (rc != ERROR_SUCCESS && rc != ERROR_MORE_DATA)
        return TRUE;
    if (type == REG_SZ) {
        if (RegistryReadString(key, name, text, NVR_COUNT_TEXT_SIZE)) {
            *count = ParseLong(text);
            *form = REG_SZ;
        }
    } else if (rc == ERROR_SUCCESS && size >= 1 &&
               ((type == REG_BINARY) || (type == REG_DWORD && size == sizeof value))) {
        *count = (long)value;   // little-endian: a short binary value fills the low bytes
        *form = type;
    }
    return TRUE;
}

// Writes count under name in form (REG_SZ as decimal text with its NUL,
// otherwise four bytes).
static void WriteCount(HKEY key, const char *name, long count, DWORD form)
{
    char text[NVR_NUMBER_SIZE];
    const BYTE *data = (const BYTE *)&count;
    DWORD size = sizeof(DWORD);

    if (form == REG_SZ) {
        size = (DWORD)wsprintfA(text, "%ld", count) + 1;
        data = (const BYTE *)text;
    }
    RegSetValueExA(key, name, 0, form, data, size);
}

int IncrementSharedCount(const char *path)
{
    HKEY key;
    long count;
    DWORD form;

    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, NVR_SHARED_DLLS_KEY, 0, NULL, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 0;
    ReadCount(key, path, 0, &count, &form);
    if (count < 0)
        count = 0;
    if (count == 0 && FileExists(path))
        count = 1;
    // A count at the top of the range stays there instead of wrapping to a
    // negative number, which the next raise would take for "no count".
    if (count < MAXLONG)
        count++;
    WriteCount(key, path, count, form);
    RegCloseKey(key);
    return 1;
}

int DecrementSharedCount(const char *path)
{
    HKEY key;
    long count;
    DWORD form;
    int deleted = 0;

    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, NVR_SHARED_DLLS_KEY, 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &key) != ERROR_SUCCESS)
        return 0;
    if (ReadCount(key, path, 2, &count, &form)) {
        if (count == 1)
            deleted = RegDeleteValueA(key, path) == ERROR_SUCCESS;
        else
            WriteCount(key, path, (long)((DWORD)count - 1), form);
    }
    RegCloseKey(key);
    return deleted;
}

// ---- COM servers and type libraries ---------------------------------------

// What every operation on a foreign DLL or type library changes for its
// duration: the cursor and the error mode.
struct LoadFrame {
    HCURSOR cursor;
    UINT errorMode;
};

static void EnterLoadFrame(LoadFrame *frame)
{
    frame->cursor = SetCursor(LoadCursorA(NULL, IDC_WAIT));
    frame->errorMode = SetErrorMode(NVR_LOAD_ERROR_MODE);
}

static void LeaveLoadFrame(const LoadFrame *frame)
{
    SetErrorMode(frame->errorMode);
    SetCursor(frame->cursor);
}

typedef HRESULT(STDAPICALLTYPE *ServerEntry)(void);

// Loads path and calls its export name without arguments. Returns TRUE when it
// was called, with its result in *result.
static BOOL CallServerEntry(const char *path, const char *name, HRESULT *result)
{
    LoadFrame frame;
    BOOL called = FALSE;
    HMODULE module;

    EnterLoadFrame(&frame);
    module = LoadLibraryA(path);
    if (module) {
        ServerEntry entry = (ServerEntry)(void (*)(void))GetProcAddress(module, name);
        if (entry) {
            *result = entry();
            called = TRUE;
        }
        FreeLibrary(module);
    }
    LeaveLoadFrame(&frame);
    return called;
}

int RegisterComServer(const char *path)
{
    HRESULT result;
    if (CallServerEntry(path, "DllRegisterServer", &result))
        return 1;
    ShowRegisterError(path);
    return 0;
}

int UnregisterComServer(const char *path)
{
    HRESULT result;
    return CallServerEntry(path, "DllUnregisterServer", &result) && SUCCEEDED(result);
}

// ANSI text -> UTF-16 in wide (NVR_PATH_SIZE characters), cut at that bound.
static void ToWide(WCHAR *wide, const char *text)
{
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, NVR_PATH_SIZE);
    wide[NVR_PATH_SIZE - 1] = 0;
}

// Folder of the help file that help names, as UTF-16 in folder (NVR_PATH_SIZE
// characters); NULL when help names none. The folder goes to a buffer of its
// own: the string the library returned may be shorter than the folder after
// the toolkit's normalisation.
static const WCHAR *HelpFolder(BSTR help, WCHAR *folder)
{
    char ansi[NVR_PATH_SIZE];

    if (help == NULL || help[0] == 0)
        return NULL;
    ansi[0] = '\0';
    WideCharToMultiByte(CP_ACP, 0, help, -1, ansi, NVR_PATH_SIZE, NULL, NULL);
    ansi[NVR_PATH_SIZE - 1] = '\0';
    ToWide(folder, PathFolder(ansi));
    return folder;
}

int RegisterTypeLibraryFile(const char *path)
{
    WCHAR wide[NVR_PATH_SIZE];
    WCHAR folder[NVR_PATH_SIZE];
    ITypeLib *library;
    BSTR help = NULL;
    LoadFrame frame;
    HRESULT hr;

    EnterLoadFrame(&frame);
    ToWide(wide, path);
    hr = LoadTypeLib(wide, &library);
    if (SUCCEEDED(hr)) {
        hr = library->GetDocumentation(-1, NULL, NULL, NULL, &help);
        if (SUCCEEDED(hr)) {
            hr = RegisterTypeLib(library, wide, (WCHAR *)HelpFolder(help, folder));
            SysFreeString(help);
        }
        library->Release();
    }
    LeaveLoadFrame(&frame);
    if (SUCCEEDED(hr))
        return 1;
    ShowRegisterError(path);
    return 0;
}

int UnregisterTypeLibraryFile(const char *path)
{
    WCHAR wide[NVR_PATH_SIZE];
    ITypeLib *library;
    TLIBATTR *attributes;
    LoadFrame frame;
    HRESULT hr;

    EnterLoadFrame(&frame);
    ToWide(wide, path);
    hr = LoadTypeLib(wide, &library);
    if (SUCCEEDED(hr)) {
        hr = library->GetLibAttr(&attributes);
        if (SUCCEEDED(hr)) {
            hr = UnRegisterTypeLib(attributes->guid, attributes->wMajorVerNum,
                                   attributes->wMinorVerNum, attributes->lcid, attributes->syskind);
            library->ReleaseTLibAttr(attributes);
        }
        library->Release();
    }
    LeaveLoadFrame(&frame);
    return SUCCEEDED(hr);
}

void ShowRegisterError(const char *path)
{
    if (!g_abortFlag)
        ShowCatalogMessage(g_currentPage, MsgRegisterFailed, MB_ICONWARNING, path, NULL);
}

// ---- deferral and the post-restart pass --------------------------------------

static BOOL Defer(const char *section, int *counter, const char *path)
{
    char key[NVR_NUMBER_SIZE];
    wsprintfA(key, "%d", ++*counter);
    return ProfileWriteString(section, key, path, g_endInstallPath);
}

BOOL DeferComServer(const char *path)
{
    return Defer(NVR_DEFER_SERVERS, &s_deferredServers, path);
}

BOOL DeferTypeLibrary(const char *path)
{
    return Defer(NVR_DEFER_TYPELIBS, &s_deferredTypeLibraries, path);
}

// Calls operation for keys 1, 2, ... of section up to the first missing key.
static void RunDeferredList(const char *file, const char *section,
                            int (*operation)(const char *path))
{
    char key[NVR_NUMBER_SIZE];
    char path[NVR_PATH_SIZE];

    for (int n = 1;; n++) {
        wsprintfA(key, "%d", n);
        if (!ProfileReadString(section, key, NULL, path, NVR_PATH_SIZE, file))
            return;
        operation(path);
    }
}

void RunDeferredRegistrations(const char *file)
{
    RunDeferredList(file, NVR_DEFER_SERVERS, RegisterComServer);
    RunDeferredList(file, NVR_DEFER_TYPELIBS, RegisterTypeLibraryFile);
}

INT_PTR CALLBACK PostRestartRegistration(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        g_currentPage = dialog;
        SetDlgItemTextA(dialog, NVR_FINISHING_TEXT, CatalogText(TextFinishing));
        SetTimer(dialog, NVR_FINISHING_TIMER, NVR_FINISHING_DELAY, NULL);
    } else if (message == WM_TIMER && wParam == NVR_FINISHING_TIMER) {
        KillTimer(dialog, NVR_FINISHING_TIMER);
        RunDeferredRegistrations(g_endInstallPath);
        EndDialog(dialog, 0);
    }
    return 0;
}
