#include "gui/ProcessElevation.h"

#include "base/AutoHandle.h"

#include <windows.h>

namespace
{
bool KnowsElevation()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    // An unanswered version query leaves the elevation test to decide.
    if (!::GetVersionExW(&stVersion))
        return true;
    return stVersion.dwPlatformId == VER_PLATFORM_WIN32_NT && stVersion.dwMajorVersion > 5;
}
} // namespace

bool IsProcessElevated()
{
    if (!KnowsElevation())
        return true;
    HANDLE hToken = NULL;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &hToken))
        return false;
    CAutoHandle token(hToken);
    TOKEN_ELEVATION stElevation = {};
    DWORD dwReturned = 0;
    if (!::GetTokenInformation(token.Get(), TokenElevation, &stElevation, sizeof(stElevation), &dwReturned))
        return false;
    return stElevation.TokenIsElevated != 0;
}
