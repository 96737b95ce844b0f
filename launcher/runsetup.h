// runsetup.h -- the install run's folders, its four temporary names, the open
// source-file list and the transfer buffer: made by SetUpRun before the
// package is opened, released by CleanUpRun after the message loop.
//
// Folders carry no trailing backslash unless they are a drive root. Written by
// the main thread in SetUpRun only; read by every thread afterwards.
#ifndef NVR_LAUNCHER_RUNSETUP_H
#define NVR_LAUNCHER_RUNSETUP_H

#include <windows.h>
#include "setupinfo/toolkit.h"

#define NVR_TEMP_PREFIX "_if"     // prefix of the run's four temporary names
#define NVR_TEMP_NAME_COUNT 4     // information file, journal, source list, End-install

extern char g_packageFolder[NVR_PATH_SIZE];   // PathFolder of the package path
extern char g_packageDrive[NVR_PATH_SIZE];    // PathRoot of the package folder
extern char g_windowsFolder[NVR_PATH_SIZE];   // GetWindowsDirectoryA
extern char g_windowsDrive[NVR_PATH_SIZE];    // PathRoot of the Windows folder
extern char g_systemFolder[NVR_PATH_SIZE];    // GetSystemDirectoryA
extern char g_programFiles[NVR_PATH_SIZE];    // "ProgramFilesDir" or <WinDrive>\Program Files
extern char g_commonFiles[NVR_PATH_SIZE];     // "CommonFilesDir" or <ProgramFiles>\Common Files
extern char g_tempFolder[NVR_PATH_SIZE];      // TEMP, TMP or the Windows folder
extern char g_infoFile[NVR_PATH_SIZE];        // temporary name 1: the install information file
extern char g_journalFile[NVR_PATH_SIZE];     // temporary name 2: the journal's INI file
extern char g_sourceListFile[NVR_PATH_SIZE];  // temporary name 3: the source-file list
extern HANDLE g_sourceList;                   // open handle of name 3; NULL before SetUpRun,
                                              // INVALID_HANDLE_VALUE after CleanUpRun
// Temporary name 4, the End-install information path, is g_endInstallPath (launcher.h).
extern BYTE *g_transferBuffer;                // NVR_IO_CHUNK bytes while the run lives, else NULL

// Test-only fault seam: when set to k (1 to NVR_TEMP_NAME_COUNT), SetUpRun
// fails to make temporary name k as if GetTempFileNameA had returned 0.
// The module never sets it; it stays 0.
extern int g_failTempName;

// Finds the folders, makes the four temporary names, opens the source-file
// list and allocates the transfer buffer. Needs g_packagePath. Returns 1, or 0
// after a failure it has reported with MsgCantInitialize (whatever it created
// in the temporary folder is removed again).
int SetUpRun(void);

// Frees the transfer buffer and removes temporary names 1 to 3 (the journal is
// flushed first). The End-install information file is left alone.
void CleanUpRun(void);

#endif
