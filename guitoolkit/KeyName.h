// The name of a virtual key as menus show it beside a command ("Delete",
// "F10"), taken from the system's key-name table.
#pragma once

#include "classlib/String.h"

#include <windows.h>

// Empty when the system has no name for the key.
CString GetAcceleratorKeyName(UINT nVirtKey);
