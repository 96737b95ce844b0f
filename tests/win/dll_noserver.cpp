// dll_noserver.cpp -- a DLL that loads but exports neither DllRegisterServer
// nor DllUnregisterServer. Test code only.
#include <windows.h>

extern "C" __declspec(dllexport) int WINAPI NvrNotAServer(void) { return 1; }
