// CMenu: one menu object over one HMENU. Objects that own their menu are in a
// permanent map, so owner-drawn items find the object that draws them.
#pragma once

#include "classlib/Object.h"
#include "classlib/String.h"

#include <windows.h>

class CWnd;

class CMenu : public CObject
{
public:
    CMenu();
    // Destroys the menu it holds; Detach first to keep it.
    ~CMenu() override;
    CMenu(const CMenu&) = delete;
    CMenu& operator=(const CMenu&) = delete;

    HMENU m_hMenu;

    operator HMENU() const { return m_hMenu; }
    HMENU GetSafeHmenu() const { return m_hMenu; }

    static CMenu* FromHandlePermanent(HMENU hMenu);
    // The permanent object, else a wrapper that lives until the next idle time.
    static CMenu* FromHandle(HMENU hMenu);
    // The permanent object of the menu in the tree below hRoot that holds the
    // item (by command id or, for a submenu item, by the submenu's handle).
    static CMenu* FindPermanentMenuOfItem(HMENU hRoot, UINT_PTR nItemID);
    // The menu being tracked on this thread and the window it reports to.
    static HMENU GetTrackingMenu();
    static HWND GetTrackingWindow();

    BOOL Attach(HMENU hMenu);
    HMENU Detach();
    BOOL CreateMenu();
    BOOL CreatePopupMenu();
    // From the application's resource module.
    virtual BOOL LoadMenu(UINT nID);
    virtual BOOL DestroyMenu();

    CMenu* GetSubMenu(int nPos) const;
    int GetMenuItemCount() const { return ::GetMenuItemCount(m_hMenu); }
    UINT GetMenuItemID(int nPos) const { return ::GetMenuItemID(m_hMenu, nPos); }
    UINT GetMenuState(UINT nItem, UINT nFlags) const { return ::GetMenuState(m_hMenu, nItem, nFlags); }
    int GetMenuString(UINT nItem, CString& str, UINT nFlags) const;
    BOOL GetMenuItemInfo(UINT nItem, LPMENUITEMINFOW pInfo, BOOL bByPos = FALSE) const
    {
        return ::GetMenuItemInfoW(m_hMenu, nItem, bByPos, pInfo);
    }
    BOOL SetMenuItemInfo(UINT nItem, LPCMENUITEMINFOW pInfo, BOOL bByPos = FALSE)
    {
        return ::SetMenuItemInfoW(m_hMenu, nItem, bByPos, pInfo);
    }

    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, const wchar_t* pszItem = nullptr)
    {
        return ::AppendMenuW(m_hMenu, nFlags, nIDNewItem, pszItem);
    }
    BOOL InsertMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, const wchar_t* pszItem = nullptr)
    {
        return ::InsertMenuW(m_hMenu, nPosition, nFlags, nIDNewItem, pszItem);
    }
    BOOL ModifyMenu(UINT nPosition, UINT nFlags, UINT_PTR nIDNewItem = 0, const wchar_t* pszItem = nullptr)
    {
        return ::ModifyMenuW(m_hMenu, nPosition, nFlags, nIDNewItem, pszItem);
    }
    BOOL RemoveMenu(UINT nPosition, UINT nFlags) { return ::RemoveMenu(m_hMenu, nPosition, nFlags); }
    BOOL DeleteMenu(UINT nPosition, UINT nFlags) { return ::DeleteMenu(m_hMenu, nPosition, nFlags); }
    UINT EnableMenuItem(UINT nItem, UINT nFlags) { return ::EnableMenuItem(m_hMenu, nItem, nFlags); }
    DWORD CheckMenuItem(UINT nItem, UINT nFlags) { return ::CheckMenuItem(m_hMenu, nItem, nFlags); }
    BOOL CheckMenuRadioItem(UINT nFirst, UINT nLast, UINT nItem, UINT nFlags)
    {
        return ::CheckMenuRadioItem(m_hMenu, nFirst, nLast, nItem, nFlags);
    }
    BOOL SetDefaultItem(UINT nItem, BOOL bByPos = FALSE) { return ::SetMenuDefaultItem(m_hMenu, nItem, bByPos); }
    BOOL GetMenuInfo(LPMENUINFO pInfo) const { return ::GetMenuInfo(m_hMenu, pInfo); }
    BOOL SetMenuInfo(LPCMENUINFO pInfo) { return ::SetMenuInfo(m_hMenu, pInfo); }

    // Records this menu and the window as the thread's tracking pair for the
    // time the popup is open, so WM_MEASUREITEM finds its items.
    BOOL TrackPopupMenu(UINT nFlags, int x, int y, CWnd* pWnd, LPCRECT pRect = nullptr);
    BOOL TrackPopupMenuEx(UINT nFlags, int x, int y, CWnd* pWnd, LPTPMPARAMS pParams);

    virtual void DrawItem(LPDRAWITEMSTRUCT) {}
    virtual void MeasureItem(LPMEASUREITEMSTRUCT) {}
};
