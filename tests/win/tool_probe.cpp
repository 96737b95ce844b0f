// tool_probe.cpp -- a stand-in program for tests: writes its command line and
// current folder to the file named by NVR_PROBE_OUT (one line each) and ends
// with exit code 7, so a test can see exactly how it was started.
#include <windows.h>

int main()
{
    char out[MAX_PATH];
    char dir[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("NVR_PROBE_OUT", out, sizeof out);
    if (n == 0 || n >= sizeof out)
        return 1;
    GetCurrentDirectoryA(sizeof dir, dir);
    HANDLE f = CreateFileA(out, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (f == INVALID_HANDLE_VALUE)
        return 2;
    DWORD put;
    const char *line = GetCommandLineA();
    WriteFile(f, line, lstrlenA(line), &put, NULL);
    WriteFile(f, "\n", 1, &put, NULL);
    WriteFile(f, dir, lstrlenA(dir), &put, NULL);
    WriteFile(f, "\n", 1, &put, NULL);
    CloseHandle(f);
    return 7;
}
