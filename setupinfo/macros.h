// macros.h -- path macros: brace words in install information paths (such as
// "{WinSysDir}") replaced by this machine's folders, and the "{{}" / "{}}"
// escapes for literal braces.
//
// Both operations change a NVR_PATH_SIZE buffer in place, cut the result at
// 259 characters and keep no state. Matching is exact and case-sensitive; a
// brace word that is no macro stays in the path.
#ifndef NVR_SETUPINFO_MACROS_H
#define NVR_SETUPINFO_MACROS_H

#include <windows.h>
#include "setupinfo/toolkit.h"

// Values of "{InstallDir}" and "{InstallDrive}" (PathRoot of the install
// folder). Set by the folder page when it accepts a folder; empty before.
extern char g_installFolder[NVR_PATH_SIZE];
extern char g_installDrive[NVR_PATH_SIZE];

// Replaces every occurrence of macro in path (NVR_PATH_SIZE buffer) by value.
// Inserted text is not searched again. When value ends in a backslash (trailing
// blanks ignored) and a backslash follows the macro, that one is dropped, so a
// drive root as value does not double the separator. TRUE when macro occurred.
BOOL ReplaceMacro(char *path, const char *macro, const char *value);

// Applies the folder macros ({WinDrive}, {WinDir}, {WinSysDir}, {ProgramFiles},
// {CommonFiles}, {InstallDrive}, {InstallDir}, {InstallFileDrive},
// {InstallFileDir}, {TempDir}, in this order) and then the escapes to path
// (NVR_PATH_SIZE buffer). TRUE when any folder macro occurred; a blank path is
// left alone and gives FALSE. The folders come from SetUpRun and the globals
// above.
BOOL ExpandPathMacros(char *path);

#endif
