// win32shim.cpp -- the in-memory stand-in for the Win32 calls of the reader
// and the text parsers (see win32shim.h). Native test code only: it may use
// the C++ library; it must not touch the real file system.
#include "win32shim.h"

#include <ctype.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#define SHIM_WSPRINTF_MAX 1024           // wsprintfA writes at most this many characters
#define SHIM_WIN_INI      "c:\\windows\\win.ini"
#define ERROR_PATH_NOT_FOUND 3u

// The run's two journal names that setupinfo/journal.cpp reads (the
// launcher's run set-up owns them in the module); the journal target sets them.
char g_journalFile[260];
HANDLE g_sourceList;

namespace {

struct MemFile {
    std::vector<BYTE> data;   // contents of a file
    bool folder;              // a folder: no contents
};

struct OpenFile {
    std::string key;          // lower-case name in g_files
    uint64_t position;        // next byte to read or write
};

std::map<std::string, MemFile> g_files;    // every file and folder, by lower-case name
std::set<OpenFile *> g_handles;            // handles not yet closed
DWORD g_lastError;                         // GetLastError's value
unsigned long g_profileReads;              // GetPrivateProfileStringA calls since the budget was set
unsigned long g_profileBudget;             // 0: no budget
void (*g_budgetHandler)(void);             // called when the budget is spent
uint64_t g_readLimit;                      // no read may end past it; 0: no limit
unsigned long g_generation;                // raised by every change of the cached file

std::string Lower(const char *name)
{
    std::string s(name ? name : "");
    for (size_t i = 0; i < s.size(); i++) s[i] = (char)tolower((unsigned char)s[i]);
    return s;
}

OpenFile *Find(HANDLE handle)
{
    OpenFile *f = (OpenFile *)handle;
    return g_handles.count(f) ? f : NULL;
}

// ---- profile text model ------------------------------------------------------

bool IsProfileSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f' || c == 0x1a;
}

std::string TrimProfile(const std::string &s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsProfileSpace(s[b])) b++;
    while (e > b && IsProfileSpace(s[e - 1])) e--;
    return s.substr(b, e - b);
}

struct IniKey {
    std::string name;
    std::string lower;        // name in lower case, for lookups
    bool hasValue;            // a line without '=' is a key without value
    std::string value;
};

struct IniSection {
    std::string name;
    std::string lower;        // name in lower case, for lookups
    bool named;               // lines before the first header form an unnamed section
    std::vector<IniKey> keys;
};

std::vector<IniSection> ParseIni(const std::vector<BYTE> &data)
{
    std::vector<IniSection> out;
    IniSection first;
    first.named = false;
    out.push_back(first);
    size_t pos = 0;
    while (pos < data.size()) {
        size_t end = pos;
        while (end < data.size() && data[end] != '\n') end++;
        std::string line((const char *)data.data() + pos, end - pos);
        pos = end + 1;
        size_t nul = line.find('\0');
        if (nul != std::string::npos) line.resize(nul);
        line = TrimProfile(line);
        if (line.empty()) continue;
        if (line[0] == '[') {
            size_t close = line.rfind(']');
            IniSection s;
            s.named = true;
            s.name = TrimProfile(line.substr(1, close == std::string::npos || close == 0
                                                     ? std::string::npos : close - 1));
            s.lower = Lower(s.name.c_str());
            out.push_back(s);
            continue;
        }
        IniKey k;
        size_t eq = line.find('=');
        k.hasValue = eq != std::string::npos;
        k.name = TrimProfile(line.substr(0, eq));
        k.lower = Lower(k.name.c_str());
        if (k.hasValue) k.value = TrimProfile(line.substr(eq + 1));
        out.back().keys.push_back(k);
    }
    return out;
}

std::vector<BYTE> WriteIni(const std::vector<IniSection> &ini)
{
    std::string text;
    for (size_t i = 0; i < ini.size(); i++) {
        if (ini[i].named) text += "[" + ini[i].name + "]\r\n";
        for (size_t j = 0; j < ini[i].keys.size(); j++) {
            text += ini[i].keys[j].name;
            if (ini[i].keys[j].hasValue) text += "=" + ini[i].keys[j].value;
            text += "\r\n";
        }
        if (ini[i].named) text += "\r\n";
    }
    return std::vector<BYTE>(text.begin(), text.end());
}

std::string LookupName(const char *name)
{
    return Lower(TrimProfile(name).c_str());
}

bool SameName(const std::string &a, const char *b)
{
    return Lower(a.c_str()) == LookupName(b);
}

IniSection *FindSection(std::vector<IniSection> &ini, const char *name)
{
    std::string wanted = LookupName(name);
    for (size_t i = 0; i < ini.size(); i++)
        if (ini[i].named && ini[i].lower == wanted) return &ini[i];
    return NULL;
}

IniKey *FindKey(IniSection *section, const char *name)
{
    if (!section) return NULL;
    std::string wanted = LookupName(name);
    for (size_t i = 0; i < section->keys.size(); i++)
        if (section->keys[i].lower == wanted) return &section->keys[i];
    return NULL;
}

std::string g_cachedKey;                   // file whose parsed form is cached
unsigned long g_cachedGeneration = ~0ul;   // g_generation when it was parsed
std::vector<IniSection> g_cached;          // the parsed form
bool g_cachedAhead;                        // profile writes not yet in the file's bytes

// Writes the cached parsed form back into its file's bytes when profile writes
// changed it. The platform rewrites the whole file on every write; doing that
// only when the bytes are looked at keeps a journal of many records from
// costing the square of its length. Every call that reads a file's bytes or
// length, or changes them, comes here first.
void SyncCached(void)
{
    if (!g_cachedAhead) return;
    g_cachedAhead = false;
    std::map<std::string, MemFile>::iterator it = g_files.find(g_cachedKey);
    if (it != g_files.end() && !it->second.folder) it->second.data = WriteIni(g_cached);
}

// The bytes of file key changed other than through the profile calls.
void Changed(const std::string &key)
{
    if (key == g_cachedKey) g_generation++;
}

// The parsed form of one file, kept until that file changes.
std::vector<IniSection> &Parsed(const std::string &key, const std::vector<BYTE> &data)
{
    if (key != g_cachedKey || g_generation != g_cachedGeneration) {
        SyncCached();
        g_cached = ParseIni(data);
        g_cachedKey = key;
        g_cachedGeneration = g_generation;
    }
    return g_cached;
}

// Copies value into buffer (size > 0 characters with the NUL) the way the
// platform does: one pair of matching enclosing quotes is stripped, and the
// closing quote is only dropped when the whole value fitted.
void CopyEntry(char *buffer, const char *value, DWORD size)
{
    char quote = 0;
    size_t n;
    if ((*value == '\'' || *value == '"') && value[1] && value[strlen(value) - 1] == *value)
        quote = *value++;
    n = strlen(value);
    if (n > size - 1) n = size - 1;
    memcpy(buffer, value, n);
    buffer[n] = 0;
    if (quote && size >= strlen(value) && n > 0) buffer[n - 1] = 0;
}

} // namespace

// ---- files -----------------------------------------------------------------------

void ShimReset(void)
{
    g_cachedAhead = false;
    g_generation++;
    g_files.clear();
    g_lastError = 0;
}

void ShimPutFile(const char *name, const void *data, size_t count)
{
    SyncCached();
    std::string key = Lower(name);
    MemFile &f = g_files[key];
    Changed(key);
    f.folder = false;
    f.data.assign((const BYTE *)data, (const BYTE *)data + count);
}

void ShimPutFolder(const char *name)
{
    SyncCached();
    std::string key = Lower(name);
    MemFile &f = g_files[key];
    Changed(key);
    f.folder = true;
    f.data.clear();
}

const BYTE *ShimFileData(const char *name, size_t *count)
{
    SyncCached();
    std::map<std::string, MemFile>::iterator it = g_files.find(Lower(name));
    if (it == g_files.end() || it->second.folder) return NULL;
    *count = it->second.data.size();
    return it->second.data.data();
}

int ShimOpenHandles(void)
{
    return (int)g_handles.size();
}

void ShimSetReadLimit(uint64_t limit)
{
    g_readLimit = limit;
}

void ShimSetProfileBudget(unsigned long reads, void (*budgetHandler)(void))
{
    g_profileReads = 0;
    g_profileBudget = reads;
    g_budgetHandler = budgetHandler;
}

unsigned long ShimProfileReads(void)
{
    return g_profileReads;
}

HANDLE CreateFileA(LPCSTR name, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD disposition,
                   DWORD, HANDLE)
{
    SyncCached();
    std::string key = Lower(name);
    std::map<std::string, MemFile>::iterator it = g_files.find(key);
    if (it != g_files.end() && it->second.folder) {
        g_lastError = 5;   // access denied, as for a folder
        return INVALID_HANDLE_VALUE;
    }
    if (it == g_files.end() && (disposition == OPEN_EXISTING || !(access & GENERIC_WRITE))) {
        g_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_HANDLE_VALUE;
    }
    MemFile &f = g_files[key];
    Changed(key);
    f.folder = false;
    if (disposition == CREATE_ALWAYS) f.data.clear();
    OpenFile *h = new OpenFile;
    h->key = key;
    h->position = 0;
    g_handles.insert(h);
    g_lastError = 0;
    return h;
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD count, LPDWORD done, LPOVERLAPPED)
{
    SyncCached();
    OpenFile *h = Find(file);
    *done = 0;
    if (!h) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::vector<BYTE> &data = g_files[h->key].data;
    uint64_t left = h->position < data.size() ? data.size() - h->position : 0;
    DWORD n = count < left ? count : (DWORD)left;
    if (g_readLimit && h->position + count > g_readLimit) {
        fprintf(stderr, "shim: read of %u bytes at %llu passes the limit %llu\n", count,
                (unsigned long long)h->position, (unsigned long long)g_readLimit);
        abort();
    }
    if (n) memcpy(buffer, data.data() + h->position, n);
    h->position += n;
    *done = n;
    return TRUE;
}

BOOL WriteFile(HANDLE file, const void *buffer, DWORD count, LPDWORD done, LPOVERLAPPED)
{
    SyncCached();
    OpenFile *h = Find(file);
    *done = 0;
    if (!h) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    std::vector<BYTE> &data = g_files[h->key].data;
    Changed(h->key);
    if (data.size() < h->position + count) data.resize(h->position + count);
    if (count) memcpy(data.data() + h->position, buffer, count);
    h->position += count;
    *done = count;
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG low, LONG *high, DWORD method)
{
    SyncCached();
    OpenFile *h = Find(file);
    int64_t distance, base = 0, target;
    if (!h) {
        g_lastError = ERROR_INVALID_HANDLE;
        return INVALID_SET_FILE_POINTER;
    }
    distance = high ? (int64_t)((uint64_t)(uint32_t)*high << 32 | (uint32_t)low) : (int64_t)low;
    if (method == FILE_CURRENT) base = (int64_t)h->position;
    if (method == FILE_END) base = (int64_t)g_files[h->key].data.size();
    target = base + distance;
    if (target < 0) {
        g_lastError = ERROR_NEGATIVE_SEEK;
        return INVALID_SET_FILE_POINTER;
    }
    h->position = (uint64_t)target;
    if (high) *high = (LONG)(target >> 32);
    g_lastError = NO_ERROR;
    return (DWORD)target;
}

BOOL CloseHandle(HANDLE handle)
{
    OpenFile *h = Find(handle);
    if (!h) {
        g_lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    g_handles.erase(h);
    delete h;
    return TRUE;
}

DWORD GetLastError(void) { return g_lastError; }
void SetLastError(DWORD code) { g_lastError = code; }

// Drive roots ("C:", "C:\") and UNC shares ("\\server\share") always exist.
static bool IsRoot(const std::string &path)
{
    if (path.size() >= 2 && path.size() <= 3 && path[1] == ':')
        return path.size() == 2 || path[2] == '\\';
    if (path.size() > 2 && path[0] == '\\' && path[1] == '\\') {
        size_t server = path.find('\\', 2);
        return server == std::string::npos || path.find('\\', server + 1) == std::string::npos;
    }
    return false;
}

DWORD GetFileAttributesA(LPCSTR name)
{
    std::string key = Lower(name);
    if (IsRoot(key)) return FILE_ATTRIBUTE_DIRECTORY;
    std::map<std::string, MemFile>::iterator it = g_files.find(key);
    if (it == g_files.end()) {
        g_lastError = ERROR_FILE_NOT_FOUND;
        return INVALID_FILE_ATTRIBUTES;
    }
    return it->second.folder ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL GetFileAttributesExA(LPCSTR name, GET_FILEEX_INFO_LEVELS, LPVOID info)
{
    SyncCached();
    WIN32_FILE_ATTRIBUTE_DATA *out = static_cast<WIN32_FILE_ATTRIBUTE_DATA *>(info);
    DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return FALSE;
    memset(out, 0, sizeof *out);
    out->dwFileAttributes = attributes;
    std::map<std::string, MemFile>::iterator it = g_files.find(Lower(name));
    if (it != g_files.end()) {
        uint64_t size = it->second.data.size();
        out->nFileSizeLow = (DWORD)size;
        out->nFileSizeHigh = (DWORD)(size >> 32);
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR name, LPSECURITY_ATTRIBUTES)
{
    std::string key = Lower(name);
    if (key.empty() || IsRoot(key) || g_files.count(key)) {
        g_lastError = ERROR_ALREADY_EXISTS;
        return FALSE;
    }
    size_t slash = key.rfind('\\');
    std::string parent = slash == std::string::npos ? std::string() : key.substr(0, slash);
    if (!parent.empty() && !IsRoot(parent) &&
        !(g_files.count(parent) && g_files[parent].folder)) {
        g_lastError = ERROR_PATH_NOT_FOUND;
        return FALSE;
    }
    ShimPutFolder(name);
    return TRUE;
}

UINT SetErrorMode(UINT mode)
{
    static UINT current;   // the process's error mode
    UINT old = current;
    current = mode;
    return old;
}

HANDLE GetProcessHeap(void) { return (HANDLE)&g_files; }

LPVOID HeapAlloc(HANDLE, DWORD flags, size_t bytes)
{
    return (flags & HEAP_ZERO_MEMORY) ? calloc(1, bytes ? bytes : 1) : malloc(bytes ? bytes : 1);
}

BOOL HeapFree(HANDLE, DWORD, LPVOID block)
{
    free(block);
    return TRUE;
}

int lstrlenA(LPCSTR text)
{
    return text ? (int)strlen(text) : 0;
}

int wsprintfA(LPSTR out, LPCSTR format, ...)
{
    char work[SHIM_WSPRINTF_MAX + 1];
    va_list args;
    int n;
    va_start(args, format);
    n = vsnprintf(work, sizeof work, format, args);
    va_end(args);
    if (n < 0) n = 0;
    if (n > SHIM_WSPRINTF_MAX) n = SHIM_WSPRINTF_MAX;
    memcpy(out, work, (size_t)n);   // an overrun of out shows here
    out[n] = 0;
    return n;
}

// ---- profile ---------------------------------------------------------------------

DWORD GetPrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size,
                               LPCSTR file)
{
    std::string defText = def ? def : "";
    size_t nul;
    if (g_profileBudget && ++g_profileReads > g_profileBudget && g_budgetHandler)
        g_budgetHandler();
    if (!buffer || size == 0) return 0;
    while (!defText.empty() && defText[defText.size() - 1] == ' ') defText.resize(defText.size() - 1);
    if (!section || !key) {   // listings are not modelled: they come out empty
        buffer[0] = 0;
        if (size > 1) buffer[1] = 0;
        return 0;
    }
    std::map<std::string, MemFile>::iterator it = g_files.find(Lower(file));
    const char *value = defText.c_str();
    if (it != g_files.end() && !it->second.folder) {
        std::vector<IniSection> &ini = Parsed(it->first, it->second.data);
        IniKey *k = FindKey(FindSection(ini, section), key);
        if (k && k->hasValue) value = k->value.c_str();
    }
    CopyEntry(buffer, value, size);
    nul = strlen(buffer);
    return (DWORD)nul;
}

DWORD GetProfileStringA(LPCSTR section, LPCSTR key, LPCSTR def, LPSTR buffer, DWORD size)
{
    return GetPrivateProfileStringA(section, key, def, buffer, size, SHIM_WIN_INI);
}

BOOL WritePrivateProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value, LPCSTR file)
{
    if (!section) return !key && !value;   // the flush request
    std::string fileKey = Lower(file);
    MemFile &f = g_files[fileKey];
    if (f.folder) return FALSE;
    std::vector<IniSection> &ini = Parsed(fileKey, f.data);
    bool reparse = false;   // a value the text form would read back differently
    IniSection *s = FindSection(ini, section);
    if (!key) {
        for (size_t i = 0; i < ini.size(); i++)
            if (ini[i].named && SameName(ini[i].name, section)) ini.erase(ini.begin() + i--);
    } else if (!value) {
        if (s)
            for (size_t i = 0; i < s->keys.size(); i++)
                if (SameName(s->keys[i].name, key)) {
                    s->keys.erase(s->keys.begin() + i);
                    break;
                }
    } else {
        if (!s) {
            IniSection n;
            n.named = true;
            n.name = TrimProfile(section);
            n.lower = Lower(n.name.c_str());
            ini.push_back(n);
            s = &ini.back();
        }
        IniKey *k = FindKey(s, key);
        if (!k) {
            IniKey n;
            n.name = TrimProfile(key);
            n.lower = Lower(n.name.c_str());
            s->keys.push_back(n);
            k = &s->keys.back();
        }
        k->hasValue = true;
        k->value = TrimProfile(value);   // as written, then read again from the text
        reparse = strchr(value, '\n') != NULL;
    }
    g_generation++;
    if (reparse) {
        f.data = WriteIni(ini);   // read again from the text from now on
        g_cachedAhead = false;
    } else {
        g_cachedGeneration = g_generation;   // the parsed form is still exact
        g_cachedAhead = true;
    }
    return TRUE;
}

BOOL WriteProfileStringA(LPCSTR section, LPCSTR key, LPCSTR value)
{
    return WritePrivateProfileStringA(section, key, value, SHIM_WIN_INI);
}

LONG RegQueryValueExA(HKEY, LPCSTR, LPDWORD, LPDWORD, BYTE *, LPDWORD)
{
    return ERROR_FILE_NOT_FOUND;
}

int ReadExact(HANDLE file, void *buffer, DWORD count)
{
    DWORD done = 0;
    return ReadFile(file, buffer, count, &done, NULL) && done == count;
}

int WriteExact(HANDLE file, const void *buffer, DWORD count)
{
    DWORD done = 0;
    return WriteFile(file, buffer, count, &done, NULL) && done == count;
}
