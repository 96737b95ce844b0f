// placement.h -- file placement: writes the current package entry to its
// target (or, for a target in use, beside it for replacement at the next
// restart), and describes files and entries for the replace decisions.
//
// Runs on the worker thread during an installation, and on the main thread
// in the launcher before any window exists (PlaceFile of the information
// file). Messages only when g_uiReady is set and g_abortFlag is clear.
#ifndef NVR_ENGINE_PLACEMENT_H
#define NVR_ENGINE_PLACEMENT_H

#include <windows.h>
#include "engine/engine.h"

// Extracts the reader's current entry (data not yet begun) into target, whose
// folder must exist, and gives it the entry's time. Returns the bytes
// written (saturating at 0x7FFFFFFF), or -1 after a failure it has reported
// (when g_uiReady is set); a partly written file is deleted. An existing
// target is written as a "_if" file beside it and replaced only after the
// CRC check, so a failure leaves it as it was. A target in use or
// write-protected (access denied, sharing violation) stays as it is: the
// "_if" file is recorded in the journal and, once complete, scheduled to
// replace it at the next restart (g_restartNeeded = 1).
int PlaceFile(const char *target);

// Test-only fault seam for what Wine cannot produce on demand; the module
// never sets it, it stays 0. Bit NVR_PLACE_NO_ADMIN: PlaceFile acts on NT as
// without administrator rights (MsgNoAdminRights, nothing scheduled). Bit
// NVR_PLACE_NO_TEMP: no "_if" file can be made beside a target, as if
// GetTempFileNameA had returned 0.
#define NVR_PLACE_NO_ADMIN 1
#define NVR_PLACE_NO_TEMP  2
extern int g_placementFaults;

// Fills size, local time and version of the file or folder info->name. 1 when
// it exists, else 0 (fields unchanged).
int DescribeExistingFile(FileInfo *info);

// Fills info from the reader's current entry. 1, or 0 when the reader fails.
int DescribeCurrentEntry(FileInfo *info);

// 1 when the current entry can be described and its name equals name,
// ignoring case.
int IsCurrentEntryNamed(const char *name);

// The fixed file version of path. 1 when found, else 0 with both halves
// NVR_NO_VERSION.
int GetFileVersionPair(const char *path, DWORD *high, DWORD *low);

// Sign tells which pair is newer: positive a, negative b; 0 when equal or
// when any half is NVR_NO_VERSION. Each half is compared as one unsigned
// number (1.2 is older than 1.10); the result is -1, 0 or 1.
LONG CompareVersions(DWORD aHigh, DWORD aLow, DWORD bHigh, DWORD bLow);

// The package's file is newer than the existing one: a higher version, or the
// same version and a later time.
int IsPackageFileNewer(const FileInfo *package, const FileInfo *existing);

// MsgArchiveCorrupt / MsgInstallFileFailed(target), unless aborted.
void ShowArchiveError(void);
void ShowInstallError(const char *target);

#endif
