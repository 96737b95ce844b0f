// toolkit.h -- path and string toolkit: trimming, bounded appends, path
// splitting and joining, existence tests, the folder-creation walk, comma
// fields and thousands formatting.
//
// Texts are NUL-terminated 8-bit ANSI strings handled byte by byte; a blank is
// a space or a tab; the backslash is the only separator. A path buffer holds
// NVR_PATH_SIZE bytes (259 characters); every copy or append is cut silently
// at its bound. Operations marked "static buffer" return a buffer of their own
// that the next call of the same operation overwrites; callers that keep the
// result copy it. No operation is safe to call from two threads at once.
#ifndef NVR_SETUPINFO_TOOLKIT_H
#define NVR_SETUPINFO_TOOLKIT_H

#include <windows.h>

#define NVR_PATH_SIZE      260     // path buffers: 259 characters + NUL
#define NVR_RECORD_SIZE    1560    // comma-separated record text: 1,559 characters + NUL
#define NVR_THOUSANDS_SIZE 16      // "4,294,967,295" + NUL fits

// Appends src to dst so that dst holds at most size-1 characters; the rest of
// src is cut. Nothing is written when dst already fills size. Returns dst.
char *AppendBounded(int size, char *dst, const char *src);

// Copies src into dst (size bytes) with the same bound; nothing is written
// when size <= 0. dst may be src itself or lie before it. Returns dst.
char *CopyBounded(int size, char *dst, const char *src);

// True when text is empty or holds only blanks.
BOOL IsBlank(const char *text);

// In-place trimming of blanks. Each returns text.
char *TrimLeft(char *text);
char *TrimRight(char *text);
char *Trim(char *text);

// TrimLeft, then removes every leading backslash. Returns text.
char *StripLeadingBackslashes(char *text);

// Trims, then appends one backslash to a non-empty path that lacks it (bounded
// to NVR_PATH_SIZE). path must be an NVR_PATH_SIZE buffer. Returns path.
char *AddTrailingBackslash(char *path);

// Trims, then removes one trailing backslash unless the path is a root (C:\,
// "\" or "\\"). Returns path.
char *RemoveTrailingBackslash(char *path);

// Trims, then encloses the path in double quotes (an already quoted path is
// left as it is); at most 259 characters. path: NVR_PATH_SIZE buffer.
char *QuotePath(char *path);

// True for drive paths (second character ':') and UNC paths (leading "\\"),
// tested on a trimmed copy.
BOOL IsAbsolutePath(const char *path);

// C:dir -> C:\dir, C: -> C:\; other paths unchanged. No trimming.
// path: NVR_PATH_SIZE buffer. Returns path.
char *AnchorDrivePath(char *path);

// Root of a path: "C:" or "\\server\share", else empty. Static buffer.
char *PathRoot(const char *path);

// Folder part of a path (C:\dir\f.txt -> C:\dir, C:\f.txt -> C:\). Static buffer.
char *PathFolder(const char *path);

// Last component of a path (C:\dir\f.txt -> f.txt). Static buffer.
char *PathFileName(const char *path);

// folder + one backslash + relative part with its leading backslashes removed;
// a blank relative part gives the folder unchanged. Static buffer.
char *JoinPath(const char *folder, const char *relative);

// Attributes of a path (trailing backslash removed first), with the critical-
// error box switched off; INVALID_FILE_ATTRIBUTES for a missing path.
DWORD GetPathAttributes(const char *path);

// Existence tests on GetPathAttributes.
BOOL FileExists(const char *path);
BOOL FolderExists(const char *path);

// The folder-creation walk. Called with a path, it starts a new walk; called
// with NULL, it continues the last one. Each call creates the next missing
// folder along the path (root first) and returns it without a trailing
// backslash in a static buffer, or returns NULL when the path is complete or a
// folder could not be created. After a failed creation a continuing call goes
// on with the next folder; after the end of the path (or before any walk) it
// returns NULL.
char *CreateNextMissingFolder(const char *path);

// Comma splitting. Called with a text, it starts a new record (at most 1,559
// characters); called with NULL text, it continues. The field (at most 259
// characters) is also copied into field when field is not NULL (NVR_PATH_SIZE
// buffer). Returns the field inside the static record buffer; once the record
// is used up every call yields an empty field.
char *NextCommaField(char *field, const char *text);

// Unsigned decimal with "," between groups of three digits. Static buffer.
char *FormatThousands(DWORD number);

// Reads a decimal long as the install information does: leading blanks
// skipped, optional sign, digits up to the first other character; no digits
// gives 0. Overflow wraps modulo 2^32 ("4294967295" reads as -1).
long ParseLong(const char *text);

// Case-insensitive ASCII comparison of two texts (0 when equal).
int CompareNoCase(const char *a, const char *b);

// Byte helpers that do not depend on a C runtime. dst and src of CopyBytes
// must not overlap (the compiler may turn it into memcpy).
void FillBytes(void *dst, int value, DWORD count);
void CopyBytes(void *dst, const void *src, DWORD count);

#endif
