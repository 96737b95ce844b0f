// completion.cpp -- the completion step.
#include "ui/completion.h"
#include "launcher/launcher.h"
#include "setupinfo/profile.h"

DWORD WINAPI CompletionStep(LPVOID)
{
    ProfileFlush(g_endInstallPath);
    DeleteFileA(g_endInstallPath);
    return 0;
}
