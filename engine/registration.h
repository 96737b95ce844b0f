// registration.h -- SharedDLLs usage counts, COM self-registration of DLLs and
// type-library registration, their opposites (used by the rollback), their
// deferral to after a restart, and the post-restart registration dialog.
//
// Counts fail silently; a registration that fails shows MsgRegisterFailed
// (never while the abort flag is set); unregistering never shows anything.
// Every foreign DLL or type library is touched under the wait cursor with the
// platform's critical-error and file-not-found boxes switched off.
#ifndef NVR_ENGINE_REGISTRATION_H
#define NVR_ENGINE_REGISTRATION_H

#include <windows.h>
#include "resources/resource.h"

#define NVR_SHARED_DLLS_KEY "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs"
#define NVR_DEFER_SERVERS   "RegisterServer"       // End-install section: DLLs to register
#define NVR_DEFER_TYPELIBS  "RegisterTypeLibrary"  // End-install section: type libraries

#define NVR_FINISHING_DIALOG IDD_FINISHING        // dialog resource run by PostRestartRegistration
#define NVR_FINISHING_TEXT   IDC_FINISHING_TEXT   // its text item

// Raises the SharedDLLs count of path (value name = path), keeping the form
// the value is stored in (REG_SZ text, REG_BINARY, REG_DWORD; anything else
// becomes REG_DWORD). A missing or non-positive count starts from 1 when the
// file exists. Returns 1, or 0 when the key cannot be created or opened.
int IncrementSharedCount(const char *path);

// Lowers the SharedDLLs count of path in its stored form; a count of exactly
// 1 deletes the value, a missing value is left alone. Returns 1 when the value
// was deleted, else 0.
int DecrementSharedCount(const char *path);

// Loads path and calls its DllRegisterServer. Returns 1 when the export was
// called (whatever it returned); 0 after a failed load or a missing export,
// with MsgRegisterFailed shown.
int RegisterComServer(const char *path);

// Registers the type library in path, with the folder of its own help file
// as help directory (none when it names no help file). Returns 1 on success,
// 0 with MsgRegisterFailed shown when loading, documenting or registering it
// fails.
int RegisterTypeLibraryFile(const char *path);

// Calls DllUnregisterServer of path. Returns 1 when the export was found and
// returned a success code, else 0. No message.
int UnregisterComServer(const char *path);

// Unregisters the type library in path by the identifier, version, locale and
// system kind it declares. Returns 1 when every step succeeded. No message.
int UnregisterTypeLibraryFile(const char *path);

// Lists path under the next number ("1", "2", ...) of [RegisterServer] or
// [RegisterTypeLibrary] of the End-install information file (g_endInstallPath);
// each section has its own counter for the life of the process. Returns the
// profile write's result.
BOOL DeferComServer(const char *path);
BOOL DeferTypeLibrary(const char *path);

// Unless the abort flag is set, shows MsgRegisterFailed with path (warning,
// the caption as title, the current page as owner).
void ShowRegisterError(const char *path);

// Registers what file defers: keys 1, 2, ... of [RegisterServer] with
// RegisterComServer up to the first missing key, then the same over
// [RegisterTypeLibrary] with RegisterTypeLibraryFile. Failures are reported one
// by one and the pass goes on.
void RunDeferredRegistrations(const char *file);

// Procedure of dialog NVR_FINISHING_DIALOG: becomes the current page, shows
// TextFinishing, and one second later runs RunDeferredRegistrations over
// g_endInstallPath and ends the dialog with 0. Returns 0 for every message.
INT_PTR CALLBACK PostRestartRegistration(HWND dialog, UINT message, WPARAM wParam,
                                         LPARAM lParam);

#endif
