// profile.h -- the INI and registry access layer every record file goes
// through: presence test, string and number reads with defaults, writes that
// survive the platform's quote stripping, cache flush, and one registry read.
//
// A blank or NULL file path addresses the system profile (WIN.INI). The layer
// keeps no state and uses only local buffers, so any thread may call it.
#ifndef NVR_SETUPINFO_PROFILE_H
#define NVR_SETUPINFO_PROFILE_H

#include <windows.h>
#include "setupinfo/toolkit.h"

#define NVR_NUMBER_SIZE 40        // a formatted 32-bit number and the sentinels fit

// Longest value ProfileWriteString re-quotes: the longest record text any
// caller writes (DLL lines 519, journal DLL records 269 characters) is well
// below it. A longer value is written unchanged.
#define NVR_PROFILE_QUOTE_LIMIT (NVR_RECORD_SIZE - 1)

// True when key is present in section, even with an empty value.
BOOL ProfileKeyExists(const char *section, const char *key, const char *file);

// Reads key into buffer (size bytes, at least 1). A missing key gives def (copied, bounded)
// or, with def NULL, returns NULL and leaves buffer untouched. Returns buffer,
// or NULL when buffer is NULL.
char *ProfileReadString(const char *section, const char *key, const char *def,
                        char *buffer, int size, const char *file);

// Reads key as a signed decimal; def when missing, blank or not a number.
long ProfileReadNumber(const char *section, const char *key, long def, const char *file);

// Writes value; a value enclosed in matching quotes (after trimming) is written
// trimmed inside one more pair of double quotes so that it reads back with its
// own quotes; any other value, and one longer than NVR_PROFILE_QUOTE_LIMIT, is
// written exactly as passed. value NULL deletes the key, key NULL the section;
// all three NULL flushes the platform's cached copy. Returns the platform's
// result.
BOOL ProfileWriteString(const char *section, const char *key, const char *value,
                        const char *file);

// Writes number formatted with "%ld".
BOOL ProfileWriteNumber(const char *section, const char *key, long number, const char *file);

// Writes the platform's cached copy of file to disk (before it is deleted).
BOOL ProfileFlush(const char *file);

// A DLL line's yes/no field (shared, register, type library): true only for
// exactly "1" ("01", " 1" and "1 " are false).
BOOL IsFlagSet(const char *field);

// Reads a REG_SZ or REG_EXPAND_SZ value (unexpanded) into buffer (size bytes),
// always NUL-terminated within size. On any failure the buffer is emptied and
// the result is FALSE.
BOOL RegistryReadString(HKEY key, const char *name, char *buffer, DWORD size);

#endif
