// The stand-in for the system's disk-checking library: ChkdskEx and Chkdsk with the system's
// signatures and callback protocol, which check the simulated volume for real (the volume's
// own integrity proof), report progress in three stages and text lines, honour a callback
// that answers false, and fail when told to.
#pragma once

#include <windows.h>

class CSimChkdsk
{
public:
    // The callback's commands and the record behind the text-output command.
    static constexpr int CommandProgress = 0;
    static constexpr int CommandDone = 11;
    static constexpr int CommandOutput = 14;
    struct TEXT_OUTPUT
    {
        DWORD dwLines;
        PCHAR pszOutput;
    };
    typedef BOOLEAN(WINAPI* PCALLBACK)(int nCommand, DWORD dwSubAction, PVOID pData);

    static VOID WINAPI ChkdskEx(PWSTR pszRoot, PWSTR pszFileSystem, BOOLEAN bFix, PVOID pOptions, PCALLBACK pfnCallback);
    static VOID WINAPI Chkdsk(PWSTR pszRoot, PWSTR pszFileSystem, BOOLEAN bFix, BOOLEAN bVerbose, BOOLEAN bOnlyIfDirty,
                              BOOLEAN bRecover, PVOID pPath, PVOID pUnused, PCALLBACK pfnCallback);
    // The entry point of that name, or null.
    static FARPROC EntryPoint(LPCSTR pszName);

private:
    static void Run(PWSTR pszRoot, PCALLBACK pfnCallback);
};
