// volumeprompt.h -- the volume-change prompt: the package reader's volume
// callback, which makes sure the next volume file is there before the reader
// opens it, asking the user to insert a disk or find the file.
//
// It only asks and waits; it never opens a volume itself. Cancel is the one
// way it gives up: the abort flag is set and the read fails.
#ifndef NVR_UI_VOLUMEPROMPT_H
#define NVR_UI_VOLUMEPROMPT_H

#include <windows.h>

// Volume callback (install with SetVolumeCallback). volume: index k >= 1 of
// the volume file, named like the open reader's first volume with extension
// ".%03d" of k. Returns 0 when the file exists (at once, or after the user
// inserted the disk and chose Retry), -1 after Cancel (g_abortFlag is then 1).
// Boxes are owned by g_currentPage and titled with the caption.
int VolumePrompt(int volume);

// Steps 2 to 5 of VolumePrompt for a volume path already built. Same results.
int VolumePromptForPath(const char *volumePath);

// Seam for tests: the drive-type query made on the volume's root with a
// trailing backslash. NULL (GetDriveTypeA) unless a test sets it: Wine reports
// a drive as removable only after a registry change and a wineserver restart.
typedef UINT (WINAPI *DriveTypeQuery)(LPCSTR root);
extern DriveTypeQuery g_volumeDriveType;

#endif
