// Opening the menu bar's popups: placement, the paint that must happen
// before the menu loop starts, and the loop's message filter that switches
// to a neighbouring popup.
#include "guitoolkit/SkinMenuBar.h"

#include "classlib/Menu.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"

namespace
{
// Paint messages come again while some window keeps an update region; a
// handler that never validates must not hold the bar here for ever.
constexpr int MaxPaintDispatches = 256;
} // namespace

stPopupPlacement CSkinMenuBar::PlacePopup(HMENU hPopup, const RECT& rcItem, HWND hOwner, BOOL bVertical)
{
    RECT rcWork = {};
    GetMonitorWorkArea(rcWork, rcItem);
    int nEstimate = 0;
    if (CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hPopup)))
        nEstimate = pMenu->m_nIconHeight * ::GetMenuItemCount(hPopup);
    const BOOL bRtl = hOwner != NULL && (::GetWindowLongPtrW(hOwner, GWL_EXSTYLE) & WS_EX_LAYOUTRTL) != 0;
    return PlaceBarPopup(rcItem, rcWork, bVertical, bRtl, nEstimate);
}

BOOL CSkinMenuBar::DispatchPendingPaint()
{
    MSG stMsg;
    for (int i = 0; i < MaxPaintDispatches && ::PeekMessageW(&stMsg, NULL, WM_PAINT, WM_PAINT, PM_REMOVE); ++i)
    {
        if (stMsg.message == WM_QUIT)
        {
            // The program's own loop must still see it, or the program
            // would outlive its window.
            ::PostQuitMessage(static_cast<int>(stMsg.wParam));
            return FALSE;
        }
        ::DispatchMessageW(&stMsg);
    }
    return TRUE;
}

BOOL CSkinMenuBar::ShowPopup(int nIndex)
{
    CSkinBarItem* pItem = GetItem(nIndex);
    HMENU hPopup = pItem != nullptr && m_hFrame != NULL ? pItem->GetPopupMenu(m_hFrame) : NULL;
    if (hPopup == NULL)
        return TRUE;
    m_hPopupOwner = m_hFrame;
    m_hTrackedPopup = hPopup;
    RECT rcItem = pItem->GetItemRect(IsVerticalBar());
    ::MapWindowPoints(m_hWnd, NULL, reinterpret_cast<POINT*>(&rcItem), 2);
    if (!DispatchPendingPaint())
        return FALSE;
    // One popup is open at a time in the whole process, and the filter hook
    // is the thread's.
    s_pTrackingBar = this;
    s_hFilterHook = ::SetWindowsHookExW(WH_MSGFILTER, &CSkinMenuBar::MessageFilterProc, NULL, ::GetCurrentThreadId());
    TrackBarPopup(hPopup, rcItem);
    if (s_hFilterHook != NULL)
        ::UnhookWindowsHookEx(s_hFilterHook);
    s_hFilterHook = NULL;
    s_pTrackingBar = nullptr;
    // The bar may have gone with its frame while the popup was open.
    if (::IsWindow(m_hWnd))
        UpdateWindow();
    return TRUE;
}

BOOL CSkinMenuBar::TrackBarPopup(HMENU hPopup, const RECT& rcItem)
{
    const BOOL bVertical = IsVerticalBar();
    const stPopupPlacement stPlace = PlacePopup(hPopup, rcItem, m_hPopupOwner, bVertical);
    TPMPARAMS stParams = {};
    stParams.cbSize = sizeof(stParams);
    stParams.rcExclude = stPlace.rcExclude;
    const UINT nFlags = stPlace.nFlags | TPM_LEFTBUTTON | (bVertical ? TPM_HORIZONTAL : TPM_VERTICAL);
    return CMenu::FromHandle(hPopup)->TrackPopupMenuEx(nFlags, stPlace.pt.x, stPlace.pt.y,
                                                       CWnd::FromHandle(m_hPopupOwner),
                                                       stPlace.bExclude ? &stParams : nullptr);
}

LRESULT CALLBACK CSkinMenuBar::MessageFilterProc(int nCode, WPARAM wParam, LPARAM lParam)
{
    if (nCode == MSGF_MENU && s_pTrackingBar != nullptr && lParam != 0 &&
        s_pTrackingBar->m_keyboard.FilterMenuMessage(reinterpret_cast<const MSG*>(lParam)))
        return TRUE;
    return ::CallNextHookEx(s_hFilterHook, nCode, wParam, lParam);
}
