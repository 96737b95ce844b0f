// windows.h -- the native fuzz builds' windows.h: forwards to the in-memory
// stand-in. Must not be on the include path of any Windows build.
#include "../win32shim.h"
