// journal.cpp -- writes the install journal and reads it back for the
// rollback. The file layout is described in journal.h; this file owns the three
// record counters. It never deletes the journal and never looks at the result
// of a write.
#include "setupinfo/journal.h"
#include "setupinfo/profile.h"
#include "launcher/runsetup.h"
#include "launcher/services.h"

#define NVR_COUNT_KEY_FOLDER  "FolderCount"
#define NVR_COUNT_KEY_DLLS    "DLLFileCount"
#define NVR_COUNT_KEY_SOURCES "SourceFileCount"
#define NVR_KEY_SIZE          16     // a record number in decimal

enum { KindSource, KindDll, KindFolder, KindNone };

// Records written so far in this run; during a read-back, the records left.
static int s_sourceCount;
static int s_dllCount;
static int s_folderCount;
static int s_sourceRead;             // list records read back so far
static int s_sourceCountPending;     // SourceFileCount not written since the last record

static int KindOf(const char *section)
{
    if (CompareNoCase(section, NVR_JOURNAL_SOURCES) == 0)
        return KindSource;
    if (CompareNoCase(section, NVR_JOURNAL_DLLS) == 0)
        return KindDll;
    if (CompareNoCase(section, NVR_JOURNAL_FOLDER) == 0)
        return KindFolder;
    return KindNone;
}

static char *NumberKey(char *key, int number)
{
    wsprintfA(key, "%d", number);
    return key;
}

// Raises the section's counter, writes its count key, then value under the new
// count. Returns the new count.
static int WriteCounted(const char *section, const char *countKey, int *counter,
                        const char *value)
{
    char key[NVR_KEY_SIZE];

    ++*counter;
    ProfileWriteNumber(section, countKey, *counter, g_journalFile);
    ProfileWriteString(section, NumberKey(key, *counter), value, g_journalFile);
    return *counter;
}

// One list record: length byte and name, or, for a name the length byte cannot
// hold, length 0 with the name kept in [SourceFile] under the record's number.
static void AppendSourceName(const char *name)
{
    BYTE record[1 + NVR_LIST_NAME_MAX];
    char key[NVR_KEY_SIZE];
    DWORD written;
    int length = lstrlenA(name);

    // The count is written when the list is read back: one profile write per
    // file would cost more than extracting a small file.
    ++s_sourceCount;
    s_sourceCountPending = 1;
    if (length > NVR_LIST_NAME_MAX) {
        ProfileWriteString(NVR_JOURNAL_SOURCES, NumberKey(key, s_sourceCount), name,
                           g_journalFile);
        length = 0;
    }
    record[0] = (BYTE)length;
    CopyBytes(record + 1, name, (DWORD)length);
    WriteFile(g_sourceList, record, (DWORD)length + 1, &written, NULL);
}

void RecordInstalled(const char *section, const char *key, const char *value)
{
    switch (KindOf(section)) {
    case KindSource:
        AppendSourceName(value);
        break;
    case KindDll:
        WriteCounted(section, NVR_COUNT_KEY_DLLS, &s_dllCount, value);
        break;
    case KindFolder:
        WriteCounted(section, NVR_COUNT_KEY_FOLDER, &s_folderCount, value);
        break;
    default:
        ProfileWriteString(section, key, value, g_journalFile);
        break;
    }
}

// A numbered count, no larger than the records the journal file can hold
// (each takes at least four bytes, "N=\r\n"): a damaged count must not keep
// a rollback reading missing keys for hours.
static int CountWithin(const char *section, const char *key, DWORD records)
{
    long count = ProfileReadNumber(section, key, 0, g_journalFile);
    return count < 0 ? 0 : (DWORD)count > records ? (int)records : (int)count;
}

void BeginJournalReadBack(void)
{
    WIN32_FILE_ATTRIBUTE_DATA file;
    DWORD records = 0;
    if (s_sourceCountPending)
        ProfileWriteNumber(NVR_JOURNAL_SOURCES, NVR_COUNT_KEY_SOURCES, s_sourceCount,
                           g_journalFile);
    s_sourceCountPending = 0;
    ProfileFlush(g_journalFile);   // the size below must include cached writes
    if (GetFileAttributesExA(g_journalFile, GetFileExInfoStandard, &file))
        records = file.nFileSizeHigh ? 0x7FFFFFFF : file.nFileSizeLow / 4;
    s_sourceCount = (int)ProfileReadNumber(NVR_JOURNAL_SOURCES, NVR_COUNT_KEY_SOURCES, 0,
                                           g_journalFile);
    s_dllCount = CountWithin(NVR_JOURNAL_DLLS, NVR_COUNT_KEY_DLLS, records);
    s_folderCount = CountWithin(NVR_JOURNAL_FOLDER, NVR_COUNT_KEY_FOLDER, records);
    s_sourceRead = 0;
    SetFilePointer(g_sourceList, 0, NULL, FILE_BEGIN);
}

// Next list record, oldest first, into buffer. 0 when none is left or a read
// comes up short (the rest of the list is then given up).
static int ReadSourceName(char *buffer)
{
    BYTE length;
    char key[NVR_KEY_SIZE];

    if (s_sourceCount <= 0)
        return 0;
    if (!ReadExact(g_sourceList, &length, 1) ||
        (length && !ReadExact(g_sourceList, buffer, length))) {
        s_sourceCount = 0;
        return 0;
    }
    buffer[length] = '\0';
    --s_sourceCount;
    ++s_sourceRead;
    if (length == 0)
        ProfileReadString(NVR_JOURNAL_SOURCES, NumberKey(key, s_sourceRead), "", buffer,
                          NVR_PATH_SIZE, g_journalFile);
    return 1;
}

// Record number *counter of section into buffer (size bytes), newest first.
static int ReadNumbered(const char *section, int *counter, char *buffer, int size)
{
    char key[NVR_KEY_SIZE];

    if (*counter <= 0)
        return 0;
    ProfileReadString(section, NumberKey(key, *counter), "", buffer, size, g_journalFile);
    --*counter;
    return 1;
}

// A file that replaced an existing one is listed with '*' after its path.
static int EndsWithStar(const char *text)
{
    int last = 0;

    for (; *text; text++)
        if (*text != ' ' && *text != '\t')
            last = *text;
    return last == '*';
}

int NextJournalItem(const char *kind, char *buffer)
{
    int which = KindOf(kind);
    int read;

    for (;;) {
        if (which == KindSource)
            read = ReadSourceName(buffer);
        else if (which == KindDll)
            read = ReadNumbered(NVR_JOURNAL_DLLS, &s_dllCount, buffer, NVR_JOURNAL_ITEM_SIZE);
        else if (which == KindFolder)
            read = ReadNumbered(NVR_JOURNAL_FOLDER, &s_folderCount, buffer, NVR_PATH_SIZE);
        else
            return 0;
        if (!read)
            return 0;
        if (!IsBlank(buffer) && IsAbsolutePath(buffer) &&
            !(which == KindSource && EndsWithStar(buffer)))
            return 1;
    }
}

static int NextFlag(void)
{
    const char *field = NextCommaField(NULL, NULL);
    return field[0] == '1' && field[1] == '\0';
}

void SplitDllRecord(const char *record, DllRecord *out)
{
    NextCommaField(out->path, record);
    out->removal = NextFlag();
    out->shared = NextFlag();
    out->registered = NextFlag();
    out->typeLibrary = NextFlag();
    out->replaced = NextFlag();
}
