// worker.cpp -- the install worker thread: the source pass over the "Src"
// entries, then the DLL pass over the [DLLFiles] lines of the install
// information file; replace decisions, folder creation, journal items, shared
// counts and registrations. Extraction itself is file placement's business;
// this file shows no message box of its own and never deletes a file.
//
// Runs on its own thread and talks to the current page only with SendMessageA,
// so the page has handled each notice before the worker goes on.
#include "engine/worker.h"
#include "engine/placement.h"
#include "engine/registration.h"
#include "launcher/launcher.h"
#include "launcher/runsetup.h"
#include "package/format.h"
#include "package/reader.h"
#include "setupinfo/journal.h"
#include "setupinfo/macros.h"
#include "setupinfo/profile.h"
#include "ui/mainwindow.h"
#include "ui/replacequery.h"
#include "ui/uicodes.h"

#define NVR_DLL_LINE_SIZE    (NVR_INFO_DLL_LINE_MAX + 1)   // one [DLLFiles] value
#define NVR_DLL_KEY_SIZE     16                            // "DLL" and a decimal number
#define NVR_DLL_RECORD_SIZE  (NVR_PATH_SIZE + 5 * 12)      // path and five signed numbers
#define NVR_DLL_RECORD_FORMAT "%s,%d,%d,%d,%d,%d"
#define NVR_REPLACED_MARK    "*"                           // SourceFile item of a replaced file
#define NVR_NO_ENTRY_LEFT    (-2)                          // NextEntry at the end of the package

enum { PassSource = 0, PassDll = 1 };
enum { ModeAsk = 0, ModeIfNewer = 1, ModeAlways = 2 };

int g_restartNeeded;
int g_sourcePolicy;
int g_dllPolicy;
DWORD g_bytesDone;
HANDLE g_workerThread;

// NULL: the replace-file query dialog. Tests answer through this seam. (Left
// zero-initialised: an initialised pointer would cost the module a .data
// section of its own.)
ReplaceAsker g_askReplace;

// Sends a notice to the current page, unless the abort flag is set.
static void Notify(UINT code, LPARAM value)
{
    if (!g_abortFlag)
        SendMessageA(g_currentPage, WM_USER, code, value);
}

// The folder of the last file placed in this pass (it exists), and whether
// this run made it. Packages list their files folder by folder, so most files
// go to the folder of the one before: its folders need no second walk, and a
// folder the run has just made holds no file of the product yet, so nothing
// can be there to replace. (The walk and the existence test each cost a
// directory lookup per file.)
static char s_placedFolder[NVR_PATH_SIZE];
static int s_placedFolderIsNew;

// Creates the missing folders along folder, root first, and records each one
// that was made as a Folder item (parents before children). Nonzero when any
// was made: then folder itself is new.
static int CreateMissingFolders(const char *folder)
{
    int made = 0;
    for (const char *path = CreateNextMissingFolder(folder); path;
         path = CreateNextMissingFolder(NULL), made = 1)
        RecordInstalled(NVR_JOURNAL_FOLDER, NULL, path);
    return made;
}

// Creates the target's folders and extracts the current entry into target.
// 1, or 0 after a failure file placement has reported.
static int PlaceTarget(const char *target)
{
    const char *folder = PathFolder(target);
    if (lstrcmpA(folder, s_placedFolder) != 0) {
        s_placedFolderIsNew = CreateMissingFolders(folder);
        CopyBounded(NVR_PATH_SIZE, s_placedFolder, folder);
    }
    return PlaceFile(target) >= 0;
}

// True when target cannot exist yet: it goes to a folder this run has made.
static int InFreshFolder(const char *target)
{
    return s_placedFolderIsNew && lstrcmpA(PathFolder(target), s_placedFolder) == 0;
}

// Asks whether the existing file is to be replaced by the package's file.
// Nonzero: replace.
static int AskReplace(int pass, FileInfo *package, FileInfo *existing)
{
    ReplaceQuery query;
    query.passKind = pass;
    query.packageFile = package;
    query.existingFile = existing;
    return (g_askReplace != NULL ? g_askReplace : RunReplaceQuery)(&query);
}

// The answer of a replace policy (0 ask, 1 replace, other keep) for an
// existing file: 1 replace, 0 keep. Asks the user under policy 0.
static int DecideByPolicy(int policy, int pass, FileInfo *package, FileInfo *existing)
{
    if (policy == 1)
        return 1;
    if (policy != 0 || g_abortFlag)
        return 0;
    return AskReplace(pass, package, existing) != 0;
}

// Handles the current source entry (described in entry). 1 to go on, 0 after
// a failure, -1 when the abort flag ended the pass.
static int InstallSourceEntry(FileInfo *entry)
{
    char target[NVR_PATH_SIZE];
    FileInfo existing;
    // The relative path starts after "Src\"; a name of just "Src" has none.
    const char *relative = entry->name[3] ? entry->name + 4 : entry->name + 3;
    if (IsBlank(relative))
        return 1;
    TrimRight(CopyBounded(NVR_PATH_SIZE, target, JoinPath(g_installFolder, relative)));
    if (target[lstrlenA(target) - 1] == '\\') {
        CreateMissingFolders(PathFolder(target));
        return 1;
    }
    Notify(CodeShowPath, (LPARAM)relative);
    existing.name = target;
    int replaced = !InFreshFolder(target) && DescribeExistingFile(&existing);
    if (replaced && !DecideByPolicy(g_sourcePolicy, PassSource, entry, &existing)) {
        if (g_abortFlag)
            return -1;
        Notify(CodeAddBytes, entry->size);
        return 1;
    }
    if (!PlaceTarget(target))
        return 0;
    if (replaced)
        AppendBounded(NVR_PATH_SIZE, target, NVR_REPLACED_MARK);
    RecordInstalled(NVR_JOURNAL_SOURCES, NULL, target);
    return 1;
}

// A source entry's name starts with exactly "Src" (case-sensitive).
static int IsSourceEntry(const char *name)
{
    return name[0] == 'S' && name[1] == 'r' && name[2] == 'c';
}

int InstallSourceFiles(void)
{
    FileInfo entry;
    int result;

    s_placedFolder[0] = '\0';
    while (!g_abortFlag) {
        result = NextEntry(g_reader);
        if (result == NVR_NO_ENTRY_LEFT)
            return 1;
        if (result != 0 || !DescribeCurrentEntry(&entry)) {
            ShowArchiveError();
            return 0;
        }
        if (!IsSourceEntry(entry.name))
            return 1;
        result = InstallSourceEntry(&entry);
        if (result <= 0)
            return result < 0;
    }
    return 1;
}

// One DLL line, split into its fields.
struct DllLine {
    char target[NVR_PATH_SIZE];   // field 1, macros expanded later
    long mode;                    // field 2: replace mode
    long removal;                 // field 3: recorded when the file is placed
    int shared;                   // field 4 is exactly "1"
    int server;                   // field 5 is exactly "1"
    int typeLibrary;              // field 6 is exactly "1"
};

static void SplitDllLine(const char *text, DllLine *line)
{
    NextCommaField(line->target, text);
    line->mode = ParseLong(NextCommaField(NULL, NULL));
    line->removal = ParseLong(NextCommaField(NULL, NULL));
    line->shared = IsFlagSet(NextCommaField(NULL, NULL));
    line->server = IsFlagSet(NextCommaField(NULL, NULL));
    line->typeLibrary = IsFlagSet(NextCommaField(NULL, NULL));
}

// Replace decision for an existing DLL target by the line's replace mode.
// 1 replace, 0 keep.
static int DecideDllReplace(const DllLine *line, FileInfo *package, FileInfo *existing)
{
    if (line->mode == ModeAlways)
        return 1;
    if (line->mode == ModeIfNewer)
        return IsPackageFileNewer(package, existing);
    if (line->mode == ModeAsk)
        return DecideByPolicy(g_dllPolicy, PassDll, package, existing);
    return 0;
}

// Registration of one kind: deferred while a restart is pending (counts as
// done), else carried out now. Returns the value for the DLL record.
static int RegisterOrDefer(int wanted, const char *target, int (*now)(const char *),
                           BOOL (*later)(const char *))
{
    if (!wanted)
        return 0;
    if (g_restartNeeded) {
        later(target);
        return 1;
    }
    return now(target);
}

// Handles the current DLL entry for line (target expanded). 1 to go on, 0
// after a failure, -1 when the abort flag ended the pass.
static int InstallDllEntry(DllLine *line)
{
    char record[NVR_DLL_RECORD_SIZE];
    FileInfo package, existing;
    int replaced, placed = 0;

    Notify(CodeShowPath, (LPARAM)line->target);
    if (!DescribeCurrentEntry(&package)) {
        ShowArchiveError();
        return 0;
    }
    package.name = line->target;
    existing.name = line->target;
    replaced = DescribeExistingFile(&existing);
    if (replaced && !DecideDllReplace(line, &package, &existing)) {
        if (g_abortFlag)
            return -1;
        Notify(CodeAddBytes, package.size);
        replaced = 0;
    } else {
        if (!PlaceTarget(line->target))
            return 0;
        placed = 1;
    }
    if (line->shared)
        IncrementSharedCount(line->target);
    int server = RegisterOrDefer(line->server, line->target, RegisterComServer, DeferComServer);
    int library = RegisterOrDefer(line->typeLibrary, line->target, RegisterTypeLibraryFile,
                                  DeferTypeLibrary);
    wsprintfA(record, NVR_DLL_RECORD_FORMAT, line->target, placed ? (int)line->removal : 2,
              line->shared, server, library, replaced);
    RecordInstalled(NVR_JOURNAL_DLLS, NULL, record);
    return 1;
}

// The [DLLFiles] lines have run out after number - 1 of them. A source entry
// right behind the last DLL entry used means the package's entries are out of
// order: its file would silently be missing from a "successful" installation.
// (DLL entries that no line uses are passed over, as before.)
static int EndDllPass(int number)
{
    FileInfo entry;

    if (number > 1 && NextEntry(g_reader) == 0 && DescribeCurrentEntry(&entry) &&
        IsSourceEntry(entry.name)) {
        ShowArchiveError();
        return 0;
    }
    return 1;
}

int InstallDllFiles(void)
{
    char key[NVR_DLL_KEY_SIZE];
    char text[NVR_DLL_LINE_SIZE];
    DllLine line;
    int result;

    // The key counter lives as long as the pass: the worker runs once per
    // process, so this is the run's one counter.
    s_placedFolder[0] = '\0';
    for (int number = 1; !g_abortFlag; number++) {
        wsprintfA(key, NVR_INFO_DLL_KEY_FORMAT, number);
        if (!ProfileReadString(NVR_INFO_SECTION_DLLS, key, NULL, text, NVR_DLL_LINE_SIZE,
                               g_infoFile))
            return EndDllPass(number);
        SplitDllLine(text, &line);
        if ((number > 1 && NextEntry(g_reader) != 0) || !IsCurrentEntryNamed(key)) {
            ShowArchiveError();
            return 0;
        }
        ExpandPathMacros(line.target);
        // A relative target lies below the install folder, like the source
        // files (taken as it stands it would depend on the current folder,
        // and the rollback could not find it). A blank one names no file and
        // fails as it is.
        if (!IsBlank(line.target) && !IsAbsolutePath(line.target))
            CopyBounded(NVR_PATH_SIZE, line.target, JoinPath(g_installFolder, line.target));
        result = InstallDllEntry(&line);
        if (result <= 0)
            return result < 0;
    }
    return 1;
}

DWORD WINAPI InstallWorker(LPVOID)
{
    g_bytesDone = 0;
    g_sourcePolicy = 0;
    g_dllPolicy = 0;
    g_restartNeeded = 0;
    int ok = InstallSourceFiles() && InstallDllFiles();
    SendMessageA(g_currentPage, WM_USER, CodeWorkerDone, ok || g_abortFlag);
    HANDLE self = g_workerThread;
    g_workerThread = NULL;
    if (self)
        CloseHandle(self);
    return 0;
}
