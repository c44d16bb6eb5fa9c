#include "classlib/Menu.h"

#include "classlib/ThreadState.h"
#include "classlib/WinApp.h"
#include "classlib/Wnd.h"

namespace
{
// Sets the thread's tracking pair for one call and puts the previous pair back.
class CTrackingScope
{
public:
    CTrackingScope(HWND hWnd, HMENU hMenu)
        : m_hSavedWnd(GetThreadState().hTrackingWnd), m_hSavedMenu(GetThreadState().hTrackingMenu)
    {
        GetThreadState().hTrackingWnd = hWnd;
        GetThreadState().hTrackingMenu = hMenu;
    }
    ~CTrackingScope()
    {
        GetThreadState().hTrackingWnd = m_hSavedWnd;
        GetThreadState().hTrackingMenu = m_hSavedMenu;
    }
    CTrackingScope(const CTrackingScope&) = delete;
    CTrackingScope& operator=(const CTrackingScope&) = delete;

private:
    HWND m_hSavedWnd;
    HMENU m_hSavedMenu;
};

// Deep menus are not made by anyone sane; the bound keeps a menu that
// contains itself from recursing forever.
constexpr int MaxMenuDepth = 16;

HMENU FindMenuOfItem(HMENU hMenu, UINT_PTR nItemID, int nDepth)
{
    if (hMenu == NULL || nDepth > MaxMenuDepth)
        return NULL;
    int nCount = ::GetMenuItemCount(hMenu);
    for (int i = 0; i < nCount; ++i)
    {
        HMENU hSub = ::GetSubMenu(hMenu, i);
        if (hSub != NULL)
        {
            if (reinterpret_cast<UINT_PTR>(hSub) == nItemID ||
                static_cast<UINT>(reinterpret_cast<UINT_PTR>(hSub)) == nItemID)
                return hMenu;
            if (HMENU hFound = FindMenuOfItem(hSub, nItemID, nDepth + 1))
                return hFound;
        }
        else if (::GetMenuItemID(hMenu, i) == nItemID)
        {
            return hMenu;
        }
    }
    return NULL;
}
} // namespace

CMenu::CMenu() : m_hMenu(NULL)
{
}

CMenu::~CMenu()
{
    DestroyMenu();
}

CMenu* CMenu::FromHandlePermanent(HMENU hMenu)
{
    auto& map = GetThreadState().mapPermanentMenu;
    auto it = map.find(hMenu);
    return it != map.end() ? it->second : nullptr;
}

CMenu* CMenu::FromHandle(HMENU hMenu)
{
    if (hMenu == NULL)
        return nullptr;
    if (CMenu* pMenu = FromHandlePermanent(hMenu))
        return pMenu;
    auto& pTemp = GetThreadState().mapTemporaryMenu[hMenu];
    if (!pTemp)
    {
        pTemp.reset(new CMenu);
        pTemp->m_hMenu = hMenu;
    }
    return pTemp.get();
}

CMenu* CMenu::FindPermanentMenuOfItem(HMENU hRoot, UINT_PTR nItemID)
{
    return FromHandlePermanent(FindMenuOfItem(hRoot, nItemID, 0));
}

HMENU CMenu::GetTrackingMenu()
{
    return GetThreadState().hTrackingMenu;
}

HWND CMenu::GetTrackingWindow()
{
    return GetThreadState().hTrackingWnd;
}

BOOL CMenu::Attach(HMENU hMenu)
{
    if (m_hMenu != NULL || hMenu == NULL || FromHandlePermanent(hMenu) != nullptr)
        return FALSE;
    m_hMenu = hMenu;
    GetThreadState().mapPermanentMenu[hMenu] = this;
    return TRUE;
}

HMENU CMenu::Detach()
{
    HMENU hMenu = m_hMenu;
    if (hMenu != NULL)
    {
        auto& map = GetThreadState().mapPermanentMenu;
        auto it = map.find(hMenu);
        if (it != map.end() && it->second == this)
            map.erase(it);
    }
    m_hMenu = NULL;
    return hMenu;
}

BOOL CMenu::CreateMenu()
{
    return m_hMenu == NULL && Attach(::CreateMenu());
}

BOOL CMenu::CreatePopupMenu()
{
    return m_hMenu == NULL && Attach(::CreatePopupMenu());
}

BOOL CMenu::LoadMenu(UINT nID)
{
    if (m_hMenu != NULL)
        return FALSE;
    HMENU hMenu = ::LoadMenuW(CWinApp::FindResourceModule(MAKEINTRESOURCEW(nID), RT_MENU),
                              MAKEINTRESOURCEW(nID));
    if (hMenu == NULL)
        return FALSE;
    if (!Attach(hMenu))
    {
        ::DestroyMenu(hMenu);
        return FALSE;
    }
    return TRUE;
}

BOOL CMenu::DestroyMenu()
{
    if (m_hMenu == NULL)
        return FALSE;
    // Only the owner destroys: a temporary wrapper is never in the permanent map.
    bool bOwner = FromHandlePermanent(m_hMenu) == this;
    HMENU hMenu = Detach();
    return bOwner ? ::DestroyMenu(hMenu) : FALSE;
}

CMenu* CMenu::GetSubMenu(int nPos) const
{
    return FromHandle(::GetSubMenu(m_hMenu, nPos));
}

int CMenu::GetMenuString(UINT nItem, CString& str, UINT nFlags) const
{
    int nLength = ::GetMenuStringW(m_hMenu, nItem, nullptr, 0, nFlags);
    if (nLength <= 0)
    {
        str.Empty();
        return 0;
    }
    int nCopied = ::GetMenuStringW(m_hMenu, nItem, str.GetBuffer(nLength + 1), nLength + 1, nFlags);
    str.ReleaseBuffer(nCopied > 0 ? nCopied : 0);
    return str.GetLength();
}

BOOL CMenu::TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT pRect)
{
    HWND hWnd = pWnd != nullptr ? pWnd->m_hWnd : NULL;
    CTrackingScope scope(hWnd, m_hMenu);
    return ::TrackPopupMenu(m_hMenu, nFlags, x, y, 0, hWnd, pRect);
}

BOOL CMenu::TrackPopupMenuEx(UINT nFlags, int x, int y, CWnd* pWnd, LPTPMPARAMS pParams)
{
    HWND hWnd = pWnd != nullptr ? pWnd->m_hWnd : NULL;
    CTrackingScope scope(hWnd, m_hMenu);
    return ::TrackPopupMenuEx(m_hMenu, nFlags, x, y, hWnd, pParams);
}
