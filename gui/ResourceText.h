// A text of the program's string table, empty when the table lacks it.
#pragma once

#include "classlib/String.h"

#include <windows.h>

CString ResourceText(UINT nId);
