// engine.h -- state and types the installation engine shares between the
// install worker, file placement, registration, finishing and rollback.
//
// Plain integers without locks: written by the worker thread while it runs,
// read by other threads only after it has reported its end.
#ifndef NVR_ENGINE_ENGINE_H
#define NVR_ENGINE_ENGINE_H

#include <windows.h>

// A file on disk or a package entry, as the replace decisions see it.
struct FileInfo {
    const char *name;     // path on disk, or the entry name (or DLL target) in the package
    DWORD size;           // low 32 bits of the size, or the uncompressed length
    FILETIME time;        // last-write time, local time
    DWORD versionHigh;    // major << 16 | minor; 0xFFFFFFFF: no version
    DWORD versionLow;     // build << 16 | revision; 0xFFFFFFFF: no version
};

// What the replace-file query is asked about.
struct ReplaceQuery {
    int passKind;           // 0 source pass, 1 DLL pass (which policy "No more query." sets)
    FileInfo *packageFile;  // the entry (in the DLL pass named by its expanded target)
    FileInfo *existingFile; // the file on disk
};

extern int g_restartNeeded;      // 1 once a replacement at restart was scheduled
extern int g_sourcePolicy;       // 0 ask, 1 replace all, -1 keep all (source pass)
extern int g_dllPolicy;          // the same for DLL lines with replace mode 0
extern DWORD g_bytesDone;        // bytes reported to the progress page

#endif
