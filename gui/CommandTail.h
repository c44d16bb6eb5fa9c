// The command line that a later start of the program hands to the copy that
// already runs, and how the first copy reads it.
#pragma once

#include "classlib/String.h"

#include <windows.h>

// What follows the program's own name on a command line, as it stands; the
// name ends at its closing quote, or at the first blank when unquoted.
CString CommandTail(const wchar_t* pszCommandLine);
// The text of a WM_COPYDATA from another process: never more than the bytes
// it says it carries, and up to its first terminator.
CString CopyDataText(const COPYDATASTRUCT* pData);
// "/minimize" on the command line: the program keeps to the tray.
bool AsksToStayHidden(const wchar_t* pszCommandTail);
