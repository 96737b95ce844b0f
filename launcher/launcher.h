// launcher.h -- the process entry's run modes and the process-wide state they
// set: bootstrap (copy the module out of the package and relaunch it), install
// run, and the two runs after a restart.
//
// The state below is written by the main thread before any other thread
// exists (unless noted) and only read afterwards; there are no locks.
#ifndef NVR_LAUNCHER_LAUNCHER_H
#define NVR_LAUNCHER_LAUNCHER_H

#include <windows.h>
#include "setupinfo/toolkit.h"

struct PackageReader;

#define NVR_CAPTION_SIZE 340          // caption: "Installation of " + 259-char Title fits
#define NVR_DEFAULT_CAPTION "Nuvar installer"
#define NVR_MAIN_CLASS "IFBG"         // main window class; with the caption, the
                                      // identity of a running installation

extern HINSTANCE g_instance;          // module handle given to the entry point
extern int g_languageFlag;            // 0 Korean, other English; 1 until an information file is read
extern char g_caption[NVR_CAPTION_SIZE];  // caption of every window and message box
extern char g_title[NVR_PATH_SIZE];   // [General] Title of the information file
extern char g_packagePath[NVR_PATH_SIZE]; // first volume of the package
extern char g_endInstallPath[NVR_PATH_SIZE]; // post-restart runs: the argument
extern PackageReader *g_reader;       // the install run's one open reader
extern HWND g_mainWindow;             // window of class "IFBG"
extern HWND g_currentPage;            // dialog now shown; owns every message box
extern int g_uiReady;                 // 1 once the message loop is about to run
extern int g_restartFlag;             // user accepted the restart question
extern int g_postRestartFlag;         // 1 in the post-restart completion run

// Runs the process in the mode chosen by the first two characters of args
// (the command-line text after the program name and the blanks after it).
// Returns the exit code: 0, or -1 when start-up failed.
int RunModule(HINSTANCE instance, const char *args);

// Returns the text after the program name and the blanks that follow it in a
// full command line, as WinMain would receive it.
const char *SkipProgramName(const char *commandLine);

#endif
