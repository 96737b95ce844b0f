// win32shim.h -- a stand-in for the few Win32 calls the package reader and the
// text parsers make, so that they build natively on Linux with clang and run
// under libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer.
//
// Files live in memory (a table of named byte buffers, names compared without
// case); the profile calls parse and rewrite those buffers as INI text the way
// the platform does (names and values trimmed, one pair of enclosing quotes
// stripped on reading, defaults trimmed on the right). Must not: touch the real
// file system, keep state other than the tables in win32shim.cpp, or be linked
// into anything but the native fuzzers.
#ifndef NVR_FUZZ_WIN32SHIM_H
#define NVR_FUZZ_WIN32SHIM_H

#include <stdint.h>
#include <stddef.h>
#include <string.h>

// ---- types (LLP64 widths where the module depends on them) ----------------
typedef uint32_t DWORD;
typedef int32_t LONG;
typedef uint32_t UINT;
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef void *HANDLE;
typedef void *HKEY;
typedef void *LPVOID;
typedef const char *LPCSTR;
typedef char *LPSTR;
typedef intptr_t INT_PTR;
typedef DWORD *LPDWORD;
typedef struct SECURITY_ATTRIBUTES_ *LPSECURITY_ATTRIBUTES;
typedef struct OVERLAPPED_ *LPOVERLAPPED;

#define WINAPI
#define CALLBACK
#define TRUE 1
#define FALSE 0

#define INVALID_HANDLE_VALUE       ((HANDLE)(intptr_t)-1)
#define INVALID_SET_FILE_POINTER   ((DWORD)-1)
#define INVALID_FILE_ATTRIBUTES    ((DWORD)-1)
#define NO_ERROR                   0u
#define ERROR_SUCCESS              0L
#define ERROR_FILE_NOT_FOUND       2u
#define ERROR_INVALID_HANDLE       6u
#define ERROR_NEGATIVE_SEEK        131u
#define ERROR_ALREADY_EXISTS       183u
#define GENERIC_READ               0x80000000u
#define GENERIC_WRITE              0x40000000u
#define FILE_SHARE_READ            1u
#define FILE_SHARE_WRITE           2u
#define CREATE_NEW                 1u
#define CREATE_ALWAYS              2u
#define OPEN_EXISTING              3u
#define OPEN_ALWAYS                4u
#define FILE_ATTRIBUTE_NORMAL      0x80u
#define FILE_ATTRIBUTE_DIRECTORY   0x10u
#define FILE_BEGIN                 0u
#define FILE_CURRENT               1u
#define FILE_END                   2u
#define HEAP_ZERO_MEMORY           8u
#define SEM_FAILCRITICALERRORS     1u
#define REG_SZ                     1u
#define REG_EXPAND_SZ              2u

// ---- calls the module sources make ------------------------------------------
HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES sa,
                   DWORD disposition, DWORD flags, HANDLE templ);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED ov);
BOOL WriteFile(HANDLE file, const void *buffer, DWORD count, LPDWORD done, LPOVERLAPPED ov);
DWORD SetFilePointer(HANDLE file, LONG low, LONG *high, DWORD method);
BOOL CloseHandle(HANDLE handle);
DWORD GetLastError(void);
void SetLastError(DWORD code);
DWORD GetFileAttributesA(LPCSTR name);
typedef struct { DWORD dwLowDateTime, dwHighDateTime; } FILETIME;
typedef struct {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime, ftLastAccessTime, ftLastWriteTime;
    DWORD nFileSizeHigh, nFileSizeLow;
} WIN32_FILE_ATTRIBUTE_DATA;
typedef enum { GetFileExInfoStandard } GET_FILEEX_INFO_LEVELS;
BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS level, LPVOID info);
BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES sa);
UINT SetErrorMode(UINT mode);
HANDLE GetProcessHeap(void);
LPVOID HeapAlloc(HANDLE heap, DWORD flags, size_t bytes);
BOOL HeapFree(HANDLE heap, DWORD flags, LPVOID block);
int lstrlenA(LPCSTR text);
// Supports %d %u %ld %lu %x %lx %s %c and %0Nd-style widths, like the real one
// writes at most 1,024 characters.
int wsprintfA(LPSTR out, LPCSTR format, ...);
DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer,
                               DWORD size, LPCSTR file);
DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size);
BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file);
BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value);
LONG RegQueryValueExA(HKEY key, LPCSTR name, LPDWORD reserved, LPDWORD type, BYTE *data,
                      LPDWORD size);

// launcher/services.cpp's exact read and write, with the same contract.
int ReadExact(HANDLE file, void *buffer, DWORD count);
int WriteExact(HANDLE file, const void *buffer, DWORD count);

// ---- control of the stand-in, for the fuzz targets --------------------------
// Forgets every file and folder; every handle must be closed before.
void ShimReset(void);
// Creates or replaces file name with count bytes of data.
void ShimPutFile(const char *name, const void *data, size_t count);
// Makes name a folder.
void ShimPutFolder(const char *name);
// Contents of file name (NULL when missing); *count receives its length.
const BYTE *ShimFileData(const char *name, size_t *count);
// Handles still open (a target checks 0 after closing everything).
int ShimOpenHandles(void);
// Reads that would end past limit bytes of any file abort the process; 0
// switches the check off.
void ShimSetReadLimit(uint64_t limit);
// Profile reads allowed before the stand-in calls budgetHandler (which must
// not return, e.g. longjmp out); 0 switches the budget off.
void ShimSetProfileBudget(unsigned long reads, void (*budgetHandler)(void));
// Profile reads since the last ShimSetProfileBudget.
unsigned long ShimProfileReads(void);

#endif
