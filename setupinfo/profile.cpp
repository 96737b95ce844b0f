// profile.cpp -- INI access on top of the platform's profile functions (a
// reliable presence test, reads with defaults, quote-preserving writes, flush)
// and the one registry string read.
//
// Must not: keep state, allocate, or write past a caller's buffer. Every
// buffer here is local, so the layer may run on any thread.
#include "setupinfo/profile.h"

// Two defaults that no real value is expected to equal; a key is missing only
// when a read returns both of them.
static const char kSentinel1[] = "$1234567890$";
static const char kSentinel2[] = "$ABCDEFGHIJ$";

static BOOL IsSystemProfile(const char *file)
{
    return file == NULL || IsBlank(file);
}

// Exact byte comparison (lstrcmpA follows the locale's sort rules).
static BOOL SameText(const char *a, const char *b)
{
    while (*a && *a == *b) a++, b++;
    return *a == *b;
}

static DWORD ReadRaw(const char *section, const char *key, const char *def,
                     char *buffer, int size, const char *file)
{
    if (IsSystemProfile(file))
        return GetProfileStringA(section, key, def, buffer, size);
    return GetPrivateProfileStringA(section, key, def, buffer, size, file);
}

// True when key's value differs from sentinel, i.e. the key is present.
static BOOL DiffersFrom(const char *sentinel, const char *section, const char *key,
                        const char *file)
{
    char value[NVR_NUMBER_SIZE];
    ReadRaw(section, key, sentinel, value, NVR_NUMBER_SIZE, file);
    return !SameText(value, sentinel);
}

BOOL ProfileKeyExists(const char *section, const char *key, const char *file)
{
    return DiffersFrom(kSentinel1, section, key, file) ||
           DiffersFrom(kSentinel2, section, key, file);
}

char *ProfileReadString(const char *section, const char *key, const char *def,
                        char *buffer, int size, const char *file)
{
    if (buffer == NULL)
        return NULL;
    if (!ProfileKeyExists(section, key, file))
        return def ? CopyBounded(size, buffer, def) : NULL;
    ReadRaw(section, key, "", buffer, size, file);
    return buffer;
}

// True when text starts like a number: blanks, an optional sign, a digit.
static BOOL StartsWithNumber(const char *text)
{
    while (*text == ' ' || *text == '\t') text++;
    if (*text == '+' || *text == '-') text++;
    return *text >= '0' && *text <= '9';
}

long ProfileReadNumber(const char *section, const char *key, long def, const char *file)
{
    char value[NVR_PATH_SIZE];
    if (!ProfileReadString(section, key, NULL, value, NVR_PATH_SIZE, file) ||
        !StartsWithNumber(value))
        return def;
    return ParseLong(value);
}

// The platform's read strips one pair of enclosing quotes. A value that is
// itself enclosed in matching quotes is therefore written trimmed inside one
// more pair of double quotes. The working copy lives on the stack: values up
// to NVR_PROFILE_QUOTE_LIMIT characters (far above any record the system
// writes) get this treatment; a longer one is written as passed.
BOOL ProfileWriteString(const char *section, const char *key, const char *value,
                        const char *file)
{
    char work[NVR_PROFILE_QUOTE_LIMIT + 3];   // quote + value + quote + NUL
    if (value && lstrlenA(value) <= NVR_PROFILE_QUOTE_LIMIT) {
        char *inner = work + 1;
        int n = lstrlenA(Trim(CopyBounded(NVR_PROFILE_QUOTE_LIMIT + 1, inner, value)));
        if (n >= 2 && inner[0] == inner[n - 1] && (inner[0] == '"' || inner[0] == '\'')) {
            work[0] = '"';
            inner[n] = '"';
            inner[n + 1] = '\0';
            value = work;
        }
    }
    if (IsSystemProfile(file))
        return WriteProfileStringA(section, key, value);
    return WritePrivateProfileStringA(section, key, value, file);
}

BOOL ProfileWriteNumber(const char *section, const char *key, long number, const char *file)
{
    char text[NVR_NUMBER_SIZE];
    wsprintfA(text, "%ld", number);
    return ProfileWriteString(section, key, text, file);
}

BOOL ProfileFlush(const char *file)
{
    return ProfileWriteString(NULL, NULL, NULL, file);
}

BOOL IsFlagSet(const char *field)
{
    return field[0] == '1' && field[1] == '\0';
}

// The query is bounded by size. A string stored without its terminator is
// terminated inside the buffer; when it fills the buffer completely its last
// byte gives way to the NUL.
BOOL RegistryReadString(HKEY key, const char *name, char *buffer, DWORD size)
{
    DWORD type, length = size;
    if (buffer == NULL || size == 0)
        return FALSE;
    if (RegQueryValueExA(key, name, NULL, &type, (BYTE *)buffer, &length) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        if (length < 2)
            length = 0;
        else if (length >= size)
            length = size - 1;
        buffer[length] = '\0';
        return TRUE;
    }
    buffer[0] = '\0';
    return FALSE;
}
