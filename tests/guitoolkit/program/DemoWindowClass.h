// The window class of a demo program's frames: the class library's default
// class under a name of the demo's own, by which the GUI harness finds them.
#pragma once

#include "classlib/Wnd.h"

inline bool RegisterDemoWindowClass(const wchar_t* pszName)
{
    const wchar_t* pszClass = CWnd::RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                                         reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1));
    WNDCLASSW stClass = {};
    if (pszClass == nullptr || !::GetClassInfoW(::GetModuleHandleW(nullptr), pszClass, &stClass))
        return false;
    stClass.lpszClassName = pszName;
    return ::RegisterClassW(&stClass) != 0;
}
