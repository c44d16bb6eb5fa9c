// The menu bar's side of its frame: the subclass procedures, taking the
// frame's menu over and building the items from it.
#include "guitoolkit/SkinMenuBar.h"

#include "classlib/DockBar.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/MenuBackground.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuBarSubclass.h"
#include "guitoolkit/SkinMenuHook.h"

namespace
{
// The window's own procedure gets the message once the bar let go of it.
LRESULT EndSubclass(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    WNDPROC pfnPrevious = CSkinMenuBarSubclass::PreviousOf(hWnd);
    CSkinMenuBarSubclass::Unhook(hWnd);
    if (pfnPrevious == nullptr)
        return ::DefWindowProcW(hWnd, nMsg, wParam, lParam);
    return ::CallWindowProcW(pfnPrevious, hWnd, nMsg, wParam, lParam);
}
} // namespace

LRESULT CSkinMenuBar::FrameWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == GetMenuMessage() && nMsg != 0)
        return reinterpret_cast<LRESULT>(m_hMenu);
    if (nMsg == RemoveMenuMessage() && nMsg != 0)
    {
        RemoveFrameMenu(hWnd);
        return 0;
    }
    switch (nMsg)
    {
    case WM_DESTROY:
        if (hWnd == m_hFrame)
            m_hFrame = NULL;
        return EndSubclass(hWnd, nMsg, wParam, lParam);
    case WM_SYSCOLORCHANGE:
    case WM_WININICHANGE:
        CSkinMenu::RefreshIcons();
        UpdateMenuBackground(m_hMenu);
        Invalidate();
        RecalcFrameLayout();
        break;
    case WM_MEASUREITEM:
    {
        const auto* pMeasure = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (pMeasure == nullptr || CSkinMenu::OnMeasureItem(CWnd::GetCurrentMessage()))
            break;
        CSkinMenu* pMenu = m_hMenu != NULL ? CSkinMenu::FindSkinMenuByCommand(m_hMenu, pMeasure->itemID) : nullptr;
        if (pMenu == nullptr)
            break;
        pMenu->MeasureItem(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return 0;
    }
    case WM_INITMENUPOPUP:
        CSkinMenuBarSubclass::CallPrevious(hWnd, nMsg, wParam, lParam);
        m_keyboard.OnInitMenuPopup();
        // The item's look follows its menu's count of open popups, which
        // only now went up; the dock bar clips the frame's redraw away.
        if (IsTracking() && reinterpret_cast<HMENU>(wParam) == m_hTrackedPopup)
        {
            InvalidateItem(GetSelectedIndex());
            UpdateWindow();
        }
        return 0;
    case WM_MENUSELECT:
        m_keyboard.OnMenuSelect(m_hTrackedPopup != NULL && reinterpret_cast<HMENU>(lParam) == m_hTrackedPopup,
                                !(HIWORD(wParam) & MF_POPUP));
        break;
    case WM_MENUCHAR:
        if (CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(reinterpret_cast<HMENU>(lParam))))
        {
            const LRESULT lFound =
                CSkinMenuHook::FindMenuMnemonic(static_cast<wchar_t>(LOWORD(wParam)), HIWORD(wParam), pMenu);
            if (HIWORD(lFound) != MNC_IGNORE)
                return lFound;
        }
        break;
    default:
        break;
    }
    return CSkinMenuBarSubclass::CallPrevious(hWnd, nMsg, wParam, lParam);
}

LRESULT CSkinMenuBar::MdiClientWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    switch (nMsg)
    {
    case WM_DESTROY:
        if (hWnd == m_hMdiClient)
            m_hMdiClient = NULL;
        return EndSubclass(hWnd, nMsg, wParam, lParam);
    case WM_MDISETMENU:
        if (m_hFrame != NULL && ::GetMenu(m_hFrame) != NULL)
            RemoveFrameMenu(m_hFrame);
        CSkinMenuBarSubclass::CallPrevious(hWnd, nMsg, 0, lParam);
        SetMenu(reinterpret_cast<HMENU>(wParam));
        return 0;
    case WM_MDIREFRESHMENU:
    {
        if (m_hFrame != NULL && ::GetMenu(m_hFrame) != NULL)
            RemoveFrameMenu(m_hFrame);
        const LRESULT lMenu = CSkinMenuBarSubclass::CallPrevious(hWnd, nMsg, wParam, lParam);
        SetMenu(reinterpret_cast<HMENU>(lMenu));
        return 0;
    }
    default:
        return CSkinMenuBarSubclass::CallPrevious(hWnd, nMsg, wParam, lParam);
    }
}

HWND CSkinMenuBar::GetMdiClient() const
{
    if (m_hMdiClient != NULL)
        return m_hMdiClient;
    HWND hFrame = m_hFrame != NULL ? m_hFrame : (GetParentFrame() != nullptr ? GetParentFrame()->m_hWnd : NULL);
    return hFrame != NULL ? ::FindWindowExW(hFrame, NULL, L"MDICLIENT", nullptr) : NULL;
}

HWND CSkinMenuBar::GetActiveChild(BOOL* pbMaximized) const
{
    BOOL bMaximized = FALSE;
    HWND hChild = m_hMdiClient != NULL
                      ? reinterpret_cast<HWND>(::SendMessageW(m_hMdiClient, WM_MDIGETACTIVE, 0,
                                                              reinterpret_cast<LPARAM>(&bMaximized)))
                      : NULL;
    if (pbMaximized != nullptr)
        *pbMaximized = hChild != NULL && bMaximized;
    return hChild;
}

void CSkinMenuBar::OnUpdateCmdUI(CFrameWnd*, BOOL)
{
    if (m_hFrame == NULL)
        return;
    HMENU hNative = ::GetMenu(m_hFrame);
    if (m_hMdiClient != NULL)
    {
        if (hNative != NULL)
        {
            SetMenu(hNative);
            ::PostMessageW(m_hFrame, RemoveMenuMessage(), 0, 0);
        }
        BOOL bMaximized = FALSE;
        if (GetActiveChild(&bMaximized) != NULL && bMaximized != m_bChildMaximized)
        {
            SetMenu(m_hMenu);
            Invalidate();
        }
        return;
    }
    if (hNative != NULL)
    {
        RemoveFrameMenu(m_hFrame);
        SetMenu(hNative);
    }
}

void CSkinMenuBar::RemoveFrameMenu(HWND hFrame)
{
    if (!::SetMenu(hFrame, NULL))
        return;
    // The client area grew into the menu's place, and the system moved the
    // old pixels up with it, then the bars and panes again as the layout
    // placed them: what they show there is no longer what they would paint.
    ::RedrawWindow(hFrame, nullptr, NULL, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

SIZE CSkinMenuBar::MeasureItem(int nPos) const
{
    MENUITEMINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA | MIIM_SUBMENU;
    if (::GetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo) && (stInfo.fType & MFT_OWNERDRAW) && m_hFrame != NULL)
    {
        MEASUREITEMSTRUCT stMeasure = {};
        stMeasure.CtlType = ODT_MENU;
        stMeasure.itemID = stInfo.hSubMenu != NULL ? static_cast<UINT>(reinterpret_cast<UINT_PTR>(stInfo.hSubMenu))
                                                   : stInfo.wID;
        stMeasure.itemData = stInfo.dwItemData;
        ::SendMessageW(m_hFrame, WM_MEASUREITEM, 0, reinterpret_cast<LPARAM>(&stMeasure));
        return SIZE{::GetSystemMetrics(SM_CXMENUCHECK) + static_cast<LONG>(stMeasure.itemWidth),
                    ::GetSystemMetrics(SM_CYMENU)};
    }
    return SIZE{::GetSystemMetrics(SM_CXMENUSIZE) + 2, ::GetSystemMetrics(SM_CYMENUSIZE) + 2};
}

void CSkinMenuBar::AddChildButtons(HWND hChild)
{
    m_items.insert(m_items.begin(), std::make_unique<CSkinIconBarItem>(ICONITEM_CHILDICON, 0xFFFFFFFF, hChild));
    m_items.push_back(std::make_unique<CSkinIconBarItem>(ICONITEM_MINIMIZE, SC_MINIMIZE, hChild));
    m_items.back()->m_nState |= MBS_RIGHTJUSTIFY;
    m_items.push_back(std::make_unique<CSkinIconBarItem>(ICONITEM_RESTORE, SC_RESTORE, hChild));
    m_items.push_back(std::make_unique<CSkinIconBarItem>(ICONITEM_CLOSE, SC_CLOSE, hChild));
}

void CSkinMenuBar::SetMenu(HMENU hMenu)
{
    HWND hChild = GetActiveChild(&m_bChildMaximized);
    if (hMenu != NULL)
        m_hMenu = hMenu;
    // The keyboard's indices name the old items.
    m_keyboard.SetMenuState(-1, MENUBAR_MODE_NONE);
    m_items.clear();
    const int nCount = m_hMenu != NULL && ::IsMenu(m_hMenu) ? ::GetMenuItemCount(m_hMenu) : 0;
    for (int nPos = 0; nPos < nCount; ++nPos)
    {
        MENUITEMINFOW stInfo = {};
        stInfo.cbSize = sizeof(stInfo);
        stInfo.fMask = MIIM_ID | MIIM_TYPE | MIIM_DATA;
        if (!::GetMenuItemInfoW(m_hMenu, nPos, TRUE, &stInfo))
            continue;
        if (stInfo.fType & MFT_BITMAP)
        {
            // The item's type data is its bitmap.
            m_items.push_back(std::make_unique<CSkinIconBarItem>(reinterpret_cast<UINT_PTR>(stInfo.dwTypeData),
                                                                 stInfo.wID));
            continue;
        }
        auto pItem = std::make_unique<CSkinMenuBarItem>(m_hMenu, nPos);
        if (stInfo.fType & MFT_RIGHTJUSTIFY)
            pItem->m_nState |= MBS_RIGHTJUSTIFY;
        const SIZE size = MeasureItem(nPos);
        pItem->m_rcItem = {0, 0, size.cx, size.cy};
        m_items.push_back(std::move(pItem));
    }
    if (m_bChildMaximized)
        AddChildButtons(hChild);
    if (m_hWnd != NULL)
        Invalidate();
    RecalcFrameLayout();
}

void CSkinMenuBar::RecalcFrameLayout()
{
    // A floating bar's frame fits itself around the bar.
    if (IsFloating())
    {
        if (CFrameWnd* pMiniFrame = m_pDockBar->GetParentFrame())
            pMiniFrame->RecalcLayout();
    }
    CFrameWnd* pFrame = dynamic_cast<CFrameWnd*>(CWnd::FromHandlePermanent(m_hFrame));
    if (pFrame == nullptr)
        return;
    pFrame->RecalcLayout();
    if (CFrameWnd* pParentFrame = pFrame->GetParentFrame())
        pParentFrame->RecalcLayout();
}
