// The program's own version file: the file that string 120 names, found
// beside the program, or under "Debug\" or "DebugVarnefold\" where a
// developer's build leaves it. The About box, the check of the service's
// version and the updater's start all read the same one.
#pragma once

#include "base/FileVersionInfo.h"
#include "classlib/String.h"

// False when none of the three opens. An empty name takes the one of the string table.
bool OpenProgramVersionFile(CFileVersionInfo& info, const CString& strFileName = CString());
// A version text of the file as the program shows it: "1.0.0.0" when missing.
CString VersionTextOrDefault(const CUnicodeString& strVersion);
