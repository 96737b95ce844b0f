// dll_regfail.cpp -- a DLL whose DllRegisterServer and DllUnregisterServer both
// return E_FAIL without doing anything. Test code only.
#include <windows.h>

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) { return E_FAIL; }
extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) { return E_FAIL; }
