// The visual-style calls the toolkit uses, bound by name on first use so the
// program also runs where the visual-style library is missing.
#pragma once

#include <windows.h>

namespace uxtheme
{
typedef HANDLE HTHEME;

// Null when the library or the entry is missing.
HTHEME OpenThemeData(HWND hWnd, const wchar_t* pszClassList);
// 0 when missing.
HRESULT CloseThemeData(HTHEME hTheme);
// E_NOTIMPL when missing.
HRESULT GetThemeColor(HTHEME hTheme, int nPart, int nState, int nProperty, COLORREF* pColor);
} // namespace uxtheme
