// CStatusBar: a bar of text panes over the common status control, each pane
// named by a command id (0 for a separator) whose string is its first text.
#pragma once

#include "classlib/ControlBar.h"

#include <commctrl.h>

#include <vector>

constexpr UINT ID_SEPARATOR = 0;

// Pane styles: the low bits are those of SB_SETTEXTW's high byte.
constexpr UINT SBPS_NORMAL = 0x0000;
constexpr UINT SBPS_NOBORDERS = SBT_NOBORDERS;
constexpr UINT SBPS_POPOUT = SBT_POPOUT;
// A disabled pane shows no text but keeps it for when it is enabled again.
constexpr UINT SBPS_DISABLED = 0x04000000;
// The pane takes what the others leave of the bar's width.
constexpr UINT SBPS_STRETCH = 0x08000000;

class CStatusBar : public CControlBar
{
public:
    CStatusBar();

    // dwCtrlStyle: the control's own styles (SBARS_*), which share their
    // bits with the bar's.
    BOOL Create(CWnd* pParent, DWORD dwStyle = WS_CHILD | WS_VISIBLE | CBRS_BOTTOM,
                UINT nID = AFX_IDW_STATUS_BAR, DWORD dwCtrlStyle = 0);
    // One pane per id, with the id's string as its text and width. A separator
    // in the first place stretches and has no borders.
    BOOL SetIndicators(const UINT* pIDs, int nCount);

    int GetCount() const { return static_cast<int>(m_panes.size()); }
    // The first pane with the id, or -1.
    int CommandToIndex(UINT nID) const;
    UINT GetItemID(int nIndex) const;
    void GetItemRect(int nIndex, LPRECT pRect) const;
    void GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const;
    void SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth);
    UINT GetPaneStyle(int nIndex) const;
    void SetPaneStyle(int nIndex, UINT nStyle);
    // The text the control shows in the pane.
    CString GetPaneText(int nIndex) const;
    // Sent to the bar's own window as SB_SETTEXTW, so that derived bars see
    // every text on its way to the control.
    BOOL SetPaneText(int nIndex, const wchar_t* pszText, BOOL bUpdate = TRUE);

    CSize CalcFixedLayout(BOOL bStretch, BOOL bHorz) override;
    void OnUpdateCmdUI(CFrameWnd* pTarget, BOOL bDisableIfNoHandler) override;
    bool OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

protected:
    struct stPane
    {
        UINT nID;
        UINT nStyle;
        int cxText;
        CString strText;
    };

    bool IsPane(int nIndex) const { return nIndex >= 0 && nIndex < GetCount(); }
    // The parts' right edges for the control, the stretching panes sharing
    // what the fixed ones leave.
    void UpdateParts(bool bResized = false);
    // Sends the kept text, or none while the pane is disabled.
    void ShowPaneText(int nIndex);
    int TextWidth(const wchar_t* pszText) const;
    // The width the size grip keeps at the bar's right end, where no pane
    // may reach: none while the window is maximised and shows no grip.
    int GripRoom() const;

    std::vector<stPane> m_panes;
};
