// dll_comserver.cpp -- a COM server stand-in for the registration tests: its
// DllRegisterServer creates HKCU "Software\NuvarTest\<its own file name>" and
// its DllUnregisterServer removes it, so copies under different names register
// independently. Test code only; must not touch any other key.
#include <windows.h>

static HMODULE s_self;

// Writes the key name for this copy of the DLL into key (MAX_PATH bytes).
static void KeyName(char *key)
{
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(s_self, path, MAX_PATH);
    const char *name = path;
    for (DWORD i = 0; i < n; i++)
        if (path[i] == '\\') name = path + i + 1;
    wsprintfA(key, "Software\\NuvarTest\\%.200s", name);
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH) s_self = instance;
    return TRUE;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllRegisterServer(void)
{
    char key[MAX_PATH];
    HKEY h;
    KeyName(key);
    if (RegCreateKeyExA(HKEY_CURRENT_USER, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &h, NULL))
        return E_FAIL;
    RegCloseKey(h);
    return S_OK;
}

extern "C" __declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void)
{
    char key[MAX_PATH];
    KeyName(key);
    return RegDeleteKeyA(HKEY_CURRENT_USER, key) == ERROR_SUCCESS ? S_OK : E_FAIL;
}
