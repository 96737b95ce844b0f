// tool_desktop.cpp -- keeps the test run's desktop open.
// Wine closes a desktop, and ends its explorer.exe, about a second after the
// last program using it has ended. A test program that starts during that
// close finds a desktop that is going away and cannot create windows on it,
// so tests/wine-run --setup starts this program in the background; it stays
// connected to the desktop until the wineserver is stopped.
//
// usage: tool_desktop            (runs until it is killed)
#include <windows.h>

int main()
{
    // Connects this thread to the desktop and starts the desktop process.
    if (!GetDesktopWindow())
        return 1;
    MSG msg;
    while (GetMessageA(&msg, NULL, 0, 0) > 0)
        DispatchMessageA(&msg);
    return 0;
}
