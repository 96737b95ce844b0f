// dll_ver1100.cpp -- a DLL whose VERSIONINFO (dll_ver1100.rc) gives file version
// 1.10.0.0, for the version tests of file placement. Test code only.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI NvrVersionProbe1100(void) { return 1100; }
