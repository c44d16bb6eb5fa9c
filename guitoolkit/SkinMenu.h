// CSkinMenu: a menu whose items are all owner-drawn, each carrying a
// CSkinMenuItemData record with its text, flags, command and icon. Every
// popup gets a CSkinMenu of its own; measuring and painting go to the current
// menu theme. GUI thread only: the process-wide lists and switches have no lock.
#pragma once

#include "classlib/Menu.h"
#include "guitoolkit/SkinMenuItemData.h"

#include <windows.h>

#include <functional>
#include <set>
#include <utility>
#include <vector>

class CDC;
class CMenuTheme;
class CSkinMenuIcons;

class CSkinMenu : public CMenu
{
public:
    explicit CSkinMenu(HMENU hParentMenu = NULL);
    ~CSkinMenu() override;

    void DrawItem(LPDRAWITEMSTRUCT pDraw) override;
    void MeasureItem(LPMEASUREITEMSTRUCT pMeasure) override;
    // From the application's resource module, converted at once.
    BOOL LoadMenu(UINT nID) override;
    virtual BOOL LoadMenu(const wchar_t* pszName);
    // Takes the menu and makes its items, and those of its popups, owner-drawn.
    virtual BOOL ConvertToOwnerDraw(HMENU hMenu);
    // Deletes the popups' objects and the records, then the menu.
    BOOL DestroyMenu() override;
    virtual void DrawTitle(LPDRAWITEMSTRUCT pDraw);
    virtual BOOL EraseBkgnd(HWND hPopup, CDC* pDC);
    virtual void OnPopupOpening();
    // When the popup's window goes; TRUE when the parent's menu-bar item was redrawn.
    virtual BOOL OnPopupClosed();

    // mask -1: the menu's mask colour.
    BOOL LoadToolBar(const WORD* pToolInfo, COLORREF crMask = static_cast<COLORREF>(-1));
    // Gives every command of the store its icon in this menu tree; the store's reference count.
    int AssignIcons(CSkinMenuIcons* pIcons);
    BOOL AssignItemImage(UINT nCommand, const wchar_t* pszText, CSkinMenuIcons* pIcons, int nImage);
    // Gives every item of the command the text and keeps it owner-drawn.
    BOOL SetItemText(UINT nCommand, const wchar_t* pszText);
    // Matches the menu's positions with the records; a record lives as long as its command stays.
    void RebuildItemData();
    CSkinMenuItemData* CreateItemData(int nPos, UINT nFlags, UINT nID, const wchar_t* pszText);
    // The record of the first item with the command in this menu or its popups.
    CSkinMenuItemData* FindItemData(UINT nCommand) const;
    BOOL IsMenuBarItem(UINT nCommand) const;
    BOOL ChangeItemId(UINT nFrom, UINT nTo);
    // The record at a position of this menu, or null.
    CSkinMenuItemData* GetItemData(int nPos) const;

    // Searches a menu tree in position order, popups where they stand. A
    // popup item's command is its handle cut to 32 bits.
    static CSkinMenu* FindMenuOfCommand(HMENU hMenu, UINT nCommand, int& nPos);
    static CSkinMenu* FindSkinMenuByCommand(HMENU hMenu, UINT nCommand);
    static CSkinMenu* FindSkinMenuByItem(HMENU hMenu, UINT nCommand, ULONG_PTR dwItemData);

    // TRUE when it handled a WM_MEASUREITEM of a menu item.
    static BOOL OnMeasureItem(const MSG* pMsg);
    static void OnInitMenuPopup(HWND hFrame, CMenu* pPopup);
    // The previous theme's id, or -1 when none was current or no theme has the id.
    static int SelectTheme(UINT nThemeId);
    static int GetCurrentThemeId();
    static CMenuTheme* GetCurrentTheme();
    // The themes SelectTheme chooses from, owned by the caller; null clears them.
    static void SetThemeList(const std::vector<CMenuTheme*>* pThemes, CMenuTheme* pCurrent);
    // Reloads every icon store, at most once in 2000 ms.
    static void RefreshIcons();
    static BOOL SetSelectDisabled(BOOL bSelect);
    static BOOL GetSelectDisabled();
    static BOOL SetDisabledIconMode(BOOL bDerived);
    static BOOL GetDisabledIconMode();
    static int SetIconDarkening(int nDarkening);
    static int GetIconDarkening();
    static BOOL SetAllWindowsMode(BOOL bAll);
    static BOOL GetAllWindowsMode();
    static BOOL GetAcceleratorTexts();
    static HMENU GetLastPopup();
    // The item data of the menu-bar item drawn hot, 0 for none.
    static ULONG_PTR GetHotMenuBarItem();
    static void SetHotMenuBarItem(ULONG_PTR dwItemData);

    // One record per position, in position order; owned.
    std::vector<CSkinMenuItemData*> m_items;
    // The popups whose objects this menu made and owns (found through the handle map).
    std::vector<HMENU> m_subMenus;
    int m_nIconWidth;
    int m_nIconHeight;
    // The frame that showed this menu as a popup last.
    HWND m_hOwnerWnd;
    COLORREF m_crMask;
    // Null for a top-level menu.
    HMENU m_hParentMenu;
    // 0 for a menu bar; 1 once it opens as a popup.
    BOOL m_bPopup;
    // Screen rectangle of the menu-bar item drawn last.
    RECT m_rcMenuBarItem;
    int m_nOpenPopups;
    // (HACCEL)-1: the main frame's table; null: no accelerator texts.
    HACCEL m_hAccelTable;

private:
    using OccurrenceSet = std::set<std::pair<HMENU, int>>;

    static CSkinMenu* FindOccurrence(HMENU hMenu, UINT nCommand, const OccurrenceSet& skip, int& nPos, int nDepth);
    static CSkinMenu* SkinMenuOf(HMENU hMenu);
    static void SetLastPopup(HMENU hPopup);
    // Calls the step for every (menu, position) of the command in this tree,
    // once each; false when the command is nowhere.
    bool ForEachOccurrence(UINT nCommand, const std::function<void(CSkinMenu&, int, CSkinMenuItemData&)>& step);
    // The record of the item at the position, rebuilding the records when they are out of step.
    CSkinMenuItemData* RecordOfItem(int nPos, UINT nCommand);
    BOOL SetItemOwnerDraw(int nPos, const CSkinMenuItemData& record);
    // Sets the item's string to the record's text, then makes it owner-drawn again.
    BOOL ApplyItemText(int nPos, CSkinMenuItemData& record);
    CSkinMenuItemData* MatchPosition(int nPos, std::vector<CSkinMenuItemData*>& oldItems);
    void RedrawMenuBarItem(HWND hFrame) const;
    void DeleteSubMenus();
    void DeleteItems();
};
