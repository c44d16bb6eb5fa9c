// CStatusBarACT: the main frame's status bar. Each pane may carry a tip, a
// cursor and click rules; a click that the rules allow reaches the parent as
// WM_COMMAND (mouse message in the high word, pane id in the low word). A
// pane text may bring its tip after a line break, and a pane may size
// itself to its text.
#pragma once

#include "classlib/ToolTipCtrl.h"
#include "guitoolkit/SkinStatusBar.h"

#include <vector>

// Pane flags.
constexpr DWORD SBACT_AUTOSIZE = 0x0001;
constexpr DWORD SBACT_CLICKABLE = 0x0002;
constexpr DWORD SBACT_HANDCURSOR = 0x0004;
constexpr DWORD SBACT_DBLCLICK = 0x0100;
constexpr DWORD SBACT_CLICK = 0x0200;
constexpr DWORD SBACT_CLICKKINDS = 0x0F00;
constexpr DWORD SBACT_LEFT = 0x1000;
constexpr DWORD SBACT_RIGHT = 0x2000;
constexpr DWORD SBACT_MIDDLE = 0x4000;
constexpr DWORD SBACT_BUTTONS = 0xF000;

// One pane for SetIndicators: its command id, tip (null or empty for none),
// flags and cursor resource (a name or an integer id; null for none).
struct stStatusPane
{
    int nID;
    const wchar_t* pszTip;
    int nFlags;
    const wchar_t* pszCursor;
};

class CStatusBarACT : public CSkinStatusBar
{
public:
    using CSkinStatusBar::SetIndicators;
    // The records go to the panes by their place: several separators share
    // the id 0.
    BOOL SetIndicators(const stStatusPane* pPanes, int nCount);

    BOOL SetPaneFlags(int nIndex, DWORD dwFlags);
    DWORD GetPaneFlags(int nIndex) const;
    BOOL SetPaneCursor(int nIndex, HCURSOR hCursor);
    HCURSOR GetPaneCursor(int nIndex) const;
    BOOL SetPaneTooltip(int nIndex, const wchar_t* pszText);
    // The first pane whose rectangle holds the client point, or -1.
    int PaneFromPoint(POINT pt) const;
    // The pane's width becomes that of its text, up to a line break.
    void AutoSizePane(int nIndex);

    // Whether a click with that mouse message counts on a pane with those flags.
    static bool ClickCounts(DWORD dwFlags, UINT nMsg);

    BOOL PreTranslateMessage(MSG* pMsg) override;
    LRESULT DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    bool HasTool(int nIndex) const;
    void RepositionTools();
    void SendClickCommand(UINT nMsg, LPARAM lParam);
    // The text a pane shows, with any tip after a line break going to the
    // pane's tool.
    LRESULT SetTextAndTip(WPARAM wParam, const wchar_t* pszText);
    bool SetPaneCursorShape();

    CToolTipCtrl m_wndToolTip;
    std::vector<DWORD> m_paneFlags;
    std::vector<HCURSOR> m_paneCursors;
    // Nothing in the program sets either: a hand-cursor pane then keeps the
    // cursor it has.
    HCURSOR m_hHandCursor = NULL;
    BOOL m_bUseSystemHand = FALSE;
};
