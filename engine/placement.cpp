// placement.cpp -- file placement: extracts the reader's current entry into
// its target through the transfer buffer and gives it the entry's time; a
// target in use goes to a "_if" file beside it that replaces it at the next
// restart; describes files and entries (size, local time, version) for the
// replace decisions.
//
// Must not: create folders, show a message before the UI is ready or while
// the abort flag is set, leave a handle open or a partly written file behind,
// or touch an existing target before the new data has passed its CRC check
// (it is written beside the target and moved over it only then).
#include "engine/placement.h"

#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "launcher/services.h"
#include "package/format.h"
#include "package/reader.h"
#include "setupinfo/journal.h"
#include "setupinfo/profile.h"
#include "setupinfo/toolkit.h"
#include "ui/catalog.h"
#include "ui/mainwindow.h"
#include "ui/uicodes.h"

#define NVR_LOAD_ERROR_MODE (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)
#define NVR_RESTART_MOVE    (MOVEFILE_REPLACE_EXISTING | MOVEFILE_DELAY_UNTIL_REBOOT)
#define NVR_RENAME_FILE     "WININIT.INI"    // bare name: the platform puts it in the Windows folder
#define NVR_RENAME_SECTION  "Rename"
#define NVR_RESULT_MAX      0x7FFFFFFFu      // PlaceFile's byte count saturates here

int g_placementFaults;

// Which file PlaceFile writes into.
enum PlaceRoad {
    RoadNone,       // the target could not be opened: nothing is written
    RoadFresh,      // a new target, written directly
    RoadExisting,   // an existing writable target: "_if" file, moved over it when verified
    RoadInUse       // a target in use or write-protected: "_if" file, replaced at restart
};

// How an extraction ended; chooses the message.
enum PlaceFault { PlaceOk, PlaceArchiveFault, PlaceWriteFault };

static HANDLE OpenForWriting(const char *path, DWORD disposition)
{
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, NULL, disposition,
                       FILE_ATTRIBUTE_NORMAL, NULL);
}

// Makes a fresh "_if" file in the target's folder, its path in temp
// (NVR_PATH_SIZE), and opens it. On failure the name made (if any) is removed
// and INVALID_HANDLE_VALUE returned: nothing is written to a handle that
// failed.
static HANDLE OpenTempBeside(const char *target, char *temp)
{
    HANDLE file = INVALID_HANDLE_VALUE;

    if (!(g_placementFaults & NVR_PLACE_NO_TEMP) &&
        GetTempFileNameA(PathFolder(target), NVR_TEMP_PREFIX, 0, temp)) {
        file = OpenForWriting(temp, CREATE_ALWAYS);
        if (file == INVALID_HANDLE_VALUE)
            DeleteFileA(temp);
    }
    return file;
}

// Streams the current entry into file, one progress notice per chunk, and
// gives the file the entry's time once the data and CRC-32 are verified.
static PlaceFault ExtractEntry(HANDLE file, DWORD *written)
{
    FileInfo entry;
    FILETIME utc;
    int n;

    if (BeginEntry(g_reader) != 0)
        return PlaceArchiveFault;
    while ((n = ReadEntry(g_reader, g_transferBuffer, NVR_IO_CHUNK)) > 0) {
        if (!WriteExact(file, g_transferBuffer, (DWORD)n)) {
            EndEntry(g_reader);
            return PlaceWriteFault;
        }
        *written += (DWORD)n;
        if (!g_abortFlag && g_currentPage != NULL)
            SendMessageA(g_currentPage, WM_USER, CodeAddBytes, (LPARAM)n);
    }
    if (EndEntry(g_reader) != 0 || n < 0)
        return PlaceArchiveFault;
    if (DescribeCurrentEntry(&entry) && (entry.time.dwLowDateTime | entry.time.dwHighDateTime) &&
        LocalFileTimeToFileTime(&entry.time, &utc))
        SetFileTime(file, NULL, NULL, &utc);
    return PlaceOk;
}

static BOOL ShortPath(const char *path, char *out)
{
    DWORD n = GetShortPathNameA(path, out, NVR_PATH_SIZE);
    return n != 0 && n < NVR_PATH_SIZE;
}

// Arranges for temp to replace target at the next restart: a [Rename] line on
// Windows 9x, a pending rename on NT. Sets g_restartNeeded when scheduled.
static void ScheduleReplacement(const char *target, const char *temp)
{
    char shortTarget[NVR_PATH_SIZE];
    char shortTemp[NVR_PATH_SIZE];

    if (!IsWindowsNT()) {
        if (ShortPath(target, shortTarget) && ShortPath(temp, shortTemp) &&
            ProfileWriteString(NVR_RENAME_SECTION, shortTarget, shortTemp, NVR_RENAME_FILE))
            g_restartNeeded = 1;
    } else if (!(g_placementFaults & NVR_PLACE_NO_ADMIN) && HasAdminRights()) {
        if (MoveFileExA(temp, target, NVR_RESTART_MOVE))
            g_restartNeeded = 1;
    } else if (g_uiReady && !g_abortFlag) {
        ShowCatalogMessage(g_currentPage, MsgNoAdminRights, MB_ICONWARNING, target, NULL);
    }
}

// Moves the verified temporary file over the existing target (Windows 9x has
// no MoveFileExA: delete, then rename).
static BOOL ReplaceNow(const char *temp, const char *target)
{
    if (IsWindowsNT())
        return MoveFileExA(temp, target, MOVEFILE_REPLACE_EXISTING);
    return DeleteFileA(target) && MoveFileA(temp, target);
}

int PlaceFile(const char *target)
{
    char temp[NVR_PATH_SIZE];       // "_if" file beside the target (other roads)
    const char *made = target;      // what this call created: deleted on failure
    PlaceRoad road = RoadFresh;
    PlaceFault fault = PlaceWriteFault;
    DWORD written = 0;
    HANDLE file = OpenForWriting(target, OPEN_ALWAYS);   // never truncates
    DWORD error = GetLastError();

    if (file == INVALID_HANDLE_VALUE) {
        road = (error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION) ? RoadInUse
                                                                                  : RoadNone;
    } else if (error == ERROR_ALREADY_EXISTS) {
        CloseHandle(file);
        file = INVALID_HANDLE_VALUE;
        road = RoadExisting;
    }
    if (road == RoadInUse || road == RoadExisting) {
        file = OpenTempBeside(target, temp);
        made = temp;
        if (file != INVALID_HANDLE_VALUE && road == RoadInUse)
            RecordInstalled(NVR_JOURNAL_SOURCES, NULL, temp);   // rollback removes it
    }
    if (file != INVALID_HANDLE_VALUE) {
        fault = ExtractEntry(file, &written);
        CloseHandle(file);
        if (fault == PlaceOk && road == RoadExisting && !ReplaceNow(temp, target))
            fault = PlaceWriteFault;
        if (fault != PlaceOk)
            DeleteFileA(made);
        else if (road == RoadInUse)
            ScheduleReplacement(target, temp);   // only once the data is verified
    }
    if (fault == PlaceOk)
        return (int)(written > NVR_RESULT_MAX ? NVR_RESULT_MAX : written);
    if (g_uiReady) {
        if (fault == PlaceArchiveFault)
            ShowArchiveError();
        else
            ShowInstallError(target);
    }
    return -1;
}

int DescribeExistingFile(FileInfo *info)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(info->name, &found);

    if (find == INVALID_HANDLE_VALUE)
        return 0;
    FindClose(find);
    info->size = found.nFileSizeLow;
    FileTimeToLocalFileTime(&found.ftLastWriteTime, &info->time);
    GetFileVersionPair(info->name, &info->versionHigh, &info->versionLow);
    return 1;
}

int DescribeCurrentEntry(FileInfo *info)
{
    EntryInfo entry;

    if (GetEntryInfo(g_reader, &entry) != 0)
        return 0;
    info->name = entry.name;
    info->size = entry.uncompressed;
    if (!DosDateTimeToFileTime(HIWORD(entry.modTime), LOWORD(entry.modTime), &info->time))
        FillBytes(&info->time, 0, sizeof info->time);   // no valid FAT time: zero
    info->versionHigh = entry.versionHigh;
    info->versionLow = entry.versionLow;
    return 1;
}

int IsCurrentEntryNamed(const char *name)
{
    FileInfo entry;

    return DescribeCurrentEntry(&entry) && lstrcmpiA(entry.name, name) == 0;
}

int GetFileVersionPair(const char *path, DWORD *high, DWORD *low)
{
    VS_FIXEDFILEINFO *fixed;
    UINT length;
    DWORD unused;
    void *block = NULL;
    int found = 0;
    UINT mode = SetErrorMode(NVR_LOAD_ERROR_MODE);
    DWORD size = GetFileVersionInfoSizeA(path, &unused);

    SetErrorMode(mode);
    *high = *low = NVR_NO_VERSION;
    if (size != 0)
        block = HeapAlloc(GetProcessHeap(), 0, size);
    if (block != NULL) {
        if (GetFileVersionInfoA(path, 0, size, block) &&
            VerQueryValueA(block, "\\", (void **)&fixed, &length) && length >= sizeof *fixed) {
            *high = fixed->dwFileVersionMS;
            *low = fixed->dwFileVersionLS;
            found = 1;
        }
        HeapFree(GetProcessHeap(), 0, block);
    }
    return found;
}

// The halves are compared as unsigned numbers and only the sign is returned,
// so that a difference of 2^31 or more cannot wrap into the wrong sign.
LONG CompareVersions(DWORD aHigh, DWORD aLow, DWORD bHigh, DWORD bLow)
{
    if (aHigh == NVR_NO_VERSION || aLow == NVR_NO_VERSION || bHigh == NVR_NO_VERSION ||
        bLow == NVR_NO_VERSION)
        return 0;
    if (aHigh != bHigh)
        return aHigh > bHigh ? 1 : -1;
    return aLow > bLow ? 1 : (aLow < bLow ? -1 : 0);
}

int IsPackageFileNewer(const FileInfo *package, const FileInfo *existing)
{
    LONG order = CompareVersions(package->versionHigh, package->versionLow,
                                 existing->versionHigh, existing->versionLow);

    return order > 0 || (order == 0 && CompareFileTime(&package->time, &existing->time) > 0);
}

void ShowArchiveError(void)
{
    if (!g_abortFlag)
        ShowCatalogMessage(g_currentPage, MsgArchiveCorrupt, MB_ICONERROR, NULL, NULL);
}

void ShowInstallError(const char *target)
{
    if (!g_abortFlag)
        ShowCatalogMessage(g_currentPage, MsgInstallFileFailed, MB_ICONERROR, target, NULL);
}
