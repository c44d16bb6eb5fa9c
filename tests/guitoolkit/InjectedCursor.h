// A pointer position and the window under it that the toolkit reads in place
// of the system's: Wine cannot move the X pointer for a test.
#pragma once

#include "guitoolkit/ToolkitEnvironment.h"

#include <windows.h>

namespace injected_cursor
{
inline POINT g_ptScreen;
inline HWND g_hWndUnder;

inline BOOL WINAPI CursorPos(LPPOINT pPoint)
{
    *pPoint = g_ptScreen;
    return TRUE;
}

inline HWND WINAPI WindowFromPoint(POINT)
{
    return g_hWndUnder;
}
} // namespace injected_cursor

// Puts the pointer at the client point of the window, over that window.
inline void PlaceInjectedCursor(HWND hWnd, POINT ptClient)
{
    injected_cursor::g_ptScreen = ptClient;
    ::ClientToScreen(hWnd, &injected_cursor::g_ptScreen);
    injected_cursor::g_hWndUnder = hWnd;
    ToolkitEnvironment().pfnGetCursorPos = injected_cursor::CursorPos;
    ToolkitEnvironment().pfnWindowFromPoint = injected_cursor::WindowFromPoint;
}
