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

stTrayGeometry ReadTrayGeometry()
{
    stTrayGeometry stGeometry = {};
    HWND hTaskbar = ::FindWindowW(L"Shell_TrayWnd", nullptr);
    // A shell may keep a hidden taskbar of no size, which shows no tray.
    stGeometry.bTaskbar = hTaskbar != NULL && ::IsWindowVisible(hTaskbar) &&
                          ::GetWindowRect(hTaskbar, &stGeometry.rcTaskbar) && !::IsRectEmpty(&stGeometry.rcTaskbar);
    HWND hNotify = hTaskbar != NULL ? ::FindWindowExW(hTaskbar, NULL, L"TrayNotifyWnd", nullptr) : NULL;
    stGeometry.bNotifyArea = hNotify != NULL && ::GetWindowRect(hNotify, &stGeometry.rcNotifyArea);
    HWND hClock = hNotify != NULL ? ::FindWindowExW(hNotify, NULL, L"TrayClockWClass", nullptr) : NULL;
    stGeometry.bClock = hClock != NULL && ::GetWindowRect(hClock, &stGeometry.rcClock);
    APPBARDATA stBar = {};
    stBar.cbSize = sizeof(stBar);
    stGeometry.bAppBar = ::SHAppBarMessage(ABM_GETTASKBARPOS, &stBar) != FALSE;
    stGeometry.uAppBarEdge = stBar.uEdge;
    stGeometry.rcAppBar = stBar.rc;
    if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &stGeometry.rcWorkArea, 0))
        ::SetRect(&stGeometry.rcWorkArea, 0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN));
    return stGeometry;
}
} // namespace

void ComputeTrayRect(const stTrayGeometry& stGeometry, RECT* pRect)
{
    if (stGeometry.bTaskbar)
    {
        *pRect = stGeometry.rcTaskbar;
        if (!stGeometry.bNotifyArea)
            return;
        *pRect = stGeometry.rcNotifyArea;
        if (!stGeometry.bClock)
            return;
        // A clock that ends well above the area's bottom sits in a vertical taskbar.
        if (stGeometry.rcClock.bottom < pRect->bottom - 5)
            pRect->top = stGeometry.rcClock.bottom;
        else
            pRect->right = stGeometry.rcClock.left;
        return;
    }
    const RECT& rc = stGeometry.rcAppBar;
    if (stGeometry.bAppBar && (stGeometry.uAppBarEdge == ABE_LEFT || stGeometry.uAppBarEdge == ABE_RIGHT))
        ::SetRect(pRect, rc.left, rc.bottom - 100, rc.right, rc.bottom - 16);
    else if (stGeometry.bAppBar)
        ::SetRect(pRect, rc.right - 100, rc.top, rc.right - 16, rc.bottom);
    else
        ::SetRect(pRect, stGeometry.rcWorkArea.right - 150, stGeometry.rcWorkArea.bottom - 30,
                  stGeometry.rcWorkArea.right, stGeometry.rcWorkArea.bottom);
}

void GetTrayRect(RECT* pRect)
{
    ComputeTrayRect(ReadTrayGeometry(), pRect);
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
    // Clearing WS_VISIBLE in the style alone leaves the window's pixels on the
    // screen, and a later SW_HIDE then does nothing, as the style already says
    // hidden: the window must be hidden for real.
    ::ShowWindow(hWnd, SW_HIDE);
    // The owner, not the parent: a parent would make the frame a child window.
    ::SetWindowLongPtrW(hWnd, GWLP_HWNDPARENT, reinterpret_cast<LONG_PTR>(HiddenOwner(true)));
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
    // Shown the way it was hidden, so the system maps it again.
    ::ShowWindow(hWnd, SW_SHOW);
    ::RedrawWindow(hWnd, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
    if (HWND hOwner = HiddenOwner(false))
        ::SetActiveWindow(hOwner);
    ::SetActiveWindow(hWnd);
    ::SetForegroundWindow(hWnd);
}
