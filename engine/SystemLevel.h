// The process-wide system level, which picks the engine's behaviour by Windows generation:
// 3 from major version 6 on, else 2 when the minor version is not 0, else 1.
#pragma once

#include <windows.h>

int SystemLevelFromVersion(DWORD dwMajor, DWORD dwMinor);

// Until the service sets it, the level of the version the system reports to this program.
int GetSystemLevel();
void SetSystemLevel(int nLevel);
