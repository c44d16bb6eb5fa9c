// Texts and numbers of the service's answers in the program's own string type.
#pragma once

#include "base/UnicodeString.h"
#include "classlib/String.h"

#include <cstdint>
#include <string>

inline CString WireText(const CUnicodeString& str)
{
    return str.GetBuffer() != nullptr ? CString(str.GetBuffer(), str.GetLength()) : CString();
}

// Numbers the service leaves unknown arrive as -1 and show blank.
inline CString NumberText(int64_t llValue)
{
    return llValue == -1 ? CString(L" ") : CString(std::to_wstring(llValue));
}
