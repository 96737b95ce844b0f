// tool_floor.cpp -- the benchmark's floor programs: the least work any
// installer of a package must do, measured under the same Wine as the real
// module. Reads a manifest of the package's file entries (written by
// bench/run) and, in the given mode, for every file:
//   write    creates its folder and writes its size in 16 KiB chunks, then
//            gives it its time (no package read at all);
//   inflate  the same with the real data: reads the entry's deflate data,
//            inflates it in 16 KiB chunks, checks its CRC-32, writes it;
//   limit    inflate, plus one cross-thread SendMessage per chunk and one
//            path message per file, to a window of another thread that does
//            nothing else: the least a conforming install can spend.
// "noop" starts and ends (the cost of starting a program under Wine).
// Test code only: writes nothing outside FOLDER, never changes the package.
//
// usage: tool_floor write|inflate|limit MANIFEST PACKAGE FOLDER
//        tool_floor noop
// manifest line: OFFSET PACKED SIZE CRC32(hex) FATTIME(hex) RELATIVE\PATH
// prints: floor: MODE SECONDS FILES BYTES; exit code 0, or 1 on any failure.
#include <windows.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "package/format.h"
#include "ui/uicodes.h"

namespace {

const DWORD kChunk = NVR_IO_CHUNK;          // input and output chunk, as the module's
const int kLineSize = 1024;                 // one manifest line
const char kPageClass[] = "NvrFloorPage";

enum Mode { ModeWrite, ModeInflate, ModeLimit };

struct Entry {
    unsigned long long offset;
    DWORD packed, size, crc, fatTime;
    std::string path;                       // relative, '\' separated
};

// The run's state: set up by main, used by the worker.
struct Run {
    Mode mode;
    std::vector<Entry> entries;
    std::string package, folder;
    HWND page = NULL;                       // limit mode: the other thread's window
    DWORD pageThread = 0;                   // limit mode: the thread that owns page
    double seconds = 0;
    unsigned long long bytes = 0;
    bool ok = true;
};

Run g_run;
unsigned char g_in[kChunk];
unsigned char g_out[kChunk];

bool ReadManifest(const char *path, std::vector<Entry> &entries)
{
    FILE *f = std::fopen(path, "r");
    if (!f)
        return false;
    char line[kLineSize];
    while (std::fgets(line, sizeof line, f)) {
        Entry e;
        int used = 0;
        unsigned long long offset;
        unsigned long packed, size, crc, fat;
        if (std::sscanf(line, "%llu %lu %lu %lx %lx %n", &offset, &packed, &size, &crc, &fat,
                        &used) < 5 || !used)
            continue;
        e.offset = offset;
        e.packed = packed;
        e.size = size;
        e.crc = crc;
        e.fatTime = fat;
        e.path = line + used;
        while (!e.path.empty() && (e.path.back() == '\n' || e.path.back() == '\r'))
            e.path.pop_back();
        entries.push_back(e);
    }
    std::fclose(f);
    return true;
}

// Creates folder and its parents below the run's folder (which exists).
void MakeFolders(const std::string &relativeFolder)
{
    std::string path = g_run.folder;
    size_t at = 0;
    while (at < relativeFolder.size()) {
        size_t end = relativeFolder.find('\\', at);
        if (end == std::string::npos)
            end = relativeFolder.size();
        path += "\\" + relativeFolder.substr(at, end - at);
        CreateDirectoryA(path.c_str(), NULL);
        at = end + 1;
    }
}

void Notify(UINT code, LPARAM value)
{
    if (g_run.page)
        SendMessageA(g_run.page, WM_USER, code, value);
}

bool WriteAll(HANDLE file, const void *data, DWORD n)
{
    DWORD done = 0;
    return WriteFile(file, data, n, &done, NULL) && done == n;
}

// Inflates entry e from package into file, chunk by chunk; checks the CRC-32.
bool InflateInto(HANDLE package, HANDLE file, const Entry &e)
{
    LARGE_INTEGER at;
    at.QuadPart = (LONGLONG)e.offset;
    if (!SetFilePointerEx(package, at, NULL, FILE_BEGIN))
        return false;
    z_stream z = {};
    if (inflateInit2(&z, NVR_INFLATE_WINDOW_BITS) != Z_OK)
        return false;
    DWORD left = e.packed, produced = 0;
    uLong crc = crc32(0, Z_NULL, 0);
    int status = Z_OK;
    bool ok = true;
    while (ok && status != Z_STREAM_END) {
        if (z.avail_in == 0 && left) {
            DWORD want = left < kChunk ? left : kChunk, got = 0;
            ok = ReadFile(package, g_in, want, &got, NULL) && got == want;
            z.next_in = g_in;
            z.avail_in = got;
            left -= got;
        }
        z.next_out = g_out;
        z.avail_out = kChunk;
        status = inflate(&z, Z_NO_FLUSH);
        DWORD n = kChunk - z.avail_out;
        if (status != Z_OK && status != Z_STREAM_END)
            ok = false;
        if (ok && n) {
            crc = crc32(crc, g_out, n);
            ok = WriteAll(file, g_out, n);
            produced += n;
            Notify(CodeAddBytes, (LPARAM)n);
        }
    }
    inflateEnd(&z);
    return ok && produced == e.size && crc == e.crc;
}

// Writes e.size bytes of the (unchanged) output buffer into file, chunk by chunk.
bool WriteSized(HANDLE file, const Entry &e)
{
    for (DWORD left = e.size; left;) {
        DWORD n = left < kChunk ? left : kChunk;
        if (!WriteAll(file, g_out, n))
            return false;
        Notify(CodeAddBytes, (LPARAM)n);
        left -= n;
    }
    return true;
}

void SetFatTime(HANDLE file, DWORD fat)
{
    FILETIME local, utc;
    if (DosDateTimeToFileTime(HIWORD(fat), LOWORD(fat), &local) &&
        LocalFileTimeToFileTime(&local, &utc))
        SetFileTime(file, NULL, NULL, &utc);
}

DWORD WINAPI Work(LPVOID)
{
    LARGE_INTEGER freq, start, end;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&start);
    HANDLE package = INVALID_HANDLE_VALUE;
    if (g_run.mode != ModeWrite)
        package = CreateFileA(g_run.package.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, NULL);
    if (g_run.mode != ModeWrite && package == INVALID_HANDLE_VALUE)
        g_run.ok = false;
    std::string lastFolder = "\001";
    for (size_t i = 0; g_run.ok && i < g_run.entries.size(); i++) {
        const Entry &e = g_run.entries[i];
        size_t cut = e.path.rfind('\\');
        std::string folder = cut == std::string::npos ? std::string() : e.path.substr(0, cut);
        if (folder != lastFolder) {
            MakeFolders(folder);
            lastFolder = folder;
        }
        Notify(CodeShowPath, (LPARAM)e.path.c_str());
        std::string target = g_run.folder + "\\" + e.path;
        HANDLE file = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) {
            std::printf("floor: cannot create %s (%lu)\n", target.c_str(), GetLastError());
            g_run.ok = false;
            break;
        }
        bool written = g_run.mode == ModeWrite ? WriteSized(file, e) : InflateInto(package, file, e);
        if (written)
            SetFatTime(file, e.fatTime);
        CloseHandle(file);
        if (!written) {
            std::printf("floor: %s failed\n", e.path.c_str());
            g_run.ok = false;
        }
        g_run.bytes += e.size;
    }
    if (package != INVALID_HANDLE_VALUE)
        CloseHandle(package);
    QueryPerformanceCounter(&end);
    g_run.seconds = double(end.QuadPart - start.QuadPart) / double(freq.QuadPart);
    if (g_run.page)
        PostThreadMessageA(g_run.pageThread, WM_QUIT, 0, 0);
    return 0;
}

LRESULT CALLBACK PageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER)
        return 0;
    return DefWindowProcA(window, message, wParam, lParam);
}

// Limit mode: the window lives on this thread, which only pumps its messages
// until the worker thread has ended. A plain GetMessage loop, like a page's:
// it waits inside the server and takes each sent message in one request.
void RunWithPage()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = PageProc;
    wc.hInstance = GetModuleHandleA(NULL);
    wc.lpszClassName = kPageClass;
    RegisterClassA(&wc);
    g_run.page = CreateWindowExA(0, kPageClass, "floor page", WS_OVERLAPPED, 0, 0, 10, 10, NULL,
                                 NULL, wc.hInstance, NULL);
    if (!g_run.page) {
        g_run.ok = false;
        return;
    }
    g_run.pageThread = GetCurrentThreadId();
    HANDLE worker = CreateThread(NULL, 0, Work, NULL, 0, NULL);
    if (!worker) {
        g_run.ok = false;
        DestroyWindow(g_run.page);
        return;
    }
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    WaitForSingleObject(worker, INFINITE);
    CloseHandle(worker);
    DestroyWindow(g_run.page);
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc == 2 && std::strcmp(argv[1], "noop") == 0) {
        std::printf("floor: noop 0 0 0\n");
        return 0;
    }
    if (argc != 5) {
        std::printf("usage: tool_floor write|inflate|limit MANIFEST PACKAGE FOLDER\n");
        return 1;
    }
    std::string mode = argv[1];
    if (mode == "write")
        g_run.mode = ModeWrite;
    else if (mode == "inflate")
        g_run.mode = ModeInflate;
    else if (mode == "limit")
        g_run.mode = ModeLimit;
    else {
        std::printf("floor: unknown mode %s\n", argv[1]);
        return 1;
    }
    if (!ReadManifest(argv[2], g_run.entries)) {
        std::printf("floor: cannot read %s\n", argv[2]);
        return 1;
    }
    g_run.package = argv[3];
    g_run.folder = argv[4];
    CreateDirectoryA(g_run.folder.c_str(), NULL);
    std::memset(g_out, 'x', sizeof g_out);
    if (g_run.mode == ModeLimit)
        RunWithPage();
    else
        Work(NULL);
    std::printf("floor: %s %.6f %zu %llu\n", argv[1], g_run.seconds, g_run.entries.size(),
                g_run.bytes);
    return g_run.ok ? 0 : 1;
}
