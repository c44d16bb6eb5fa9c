#include "guitoolkit/SkinFrame.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "classlib/GdiObject.h"
#include "classlib/MiniDockFrameWnd.h"
#include "guitoolkit/MenuBackground.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"


namespace
{
constexpr UINT HoverInterval = 100;

bool TracksByTimer()
{
    const stToolkitEnvironment& env = ToolkitEnvironment();
    return (env.nVersionClass != 6 && env.nVersionClass != 7) || env.bRemoteSession;
}
} // namespace

HBRUSH GetMenuBackgroundBrush(HMENU hMenu)
{
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    if (hMenu == NULL || !::GetMenuInfo(hMenu, &stInfo))
        return NULL;
    return stInfo.hbrBack;
}

template <class TBase>
LRESULT CSkinFrame<TBase>::BaseResult(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    LRESULT lResult = 0;
    if (!TBase::OnMessage(nMsg, wParam, lParam, lResult))
        lResult = this->DefWindowProc(nMsg, wParam, lParam);
    return lResult;
}

template <class TBase>
bool CSkinFrame<TBase>::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_MEASUREITEM:
        if (CSkinMenu::OnMeasureItem(CWnd::GetCurrentMessage()))
        {
            lResult = TRUE;
            return true;
        }
        if (reinterpret_cast<const MEASUREITEMSTRUCT*>(lParam)->CtlType == ODT_MENU &&
            ::GetMenu(this->m_hWnd) == NULL && CMenu::GetTrackingWindow() != this->m_hWnd)
        {
            lResult = 0;
            return true;
        }
        break;
    case WM_MENUCHAR:
        lResult = OnMenuChar(wParam, lParam);
        return true;
    case WM_INITMENUPOPUP:
        lResult = BaseResult(nMsg, wParam, lParam);
        CSkinMenu::OnInitMenuPopup(this->m_hWnd, CMenu::FromHandle(reinterpret_cast<HMENU>(wParam)));
        return true;
    case WM_ENTERMENULOOP:
        m_bInMenuLoop = TRUE;
        KillHoverTimer();
        ForgetHotItem();
        break;
    case WM_EXITMENULOOP:
        m_bInMenuLoop = FALSE;
        break;
    case WM_TIMER:
        lResult = this->Default();
        if (m_nHoverTimer != 0 && wParam == m_nHoverTimer)
        {
            POINT pt;
            if (::GetCursorPos(&pt))
                this->SendMessage(WM_NCHITTEST, 0, MAKELPARAM(pt.x, pt.y));
        }
        return true;
    case WM_CREATE:
        lResult = BaseResult(nMsg, wParam, lParam);
        if (lResult == -1)
            return true;
        m_skinSystemMenu.DestroyMenu();
        m_skinSystemMenu.Attach(::GetSystemMenu(this->m_hWnd, FALSE));
        lResult = 0;
        return true;
    case WM_NCHITTEST:
        lResult = OnNcHitTest(wParam, lParam);
        return true;
    case WM_DESTROY:
        KillHoverTimer();
        break;
    case WM_NCDESTROY:
        DetachWindowMenus();
        break;
    case WM_SYSCOLORCHANGE:
        lResult = BaseResult(nMsg, wParam, lParam);
        CSkinMenu::RefreshIcons();
        UpdateMenuBackground(m_skinMenu.m_hMenu);
        return true;
    case WM_NCPAINT:
    case WM_ACTIVATEAPP:
    case WM_PAINT:
    case WM_ACTIVATE:
        lResult = BaseResult(nMsg, wParam, lParam);
        DrawMenuBarLine();
        return true;
    default:
        break;
    }
    return TBase::OnMessage(nMsg, wParam, lParam, lResult);
}

template <class TBase>
LRESULT CSkinFrame<TBase>::OnMenuChar(WPARAM wParam, LPARAM lParam)
{
    CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(reinterpret_cast<HMENU>(lParam)));
    if (pMenu != nullptr)
        return CSkinMenuHook::FindMenuMnemonic(static_cast<wchar_t>(LOWORD(wParam)), HIWORD(wParam), pMenu);
    return BaseResult(WM_MENUCHAR, wParam, lParam);
}

template <class TBase>
void CSkinFrame<TBase>::DetachWindowMenus()
{
    // The window destroys its system menu, and its menu bar's menu while it
    // is still set: the objects keep their records, not the handles.
    if (m_skinSystemMenu.m_hMenu != NULL)
    {
        m_skinSystemMenu.Detach();
        m_skinSystemMenu.DestroyMenu();
    }
    if (m_skinMenu.m_hMenu != NULL && ::GetMenu(this->m_hWnd) == m_skinMenu.m_hMenu)
    {
        m_skinMenu.Detach();
        m_skinMenu.DestroyMenu();
    }
}

template <class TBase>
void CSkinFrame<TBase>::GetMenuBarStates(UINT& nNormal, UINT& nHot) const
{
    HWND hFocus = ::GetFocus();
    if (hFocus != NULL && (hFocus == this->m_hWnd || ::IsChild(this->m_hWnd, hFocus)))
    {
        nNormal = 0;
        nHot = ODS_HOTLIGHT;
        return;
    }
    int nClass = ToolkitEnvironment().nVersionClass;
    bool bPlain = nClass == 2 || nClass == 5;
    nNormal = bPlain ? 0 : ODS_INACTIVE;
    nHot = bPlain ? 0 : ODS_HOTLIGHT | ODS_INACTIVE;
}

template <class TBase>
void CSkinFrame<TBase>::KillHoverTimer()
{
    if (m_nHoverTimer == 0)
        return;
    KillFreeTimer(this->m_hWnd, m_nHoverTimer);
    m_nHoverTimer = 0;
}

template <class TBase>
void CSkinFrame<TBase>::ForgetHotItem()
{
    if (m_nHotItem == -1)
        return;
    UINT nNormal, nHot;
    GetMenuBarStates(nNormal, nHot);
    DrawMenuBarItem(dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(::GetMenu(this->m_hWnd))), m_nHotItem,
                    nNormal);
    m_nHotItem = -1;
}

template <class TBase>
LRESULT CSkinFrame<TBase>::OnNcHitTest(WPARAM wParam, LPARAM lParam)
{
    LRESULT lHit = this->DefWindowProc(WM_NCHITTEST, wParam, lParam);
    if (!TracksByTimer())
        return lHit;
    UINT nNormal, nHot;
    GetMenuBarStates(nNormal, nHot);
    CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(::GetMenu(this->m_hWnd)));
    if (!m_bInMenuLoop && lHit == HTMENU && pMenu != nullptr)
    {
        POINT pt = {static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int nItem = ::MenuItemFromPoint(this->m_hWnd, pMenu->m_hMenu, pt);
        if (nItem >= 0)
        {
            if (nItem != m_nHotItem)
            {
                if (m_nHotItem != -1)
                    DrawMenuBarItem(pMenu, m_nHotItem, nNormal);
                if (!DrawMenuBarItem(pMenu, nItem, nHot))
                {
                    m_nHotItem = -1;
                    return lHit;
                }
            }
            else if (CSkinMenu::GetHotMenuBarItem() != 0 || !DrawMenuBarItem(pMenu, nItem, nHot))
            {
                // The system's own redraw kept the hot look, or it cannot be drawn.
                return HTMENU;
            }
            if (m_nHoverTimer == 0)
                m_nHoverTimer = SetFreeTimer(this->m_hWnd, HoverInterval);
            m_nHotItem = nItem;
            return HTMENU;
        }
    }
    ForgetHotItem();
    KillHoverTimer();
    return lHit;
}

template <class TBase>
BOOL CSkinFrame<TBase>::DrawMenuBarItem(CSkinMenu* pMenu, int nPos, UINT nState)
{
    return pMenu != nullptr && CSkinMenuHook::PaintMenuBarItem(this->m_hWnd, pMenu->m_hMenu, nPos, nState);
}

template <class TBase>
void CSkinFrame<TBase>::DrawMenuBarLine()
{
    HBRUSH hBrush = GetMenuBackgroundBrush(m_skinMenu.m_hMenu);
    if (hBrush == NULL || this->m_hWnd == NULL)
        return;
    CRect rcWindow, rcClient;
    this->GetWindowRect(rcWindow);
    this->GetClientRect(rcClient);
    this->ClientToScreen(reinterpret_cast<POINT*>(&rcClient.left));
    this->ClientToScreen(reinterpret_cast<POINT*>(&rcClient.right));
    rcClient.OffsetRect(-rcWindow.left, -rcWindow.top);
    CRect rcLine(rcClient.left, rcClient.top - 1, rcClient.right, rcClient.top);
    CWindowDC dc(this);
    if (dc.m_hDC == NULL)
        return;
    POINT ptOld;
    ::SetBrushOrgEx(dc.m_hDC, 0, 0, &ptOld);
    dc.FillRect(rcLine, hBrush);
    ::SetBrushOrgEx(dc.m_hDC, ptOld.x, ptOld.y, nullptr);
}

template class CSkinFrame<CFrameWnd>;
template class CSkinFrame<CMiniDockFrameWnd>;
