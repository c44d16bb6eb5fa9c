// CControlBar: a strip docked at one side of a frame (tool bar, status bar,
// menu bar) or floating in a small frame of its own. The frame's layout pass
// asks every bar for its size; the bar takes its strip off the frame's
// client rectangle and the rest goes to the view.
#pragma once

#include "classlib/Wnd.h"

class CDC;
class CDockBar;
class CFrameWnd;

// Alignment, border and behaviour bits of a bar's style. The alignment bits
// also name the sides a bar may dock at.
constexpr DWORD CBRS_FLOATING = 0x0001;
constexpr DWORD CBRS_SIZE_FIXED = 0x0002;
constexpr DWORD CBRS_SIZE_DYNAMIC = 0x0004;
constexpr DWORD CBRS_HIDE_INPLACE = 0x0008;
constexpr DWORD CBRS_TOOLTIPS = 0x0010;
constexpr DWORD CBRS_FLYBY = 0x0020;
// Two-pixel edges, with a light inner line, in place of one-pixel ones.
constexpr DWORD CBRS_BORDER_3D = 0x0080;
constexpr DWORD CBRS_BORDER_LEFT = 0x0100;
constexpr DWORD CBRS_BORDER_TOP = 0x0200;
constexpr DWORD CBRS_BORDER_RIGHT = 0x0400;
constexpr DWORD CBRS_BORDER_BOTTOM = 0x0800;
constexpr DWORD CBRS_BORDER_ANY = 0x0F00;
constexpr DWORD CBRS_ALIGN_LEFT = 0x1000;
constexpr DWORD CBRS_ALIGN_TOP = 0x2000;
constexpr DWORD CBRS_ALIGN_RIGHT = 0x4000;
constexpr DWORD CBRS_ALIGN_BOTTOM = 0x8000;
constexpr DWORD CBRS_ALIGN_ANY = 0xF000;
constexpr DWORD CBRS_ORIENT_HORZ = CBRS_ALIGN_TOP | CBRS_ALIGN_BOTTOM;
constexpr DWORD CBRS_ORIENT_VERT = CBRS_ALIGN_LEFT | CBRS_ALIGN_RIGHT;
constexpr DWORD CBRS_GRIPPER = 0x00400000;
// The bits a bar keeps in its own style; the rest belong to the window.
constexpr DWORD CBRS_ALL = 0x0040FFFF;
constexpr DWORD CBRS_TOP = CBRS_ALIGN_TOP | CBRS_BORDER_BOTTOM;
constexpr DWORD CBRS_BOTTOM = CBRS_ALIGN_BOTTOM | CBRS_BORDER_TOP;
constexpr DWORD CBRS_LEFT = CBRS_ALIGN_LEFT | CBRS_BORDER_RIGHT;
constexpr DWORD CBRS_RIGHT = CBRS_ALIGN_RIGHT | CBRS_BORDER_LEFT;

// Modes of CalcDynamicLayout.
constexpr DWORD LM_STRETCH = 0x01;
constexpr DWORD LM_HORZ = 0x02;
constexpr DWORD LM_MRUWIDTH = 0x04;
constexpr DWORD LM_HORZDOCK = 0x08;
constexpr DWORD LM_VERTDOCK = 0x10;
constexpr DWORD LM_LENGTHY = 0x20;
constexpr DWORD LM_COMMIT = 0x40;

// Window ids of the frame's parts.
constexpr UINT AFX_IDW_TOOLBAR = 0xE800;
constexpr UINT AFX_IDW_STATUS_BAR = 0xE801;
constexpr UINT AFX_IDW_MENUBAR = 0xE81A;
constexpr UINT AFX_IDW_DOCKBAR_TOP = 0xE81B;
constexpr UINT AFX_IDW_DOCKBAR_LEFT = 0xE81C;
constexpr UINT AFX_IDW_DOCKBAR_RIGHT = 0xE81D;
constexpr UINT AFX_IDW_DOCKBAR_BOTTOM = 0xE81E;
constexpr UINT AFX_IDW_DOCKBAR_FLOAT = 0xE81F;
constexpr UINT AFX_IDW_PANE_FIRST = 0xE900;

// Sent by the frame's layout pass to each of its bars: lParam is the
// stSizeParentLayout, whose rectangle shrinks by every strip taken.
constexpr UINT WM_SIZEPARENT = 0x0361;

struct stSizeParentLayout
{
    // Null while the pass only measures.
    HDWP hDWP;
    RECT rect;
    SIZE sizeTotal;
    BOOL bStretch;
};

// Moves the window as part of the layout's deferred batch, or at once when
// the batch failed.
void RepositionInLayout(stSizeParentLayout* pLayout, HWND hWnd, const RECT& rc);

class CControlBar : public CWnd
{
public:
    CControlBar();
    // Leaves its frame and dock bar before the window goes: the window's last
    // messages no longer reach this class's handlers from the destructor.
    ~CControlBar() override;

    DWORD GetBarStyle() const { return m_dwStyle; }
    // Keeps only the bar bits and tells the bar what changed.
    void SetBarStyle(DWORD dwStyle);
    // The sides (CBRS_ALIGN_*) the bar may dock at; 0 for none.
    void EnableDocking(DWORD dwDockStyle) { m_dwDockStyle = dwDockStyle; }
    BOOL IsFloating() const;
    BOOL IsVisible() const { return (GetStyle() & WS_VISIBLE) != 0; }

    // The size the bar wants; bStretch asks for the whole length of its side.
    virtual CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz);
    virtual CSize CalcDynamicLayout(int nLength, DWORD dwMode);
    // The client rectangle less the bar's own borders and gripper.
    virtual void CalcInsideRect(CRect& rect, BOOL bHorz) const;
    virtual void DrawBorders(CDC* pDC, CRect& rect);
    virtual void DrawGripper(CDC* pDC, const CRect& rect);
    // Refreshes the state of the bar's commands from the target's handlers.
    virtual void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHandler);
    virtual void OnBarStyleChange(DWORD dwOldStyle, DWORD dwNewStyle);
    // Called on every layout pass; the style the pass places the bar by:
    // the bar bits and the window's visibility.
    virtual DWORD RecalcDelayShow(stSizeParentLayout* pLayout);

    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

    DWORD m_dwStyle;
    DWORD m_dwDockStyle;
    int m_cxLeftBorder;
    int m_cxRightBorder;
    int m_cyTopBorder;
    int m_cyBottomBorder;
    // The width the bar had when it floated last.
    int m_nMRUWidth;
    // The frame the bar belongs to, and the dock bar holding it (null while undocked).
    CFrameWnd* m_pDockSite;
    CDockBar* m_pDockBar;

protected:
    virtual LRESULT OnSizeParent(stSizeParentLayout* pLayout);
    // The widths of the edges the border bits ask for.
    CRect BorderEdges() const;

private:
    void OnNcPaint();
    void Register();
    void Unregister();
};
