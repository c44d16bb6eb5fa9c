// CSkinMenuBar: the dockable bar that shows a frame's menu as buttons drawn by
// the current menu theme. It takes the menu off the frame, opens the popups
// itself, switches between them on arrows and mouse moves, and gives the
// frame the keyboard of a menu bar (Alt and F10, arrows, mnemonics). It
// subclasses the frame, and the MDI client of an MDI frame, to see the menu
// messages. The dock bars give it a row of its own.
#pragma once

#include "classlib/ControlBar.h"
#include "guitoolkit/MenuBarKeyboard.h"
#include "guitoolkit/MenuBarUIState.h"
#include "guitoolkit/SkinBarItem.h"
#include "guitoolkit/SkinMenuBarLayout.h"

#include <memory>
#include <vector>

class CSkinMenuBar : public CControlBar, private CMenuBarHost, private CUIStateWindow
{
public:
    CSkinMenuBar();
    ~CSkinMenuBar() override;

    using CWnd::CreateEx;
    BOOL Create(CWnd* pParent, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_TOP, UINT nID = AFX_IDW_MENUBAR);
    // rcBorders holds the left, top, right and bottom border widths.
    BOOL CreateEx(CWnd* pParent, DWORD dwCtrlStyle, DWORD dwStyle, const RECT& rcBorders, UINT nID = AFX_IDW_MENUBAR);

    CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz) override;
    CSize CalcDynamicLayout(int nLength, DWORD dwMode) override;
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHandler) override;
    void DrawBorders(CDC* pDC, CRect& rect) override;
    void DrawGripper(CDC* pDC, const CRect& rect) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    // The bar's size for a layout mode (LM_*); nLength -1 for none.
    virtual CSize CalcLayout(DWORD dwMode, int nLength = -1);
    // The layout steps over the items' records; the arithmetic is the pure
    // functions of SkinMenuBarLayout.h, the bar adds whether it floats.
    virtual int WrapItems(stBarLayout* pRecords, int nCount, int nWidth) { return ::WrapItems(pRecords, nCount, nWidth); }
    virtual void SizeItems(stBarLayout* pRecords, int nCount, int nLength)
    {
        ::SizeItems(pRecords, nCount, nLength, IsFloating());
    }
    // Copies the records' places and row bits to the items.
    virtual void ApplyLayout(const stBarLayout* pRecords, int nCount);
    virtual void AlignRight(stBarLayout* pRecords, int nFirst, int nLast, int nWidth)
    {
        ::AlignRight(pRecords, nFirst, nLast, nWidth);
    }
    virtual SIZE CalcItemsSize(const stBarLayout* pRecords, int nCount) { return ::CalcItemsSize(pRecords, nCount); }
    virtual LRESULT FrameWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);
    virtual LRESULT MdiClientWindowProc(HWND hWnd, UINT nMsg, WPARAM wParam, LPARAM lParam);

    // The frame's PreTranslateMessage offers every message here first; TRUE
    // when the bar consumed it.
    BOOL TranslateFrameMessage(MSG* pMsg);
    // Rebuilds the items from the menu; null keeps the current menu.
    void SetMenu(HMENU hMenu);
    HMENU GetMenu() const { return m_hMenu; }

    int GetMode() const { return m_keyboard.GetMode(); }
    int GetHotIndex() const { return m_keyboard.GetHotIndex(); }
    int GetSelectedIndex() const { return m_keyboard.GetSelectedIndex(); }
    int GetItemCount() const override { return static_cast<int>(m_items.size()); }
    CSkinBarItem* GetItem(int nIndex) const;
    // The popup the bar opened last, and whether one is open now.
    HMENU GetTrackedPopup() const { return m_hTrackedPopup; }
    bool IsTracking() const { return s_pTrackingBar == this; }
    // Where a popup of a horizontal bar opens, given its item's screen
    // rectangle; a vertical bar passes no exclusion rectangle.
    static stPopupPlacement PlacePopup(HMENU hPopup, const RECT& rcItem, HWND hOwner, BOOL bVertical);

    // Registered messages: the frame answers the bar's menu, and removes its
    // native menu when posted the second.
    static UINT GetMenuMessage();
    static UINT RemoveMenuMessage();

protected:
    BOOL IsVerticalBar() const override;
    // The length the docked or floating bar lays its items out in.
    int GetDockLength(BOOL bHorz) const;

private:
    // CMenuBarHost
    UINT GetItemCommandId(int nIndex) const override;
    UINT GetItemState(int nIndex) const override;
    void SetItemState(int nIndex, UINT nState) override;
    BOOL ItemHasPopup(int nIndex) const override;
    BOOL ShowPopup(int nIndex) override;
    void CancelPopup() override;
    void SendCommand(UINT nCommandId) override;
    void StartHoverTimer() override;
    bool IsKeyDown(int nVirtKey) const override;
    BOOL FrameHasAccelerator(UINT nVirtKey) const override;
    int FindMnemonic(wchar_t chKey) const override;
    int ItemFromPoint(POINT ptScreen) const override;
    BOOL IsChildMaximized() const override { return m_bChildMaximized; }
    void OnModeChange(int nOldMode, int nNewMode) override;
    // CUIStateWindow
    DWORD QueryUIState() const override;
    void ChangeUIState(WPARAM wParam) override;
    void InvalidateBar() override { Invalidate(); }

    int OnCreate();
    void OnDestroy();
    void OnPaint();
    BOOL OnEraseBkgnd(HDC hDC);
    void OnNcPaint();
    void OnNcCalcSize(RECT* pRect);
    void OnMouseMove(POINT pt);
    void OnLButtonDown(POINT pt);
    bool OnLButtonUp(POINT pt);
    void OnTimer(UINT_PTR nID);
    void KillHoverTimer();
    // The focus is in the window that holds the bar.
    bool HasFocusInTopLevel() const;
    // The item under a point of the client area, the last first; -1 for none.
    int HitTestItem(POINT pt) const;
    void InvalidateItem(int nIndex);
    std::vector<stBarLayout> MakeRecords() const;
    HWND GetMdiClient() const;
    // The active MDI child, and whether it is maximized.
    HWND GetActiveChild(BOOL* pbMaximized) const;
    void AddChildButtons(HWND hChild);
    SIZE MeasureItem(int nPos) const;
    void RecalcFrameLayout();
    // Takes the frame's own menu away and has the frame and its children paint anew.
    static void RemoveFrameMenu(HWND hFrame);
    void GrayFloatingClose();
    // Subclassing of the frame and its MDI client.
    void HookFrame();
    void UnhookFrame();
    // Shows the popup at the item with the hook installed; FALSE when the
    // paint dispatch met WM_QUIT.
    BOOL TrackBarPopup(HMENU hPopup, const RECT& rcItem);
    static BOOL DispatchPendingPaint();
    static LRESULT CALLBACK MessageFilterProc(int nCode, WPARAM wParam, LPARAM lParam);

    friend class CSkinMenuBarSubclass;

    CMenuBarKeyboard m_keyboard;
    HMENU m_hMenu;
    BOOL m_bChildMaximized;
    HMENU m_hTrackedPopup;
    HWND m_hPopupOwner;
    // The frame whose menu the bar shows, subclassed from WM_CREATE on.
    HWND m_hFrame;
    HWND m_hMdiClient;
    std::vector<std::unique_ptr<CSkinBarItem>> m_items;
    UINT_PTR m_nHoverTimer;

    static CSkinMenuBar* s_pTrackingBar;
    static HHOOK s_hFilterHook;
};
