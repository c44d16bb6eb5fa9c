// The process-wide facts and flags the toolkit's drawing reads: the Windows
// version class, Wine, high contrast, whether a visual style is active, the
// modern style flag, the current menu theme and the screen's colour count,
// with the system functions whose answers tests must choose. Set once at
// start-up on the GUI thread; tests replace them to reach every branch.
#pragma once

#include <windows.h>

struct stToolkitEnvironment
{
    // GetWinVersionClass, computed at start-up.
    int nVersionClass;
    // Running under Wine: kernel32 exports wine_get_unix_file_name.
    bool bWine = false;
    bool bHighContrast = false;
    // GetSystemMetrics(SM_REMOTESESSION): menus hot-track by timer there.
    bool bRemoteSession = false;
    // Major version of the loaded common controls; Wine reports 5 even with
    // the version 6 manifest, so its class is below 6.
    int nCommonControlsClass = 0;
    // Bits per pixel of the screen; palette devices draw without tints.
    int nBitsPerPixel = 32;
    // IsThemeActive of the visual-style library; null counts as "no style".
    BOOL(WINAPI* pfnIsThemeActive)() = nullptr;
    // Bound at start-up from msimg32 and uxtheme; null when missing.
    BOOL(WINAPI* pfnGradientFill)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG) = nullptr;
    HRESULT(WINAPI* pfnSetWindowTheme)(HWND, LPCWSTR, LPCWSTR) = nullptr;
    // Bound at start-up from uxtheme for the dialogs' themed look; null when missing.
    HRESULT(WINAPI* pfnEnableThemeDialogTexture)(HWND, DWORD) = nullptr;
    // 1 until the main frame applies its style: bars and menu bars are black.
    BYTE bModernStyle = 1;
    // Id of the current menu theme, -1 while none is selected.
    int nCurrentTheme = -1;
    // 0 until first asked; then the cached count.
    int nScreenColors = 0;
    // The system colours, replaceable so that drawing can be checked on fixed ones.
    DWORD(WINAPI* pfnGetSysColor)(int) = ::GetSysColor;
    // SetTimer as SetFreeTimer calls it.
    UINT_PTR(WINAPI* pfnSetTimer)(HWND, UINT_PTR, UINT, TIMERPROC) = ::SetTimer;
    // The clock of the icon refresh throttle.
    DWORD(WINAPI* pfnGetTickCount)() = ::GetTickCount;
    // Key names of accelerator texts; Wine answers with X key names.
    int(WINAPI* pfnGetKeyNameText)(LONG, LPWSTR, int) = ::GetKeyNameTextW;
    // The pointer and the window under it, which make a tool bar button hot;
    // Wine cannot move the X pointer for a test.
    BOOL(WINAPI* pfnGetCursorPos)(LPPOINT) = ::GetCursorPos;
    HWND(WINAPI* pfnWindowFromPoint)(POINT) = ::WindowFromPoint;

    bool IsVisualStyleActive() const { return pfnIsThemeActive != nullptr && pfnIsThemeActive(); }
    COLORREF SysColor(int nIndex) const { return pfnGetSysColor(nIndex); }
};

stToolkitEnvironment& ToolkitEnvironment();
