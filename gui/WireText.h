// Texts of the service's answers in the program's own string type.
#pragma once

#include "base/UnicodeString.h"
#include "classlib/String.h"

inline CString WireText(const CUnicodeString& str)
{
    return str.GetBuffer() != nullptr ? CString(str.GetBuffer(), str.GetLength()) : CString();
}
