// dll_ver1200.cpp -- a DLL whose VERSIONINFO (dll_ver1200.rc) gives file version
// 1.2.0.0, for the version tests of file placement. Test code only.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI NvrVersionProbe1200(void) { return 1200; }
