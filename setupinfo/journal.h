// journal.h -- the install journal: what the install run changed on disk, so
// that an aborted installation can be undone. Writing (RecordInstalled) and
// reading back for the rollback (BeginJournalReadBack, NextJournalItem,
// SplitDllRecord). Deleting the journal is the run clean-up's business.
//
// Two files, named by the run set-up (launcher/runsetup.h):
//   g_journalFile, an INI file:
//     [Folder]     FolderCount=N, 1..N = folders created, parents first
//     [DLLFiles]   DLLFileCount=N, 1..N = "path,removal,shared,registered,typelib,replaced"
//     [SourceFile] SourceFileCount=N (number of records in the list below),
//                  and "k=name" for record k when that name is longer than 255 bytes
//   g_sourceList, the open source-file list: records back to back from offset 0,
//     each one length byte n followed by n bytes of name (no NUL, no header).
//     A name of more than 255 bytes cannot carry its length in one byte: its
//     record is written with length 0 and the name goes to [SourceFile] under
//     the record's number. Names of up to 255 bytes keep the plain form.
// A section appears with its first record; FolderCount and DLLFileCount are
// written just before the record they count, SourceFileCount (once) when the
// read-back begins. Failed writes are not detected (an item that
// was not written is simply not undone).
//
// One thread at a time: the folder page, the install worker, finishing, then
// the rollback. No locks; the counters below are this file's only state.
#ifndef NVR_SETUPINFO_JOURNAL_H
#define NVR_SETUPINFO_JOURNAL_H

#include <windows.h>
#include "setupinfo/toolkit.h"

#define NVR_JOURNAL_FOLDER      "Folder"
#define NVR_JOURNAL_DLLS        "DLLFiles"
#define NVR_JOURNAL_SOURCES     "SourceFile"

#define NVR_LIST_NAME_MAX       255    // longest name a source-file list record holds itself
#define NVR_JOURNAL_ITEM_SIZE   270    // NextJournalItem buffer: a 259-char DLL path and
                                       // ",d,d,d,d,d" fit exactly (269 characters + NUL)

// Adds one item to the journal. section NVR_JOURNAL_FOLDER or NVR_JOURNAL_DLLS:
// raises that section's counter, writes its count key, then the record under
// the key named by the new count (key is ignored). NVR_JOURNAL_SOURCES:
// raises the source counter, appends value to the source-file list (key
// ignored); SourceFileCount is written by the next BeginJournalReadBack. Any other section: key=value is written as
// passed. No result.
void RecordInstalled(const char *section, const char *key, const char *value);

// Starts reading the journal back: writes SourceFileCount when source records
// were added since the last call, then replaces the three counters by the
// counts in g_journalFile (0 when missing) and moves the source-file list back
// to offset 0. Called on a fresh journal it simply restarts counting at 0.
void BeginJournalReadBack(void);

// Reads the next usable item of one kind into buffer (NVR_JOURNAL_ITEM_SIZE
// bytes). kind NVR_JOURNAL_SOURCES: names oldest first; NVR_JOURNAL_DLLS and
// NVR_JOURNAL_FOLDER: records newest first. Blank records, records that are not
// absolute paths and source names ending in '*' (trailing blanks aside: files
// that replaced an existing one) are passed over. Each record read lowers its
// counter. Returns 1 when an item is in buffer, 0 when the kind is exhausted
// (or a read of the list comes up short) or is none of the three.
int NextJournalItem(const char *kind, char *buffer);

// A DLL record split into its fields; a flag is 1 only when its field is
// exactly "1".
struct DllRecord {
    char path[NVR_PATH_SIZE];   // target path after macro expansion
    int removal;                // the run placed the file and may delete it
    int shared;                 // the SharedDLLs count was raised
    int registered;             // DllRegisterServer was called or deferred
    int typeLibrary;            // the type library was registered or deferred
    int replaced;               // an existing file was overwritten: never deleted
};

// Splits record (as NextJournalItem returns it) into out. Uses the toolkit's
// comma splitter, so a walk started with NextCommaField is ended.
void SplitDllRecord(const char *record, DllRecord *out);

#endif
