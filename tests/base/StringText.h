// The text of a CUnicodeString as a standard string, for comparisons and messages in tests.
#pragma once

#include <string>

#include "base/UnicodeString.h"

inline std::wstring Text(const CUnicodeString& str)
{
    return str.GetLength() == 0 ? std::wstring() : std::wstring(str.GetBuffer(), str.GetLength());
}
