// The menu bar's modes and what keys, the mouse and the menu loop's message
// filter do to them. The window side (items, popups, commands, the frame's
// accelerators) is reached through CMenuBarHost, so the whole state machine
// runs against a fake in tests.
#pragma once

#include <windows.h>

enum : int
{
    MENUBAR_MODE_NONE = 0,
    // A popup of the bar is open.
    MENUBAR_MODE_TRACKING = 1,
    // An item is highlighted by the keyboard or the mouse.
    MENUBAR_MODE_HOT = 2,
};

class CMenuBarHost
{
public:
    virtual ~CMenuBarHost() = default;

    virtual int GetItemCount() const = 0;
    virtual UINT GetItemCommandId(int nIndex) const = 0;
    virtual UINT GetItemState(int nIndex) const = 0;
    virtual void SetItemState(int nIndex, UINT nState) = 0;
    virtual BOOL ItemHasPopup(int nIndex) const = 0;
    // Docked at the left or right side.
    virtual BOOL IsVerticalBar() const = 0;
    // Shows the item's popup and returns when the menu loop ends; FALSE when
    // the loop met WM_QUIT (posted again for the outer loop).
    virtual BOOL ShowPopup(int nIndex) = 0;
    // Ends the menu loop of the open popup.
    virtual void CancelPopup() = 0;
    virtual void SendCommand(UINT nCommandId) = 0;
    virtual void StartHoverTimer() = 0;
    virtual bool IsKeyDown(int nVirtKey) const = 0;
    // The frame's accelerator table has an entry for the key without Shift,
    // Ctrl or Alt.
    virtual BOOL FrameHasAccelerator(UINT nVirtKey) const = 0;
    // The theme's mnemonic search over the bar's menu: the menu position, or -1.
    virtual int FindMnemonic(wchar_t chKey) const = 0;
    // The bar's item under a screen point; -1 when the point is off the bar.
    virtual int ItemFromPoint(POINT ptScreen) const = 0;
    // The active MDI child is maximized: its icon comes first on the bar.
    virtual BOOL IsChildMaximized() const = 0;
    // The mode is about to change.
    virtual void OnModeChange(int /*nOldMode*/, int /*nNewMode*/) {}
};

class CMenuBarKeyboard
{
public:
    explicit CMenuBarKeyboard(CMenuBarHost& host);
    CMenuBarKeyboard(const CMenuBarKeyboard&) = delete;
    CMenuBarKeyboard& operator=(const CMenuBarKeyboard&) = delete;

    // TRUE when the bar consumed the key.
    BOOL TranslateFrameMessage(const MSG* pMsg);
    // The menu loop's filter; TRUE eats the message.
    BOOL FilterMenuMessage(const MSG* pMsg);
    // Opens the item's popup and follows switches to other items until the
    // loop ends; FALSE when the item has no popup (it is only highlighted)
    // or the loop met WM_QUIT.
    BOOL TrackPopup(int nIndex);
    void SetMenuState(int nIndex, int nMode);

    // What the frame procedure learns of the open popup.
    void OnInitMenuPopup() { m_bPopupIsTop = TRUE; }
    void OnMenuSelect(BOOL bPopupIsTop, BOOL bItemWithoutPopup);

    int GetMode() const { return m_nMode; }
    int GetHotIndex() const { return m_nHotIndex; }
    int GetSelectedIndex() const { return m_nSelectedIndex; }
    BOOL IsAltUsed() const { return m_bAltUsed; }
    BOOL IsSwitchRequested() const { return m_bSwitchRequested; }
    int GetPressedIndex() const { return m_nPressedIndex; }
    void SetPressedIndex(int nIndex) { m_nPressedIndex = nIndex; }
    POINT GetLastMousePoint() const { return m_ptLastMouse; }
    void SetLastMousePoint(POINT pt) { m_ptLastMouse = pt; }
    void ClearAltUsed() { m_bAltUsed = FALSE; }

    int NextItem(int nFrom, bool bForward) const;

private:
    bool IsMenuKey(const MSG* pMsg) const;
    BOOL OnNavigationKey(UINT nVirtKey);
    BOOL OnMnemonic(const MSG* pMsg);
    bool IsValidIndex(int nIndex) const;
    void SelectForSwitch(int nIndex);

    CMenuBarHost& m_host;
    int m_nMode;
    BOOL m_bPopupIsTop;
    BOOL m_bItemWithoutPopup;
    BOOL m_bSwitchRequested;
    BOOL m_bAltUsed;
    int m_nHotIndex;
    int m_nSelectedIndex;
    POINT m_ptLastMouse;
    int m_nPressedIndex;
};
