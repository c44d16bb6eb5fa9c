// A language library of the updater for the tests: loaded as data, so this
// entry never runs.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
