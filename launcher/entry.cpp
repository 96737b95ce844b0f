// entry.cpp -- the module's own entry point. There is no C runtime start-up:
// the entry takes the instance and the command line straight from the system,
// runs the chosen mode and ends the process with its exit code.
#include "launcher/launcher.h"

extern "C" __attribute__((used)) void WINAPI ModuleEntry(void)
{
    HINSTANCE instance = GetModuleHandleA(NULL);
    ExitProcess((UINT)RunModule(instance, SkipProgramName(GetCommandLineA())));
}
