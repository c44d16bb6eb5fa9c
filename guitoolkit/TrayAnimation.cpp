#include "guitoolkit/TrayAnimation.h"

#include "classlib/Wnd.h"

#include <shellapi.h>

namespace
{
// One hidden owner for the program's tray windows, made on first need.
HWND g_hHiddenOwner = NULL;

HWND HiddenOwner(bool bCreate)
{
    if (g_hHiddenOwner != NULL && !::IsWindow(g_hHiddenOwner))
        g_hHiddenOwner = NULL;
    if (g_hHiddenOwner == NULL && bCreate)
        g_hHiddenOwner = ::CreateWindowExW(0, CWnd::RegisterDefaultClass(), L"", WS_POPUP, 0, 0, 0, 0, NULL, NULL,
                                           ::GetModuleHandleW(nullptr), nullptr);
    return g_hHiddenOwner;
}

bool SystemAnimates(BOOL bForce)
{
    if (bForce)
        return true;
    ANIMATIONINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    return ::SystemParametersInfoW(SPI_GETANIMATION, sizeof(stInfo), &stInfo, 0) && stInfo.iMinAnimate != 0;
}

bool TrayRectFromTaskbar(RECT* pRect)
{
    HWND hTaskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    if (hTaskbar == NULL)
        return false;
    ::GetWindowRect(hTaskbar, pRect);
    HWND hNotify = ::FindWindowExW(hTaskbar, NULL, L"TrayNotifyWnd", nullptr);
    if (hNotify == NULL)
        return true;
    ::GetWindowRect(hNotify, pRect);
    HWND hClock = ::FindWindowExW(hNotify, NULL, L"TrayClockWClass", nullptr);
    RECT rcClock;
    if (hClock != NULL && ::GetWindowRect(hClock, &rcClock))
    {
        // A clock that ends well above the area's bottom sits in a vertical taskbar.
        if (rcClock.bottom < pRect->bottom - 5)
            pRect->top = rcClock.bottom;
        else
            pRect->right = rcClock.left;
    }
    return true;
}

bool TrayRectFromAppBar(RECT* pRect)
{
    APPBARDATA stBar = {};
    stBar.cbSize = sizeof(stBar);
    if (!::SHAppBarMessage(ABM_GETTASKBARPOS, &stBar))
        return false;
    const RECT& rc = stBar.rc;
    if (stBar.uEdge == ABE_LEFT || stBar.uEdge == ABE_RIGHT)
        ::SetRect(pRect, rc.left, rc.bottom - 100, rc.right, rc.bottom - 16);
    else
        ::SetRect(pRect, rc.right - 100, rc.top, rc.right - 16, rc.bottom);
    return true;
}
} // namespace

void GetTrayRect(RECT* pRect)
{
    if (TrayRectFromTaskbar(pRect) || TrayRectFromAppBar(pRect))
        return;
    RECT rcWork = {};
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &rcWork, 0))
        ::SetRect(&rcWork, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    ::SetRect(pRect, rcWork.right - 150, rcWork.bottom - 30, rcWork.right, rcWork.bottom);
}

void AnimateToTray(HWND hWnd, BOOL bForce)
{
    if (SystemAnimates(bForce))
    {
        RECT rcFrom, rcTo;
        ::GetWindowRect(hWnd, &rcFrom);
        GetTrayRect(&rcTo);
        ::DrawAnimatedRects(hWnd, IDANI_CAPTION, &rcFrom, &rcTo);
    }
    // The owner, not the parent: a parent would make the frame a child window.
    ::SetWindowLongPtrW(hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(HiddenOwner(true)));
    LONG_PTR lStyle = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(hWnd, GWL_STYLE, lStyle & ~static_cast<LONG_PTR>(WS_VISIBLE));
}

void AnimateFromTray(HWND hWnd, BOOL bForce)
{
    ::SetWindowLongPtrW(hWnd, GWLP_HWNDPARENT, 0);
    if (SystemAnimates(bForce))
    {
        RECT rcFrom, rcTo;
        GetTrayRect(&rcFrom);
        ::GetWindowRect(hWnd, &rcTo);
        ::DrawAnimatedRects(hWnd, IDANI_CAPTION, &rcFrom, &rcTo);
    }
    LONG_PTR lStyle = ::GetWindowLongPtrW(hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(hWnd, GWL_STYLE, lStyle | WS_VISIBLE);
    ::RedrawWindow(hWnd, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (HWND hOwner = HiddenOwner(false))
        ::SetActiveWindow(hOwner);
    ::SetActiveWindow(hWnd);
    ::SetForegroundWindow(hWnd);
}
