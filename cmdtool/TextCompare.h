// Case-insensitive comparison of the client's words and volume names, the
// same in every locale.
#pragma once

#include <windows.h>

inline bool IsSameTextNoCase(const wchar_t* pszA, const wchar_t* pszB)
{
    return ::CompareStringOrdinal(pszA, -1, pszB, -1, TRUE) == CSTR_EQUAL;
}
