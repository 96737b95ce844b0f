// toolkit.cpp -- path and string toolkit: trimming, bounded copies, path
// shapes and splitting, existence tests, the folder-creation walk, comma
// fields, thousands formatting and small byte helpers.
//
// Must not: call C runtime functions other than memmove/memset/memcpy/memcmp,
// show any message box, or write past a stated bound. Everything here works
// byte by byte on 8-bit texts; no operation knows about multi-byte characters.
// The static result buffers below are shared by all threads: callers use the
// toolkit from one thread at a time.
#include "setupinfo/toolkit.h"

#include <string.h>

// ---- static result buffers -------------------------------------------------
static char s_root[NVR_PATH_SIZE];          // PathRoot result, 259 characters
static char s_folder[NVR_PATH_SIZE];        // PathFolder result, 259 characters
static char s_fileName[NVR_PATH_SIZE];      // PathFileName result, 259 characters
static char s_join[NVR_PATH_SIZE];          // JoinPath result, 259 characters
static char s_walk[NVR_PATH_SIZE];          // CreateNextMissingFolder work buffer
static char *s_walkPos;                     // walk position in s_walk; NULL = no walk
static char s_record[NVR_RECORD_SIZE];      // NextCommaField record, 1,559 characters
static int s_recordPos;                     // NextCommaField: start of the next field
static char s_thousands[NVR_THOUSANDS_SIZE]; // FormatThousands result, 13 characters

enum { ShapeOther, ShapeDrive, ShapeUnc };

static BOOL IsBlankChar(char c) { return c == ' ' || c == '\t'; }

// Shape of an already trimmed path: drive (X:...), UNC (\\...) or other.
static int PathShape(const char *p)
{
    if (p[0] && p[1] == ':') return ShapeDrive;
    if (p[0] == '\\' && p[1] == '\\') return ShapeUnc;
    return ShapeOther;
}

// Skips a run of backslashes (backslashes != 0) or of other characters
// (backslashes == 0); stops at the NUL.
static char *Skip(char *p, int backslashes)
{
    while (*p && (*p == '\\') == (backslashes != 0)) p++;
    return p;
}

// Inserts a backslash after the colon of a drive path that lacks it; part may
// lie inside a larger buffer of which size bytes remain from part on. When
// even the backslash does not fit, the path stays as it is.
static char *AnchorIn(char *part, int size)
{
    if (size > 3 && part[0] && part[1] == ':' && part[2] != '\\') {
        int n = lstrlenA(part);
        if (n > size - 2) n = size - 2;       // the inserted backslash pushes the last character out
        memmove(part + 3, part + 2, n - 2);
        part[2] = '\\';
        part[n + 1] = '\0';
    }
    return part;
}

// Copies path into an NVR_PATH_SIZE buffer and trims it.
static char *TrimmedCopy(char *buf, const char *path)
{
    return Trim(CopyBounded(NVR_PATH_SIZE, buf, path));
}

// UNC path in buf: returns the end of the server name (a backslash, or the NUL
// when none follows the server).
static char *ServerEnd(char *buf)
{
    return Skip(Skip(buf, 1), 0);
}

// ---- texts ------------------------------------------------------------------

// Forward copy, so that dst may be src itself or lie before it.
char *CopyBounded(int size, char *dst, const char *src)
{
    if (size > 0) {
        int i = 0;
        for (; i < size - 1 && src[i]; i++) dst[i] = src[i];
        dst[i] = '\0';
    }
    return dst;
}

char *AppendBounded(int size, char *dst, const char *src)
{
    int len = lstrlenA(dst);
    CopyBounded(size - len, dst + len, src);
    return dst;
}

BOOL IsBlank(const char *text)
{
    while (IsBlankChar(*text)) text++;
    return *text == '\0';
}

char *TrimLeft(char *text)
{
    char *p = text;
    while (IsBlankChar(*p)) p++;
    if (p != text) memmove(text, p, lstrlenA(p) + 1);
    return text;
}

char *TrimRight(char *text)
{
    int n = lstrlenA(text);
    while (n > 0 && IsBlankChar(text[n - 1])) n--;
    text[n] = '\0';
    return text;
}

char *Trim(char *text)
{
    return TrimLeft(TrimRight(text));
}

char *StripLeadingBackslashes(char *text)
{
    char *p = Skip(TrimLeft(text), 1);
    if (p != text) memmove(text, p, lstrlenA(p) + 1);
    return text;
}

// ---- path shapes ------------------------------------------------------------

char *AddTrailingBackslash(char *path)
{
    int n = lstrlenA(Trim(path));
    if (n > 0 && path[n - 1] != '\\') AppendBounded(NVR_PATH_SIZE, path, "\\");
    return path;
}

// A root (C:\, "\", "\\", anything shorter than two characters) keeps its
// backslash.
char *RemoveTrailingBackslash(char *path)
{
    int n = lstrlenA(Trim(path));
    if (n < 2 || (n == 2 && path[0] == '\\') || path[n - 2] == ':') return path;
    if (path[n - 1] == '\\') path[n - 1] = '\0';
    return path;
}

// A quoted path that does not fit keeps its opening quote and loses the end
// (the closing quote included): every path copy here is cut at 259 characters.
char *QuotePath(char *path)
{
    char work[NVR_PATH_SIZE];
    int n = lstrlenA(Trim(path));
    CopyBounded(NVR_PATH_SIZE, work, path[0] == '"' ? "" : "\"");
    AppendBounded(NVR_PATH_SIZE, work, path);
    if (n == 0 || path[n - 1] != '"') AppendBounded(NVR_PATH_SIZE, work, "\"");
    return CopyBounded(NVR_PATH_SIZE, path, work);
}

BOOL IsAbsolutePath(const char *path)
{
    char buf[NVR_PATH_SIZE];
    return PathShape(TrimmedCopy(buf, path)) != ShapeOther;
}

char *AnchorDrivePath(char *path)
{
    return AnchorIn(path, NVR_PATH_SIZE);
}

char *PathRoot(const char *path)
{
    char *p = TrimmedCopy(s_root, path);
    switch (PathShape(p)) {
    case ShapeDrive:
        p += 2;
        break;
    case ShapeUnc:
        p = Skip(ServerEnd(p), 1);            // start of the share name
        // A share written as a drive (C:f) is anchored before the cut.
        p = *p ? Skip(AnchorIn(p, NVR_PATH_SIZE - (int)(p - s_root)), 0) : s_root;
        break;
    default:
        p = s_root;
    }
    *p = '\0';
    return s_root;
}

// Head normalisation shared by PathFolder and PathFileName: the trimmed copy
// with drive paths anchored (C:f -> C:\f) and a UNC share anchored, a bare
// server or share getting a trailing backslash so that it counts as a folder.
// Returns the last backslash in buf, or NULL when there is none.
static char *SplitPath(char *buf, const char *path)
{
    int shape = PathShape(TrimmedCopy(buf, path));
    char *last = NULL;
    if (shape == ShapeDrive) AnchorIn(buf, NVR_PATH_SIZE);
    if (shape == ShapeUnc) {
        char *p = ServerEnd(buf);
        if (*p) {
            p = Skip(p, 1);
            p = Skip(AnchorIn(p, NVR_PATH_SIZE - (int)(p - buf)), 0);
        }
        if (!*p) AddTrailingBackslash(buf);
    }
    for (char *p = buf; *p; p++)
        if (*p == '\\') last = p;
    return last;
}

char *PathFolder(const char *path)
{
    char *last = SplitPath(s_folder, path);
    if (last) {
        last[1] = '\0';
        RemoveTrailingBackslash(s_folder);
    }
    return s_folder;
}

char *PathFileName(const char *path)
{
    char *last = SplitPath(s_fileName, path);
    if (last) memmove(s_fileName, last + 1, lstrlenA(last + 1) + 1);
    return s_fileName;
}

char *JoinPath(const char *folder, const char *relative)
{
    char rel[NVR_PATH_SIZE];
    CopyBounded(NVR_PATH_SIZE, s_join, folder);
    if (IsBlank(relative)) return s_join;
    AddTrailingBackslash(s_join);
    StripLeadingBackslashes(CopyBounded(NVR_PATH_SIZE, rel, relative));
    return AppendBounded(NVR_PATH_SIZE, s_join, rel);
}

// ---- file system ------------------------------------------------------------

DWORD GetPathAttributes(const char *path)
{
    char buf[NVR_PATH_SIZE];
    UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    DWORD attributes = GetFileAttributesA(RemoveTrailingBackslash(CopyBounded(NVR_PATH_SIZE, buf, path)));
    SetErrorMode(oldMode);
    return attributes;
}

// Result: 0 missing, 1 file, 2 folder.
static int PathKind(const char *path)
{
    DWORD a = GetPathAttributes(path);
    if (a == INVALID_FILE_ATTRIBUTES) return 0;
    return (a & FILE_ATTRIBUTE_DIRECTORY) ? 2 : 1;
}

BOOL FileExists(const char *path) { return PathKind(path) == 1; }
BOOL FolderExists(const char *path) { return PathKind(path) == 2; }

// The walk keeps s_walkPos at the NUL that stands for the separator after the
// folder last created (or last failed). When the path is used up s_walkPos
// becomes NULL, so that a continuing call without a new path returns NULL
// instead of restoring a separator that was never removed.
char *CreateNextMissingFolder(const char *path)
{
    char *p = s_walkPos;
    if (path) {
        int shape = PathShape(AddTrailingBackslash(CopyBounded(NVR_PATH_SIZE, s_walk, path)));
        p = s_walk;
        if (shape == ShapeDrive) p = Skip(AnchorIn(s_walk, NVR_PATH_SIZE) + 2, 1);
        if (shape == ShapeUnc) {
            p = Skip(ServerEnd(s_walk), 1);
            p = Skip(Skip(AnchorIn(p, NVR_PATH_SIZE - (int)(p - s_walk)), 0), 1);
        }
    } else {
        if (!p) return NULL;
        *p++ = '\\';
    }
    for (;;) {
        p = Skip(p, 0);
        if (!*p) {
            s_walkPos = NULL;
            return NULL;
        }
        *p = '\0';
        s_walkPos = p;
        if (!FolderExists(s_walk))
            return CreateDirectoryA(s_walk, NULL) ? s_walk : NULL;
        *p++ = '\\';
    }
}

// ---- records and numbers ----------------------------------------------------

char *NextCommaField(char *field, const char *text)
{
    char *start, *p;
    if (text) {
        CopyBounded(NVR_RECORD_SIZE, s_record, text);
        s_recordPos = 0;
    }
    start = p = s_record + s_recordPos;
    while (*p && *p != ',') p++;
    s_recordPos = (int)(p - s_record);
    if (*p) {                                 // a comma ends the field
        *p = '\0';
        s_recordPos++;
    }
    if (field) CopyBounded(NVR_PATH_SIZE, field, start);
    return start;
}

// Digits are written backwards from the end of the buffer, then moved to its
// start.
char *FormatThousands(DWORD number)
{
    char *p = s_thousands + NVR_THOUSANDS_SIZE - 1;
    int group = 0;
    *p = '\0';
    do {
        if (group == 3) {
            *--p = ',';
            group = 0;
        }
        *--p = (char)('0' + number % 10);
        number /= 10;
        group++;
    } while (number);
    memmove(s_thousands, p, s_thousands + NVR_THOUSANDS_SIZE - p);
    return s_thousands;
}

// Overflow wraps modulo 2^32 (unsigned arithmetic, no undefined behaviour):
// "4294967295" reads as -1.
long ParseLong(const char *text)
{
    unsigned long value = 0;
    BOOL negative = FALSE;
    while (IsBlankChar(*text)) text++;
    if (*text == '+' || *text == '-') negative = *text++ == '-';
    while (*text >= '0' && *text <= '9') value = value * 10 + (unsigned long)(*text++ - '0');
    return (long)(negative ? 0UL - value : value);
}

static int LowerAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
}

int CompareNoCase(const char *a, const char *b)
{
    int ca, cb;
    do {
        ca = LowerAscii((unsigned char)*a++);
        cb = LowerAscii((unsigned char)*b++);
    } while (ca == cb && ca);
    return ca - cb;
}

void FillBytes(void *dst, int value, DWORD count)
{
    unsigned char *d = (unsigned char *)dst;
    while (count--) *d++ = (unsigned char)value;
}

void CopyBytes(void *dst, const void *src, DWORD count)
{
    unsigned char *d = (unsigned char *)dst;
    const unsigned char *s = (const unsigned char *)src;
    while (count--) *d++ = *s++;
}
