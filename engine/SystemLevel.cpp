#include "engine/SystemLevel.h"

#include <atomic>

namespace {

constexpr int NewestLevel = 3;

// 0 until set or first read.
std::atomic<int> s_nSystemLevel{0};

int LevelOfThisSystem()
{
    OSVERSIONINFOW stVersion = {};
    stVersion.dwOSVersionInfoSize = sizeof(stVersion);
    if (!::GetVersionExW(&stVersion))
        return NewestLevel;
    return SystemLevelFromVersion(stVersion.dwMajorVersion, stVersion.dwMinorVersion);
}

} // namespace

// Systems after 6.x report 6.2 to a program without a compatibility manifest and 10.0 to one
// with it; both are the newest generation the engine knows.
int SystemLevelFromVersion(DWORD dwMajor, DWORD dwMinor)
{
    if (dwMajor >= 6)
        return NewestLevel;
    return dwMinor != 0 ? 2 : 1;
}

int GetSystemLevel()
{
    int nLevel = s_nSystemLevel.load();
    if (nLevel == 0)
    {
        int nExpected = 0;
        s_nSystemLevel.compare_exchange_strong(nExpected, LevelOfThisSystem());
        nLevel = s_nSystemLevel.load();
    }
    return nLevel;
}

void SetSystemLevel(int nLevel)
{
    s_nSystemLevel.store(nLevel);
}
