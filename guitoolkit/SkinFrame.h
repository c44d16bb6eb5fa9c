// CSkinFrame: a frame whose menu and system menu are owner-drawn skin menus.
// It hands the menu messages to them, draws the one-pixel line between a
// themed menu bar and the client area, and on old or remote systems draws
// the hot item of its native menu bar itself, checked by a 100 ms timer.
#pragma once

#include "guitoolkit/SkinMenu.h"

#include <windows.h>

// The menu's MIM_BACKGROUND brush, null for none.
HBRUSH GetMenuBackgroundBrush(HMENU hMenu);

template <class TBase>
class CSkinFrame : public TBase
{
public:
    CSkinFrame() = default;

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;
    // Draws one item of the native menu bar through the frame's WM_DRAWITEM;
    // FALSE for no position, no rectangle or an item that is not owner-drawn.
    BOOL DrawMenuBarItem(CSkinMenu* pMenu, int nPos, UINT nState);
    void DrawMenuBarLine();

    CSkinMenu m_skinMenu;
    CSkinMenu m_skinSystemMenu;
    BOOL m_bInMenuLoop = FALSE;
    UINT_PTR m_nHoverTimer = 0;
    // Position of the native menu-bar item drawn hot, -1 for none.
    int m_nHotItem = -1;

protected:
    LRESULT OnNcHitTest(WPARAM wParam, LPARAM lParam);
    // The item states of a normal and of the hot menu-bar item.
    void GetMenuBarStates(UINT& nNormal, UINT& nHot) const;
    // Draws the hot item normal and forgets it.
    void ForgetHotItem();
    void KillHoverTimer();
    // The base's answer, or the window's own when the base leaves the message.
    LRESULT BaseResult(UINT nMsg, WPARAM wParam, LPARAM lParam);
    // The windows' menus are theirs to destroy: the objects let go of them.
    void DetachWindowMenus();
    LRESULT OnMenuChar(WPARAM wParam, LPARAM lParam);
};
