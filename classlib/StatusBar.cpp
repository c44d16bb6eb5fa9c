#include "classlib/StatusBar.h"

#include "classlib/BarCmdUI.h"
#include "classlib/DC.h"
#include "classlib/FrameWnd.h"

#include <algorithm>

namespace
{
// Room of a pane's edges beside its text.
constexpr int PaneEdges = 8;
// The status control allows no more parts than this.
constexpr int MaxParts = 255;
} // namespace

CStatusBar::CStatusBar()
{
    m_cxLeftBorder = 0;
    m_cxRightBorder = 0;
    m_cyTopBorder = 2;
    m_cyBottomBorder = 0;
}

BOOL CStatusBar::Create(CWnd* pParent, DWORD dwStyle, UINT nID, DWORD dwCtrlStyle)
{
    // The frame's layout places the bar: the control must not move or size
    // itself to its parent on every WM_SIZE.
    DWORD dwWindowStyle =
        (dwStyle & ~CBRS_ALL) | (dwCtrlStyle & 0xFFFF) | CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER;
    if (!CreateEx(0, STATUSCLASSNAMEW, nullptr, dwWindowStyle, CRect(0, 0, 0, 0), pParent, nID))
        return FALSE;
    SetBarStyle(dwStyle & CBRS_ALL);
    return TRUE;
}

BOOL CStatusBar::SetIndicators(const UINT* pIDs, int nCount)
{
    if (nCount < 0 || nCount > MaxParts || (nCount > 0 && pIDs == nullptr))
        return FALSE;
    m_panes.clear();
    for (int i = 0; i < nCount; ++i)
    {
        stPane stInfo = {pIDs[i], SBPS_NORMAL, 0, CString()};
        if (stInfo.nID != ID_SEPARATOR)
        {
            stInfo.strText.LoadString(stInfo.nID);
            stInfo.cxText = TextWidth(stInfo.strText);
        }
        else if (i == 0)
        {
            stInfo.nStyle = SBPS_NOBORDERS | SBPS_STRETCH;
        }
        m_panes.push_back(stInfo);
    }
    UpdateParts();
    for (int i = 0; i < nCount; ++i)
        ShowPaneText(i);
    return TRUE;
}

int CStatusBar::CommandToIndex(UINT nID) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        if (m_panes[i].nID == nID)
            return i;
    }
    return -1;
}

UINT CStatusBar::GetItemID(int nIndex) const
{
    return IsPane(nIndex) ? m_panes[nIndex].nID : 0;
}

void CStatusBar::GetItemRect(int nIndex, LPRECT pRect) const
{
    ::SetRectEmpty(pRect);
    if (IsPane(nIndex) && !SendMessage(SB_GETRECT, nIndex, reinterpret_cast<LPARAM>(pRect)))
        ::SetRectEmpty(pRect);
}

void CStatusBar::GetPaneInfo(int nIndex, UINT& nID, UINT& nStyle, int& cxWidth) const
{
    nID = 0;
    nStyle = 0;
    cxWidth = 0;
    if (!IsPane(nIndex))
        return;
    nID = m_panes[nIndex].nID;
    nStyle = m_panes[nIndex].nStyle;
    cxWidth = m_panes[nIndex].cxText;
}

void CStatusBar::SetPaneInfo(int nIndex, UINT nID, UINT nStyle, int cxWidth)
{
    if (!IsPane(nIndex))
        return;
    stPane& stInfo = m_panes[nIndex];
    bool bTextChanged = (stInfo.nStyle ^ nStyle) & (SBPS_NOBORDERS | SBPS_POPOUT | SBPS_DISABLED);
    stInfo.nID = nID;
    stInfo.nStyle = nStyle;
    stInfo.cxText = std::max(0, cxWidth);
    UpdateParts();
    if (bTextChanged)
        ShowPaneText(nIndex);
}

UINT CStatusBar::GetPaneStyle(int nIndex) const
{
    return IsPane(nIndex) ? m_panes[nIndex].nStyle : 0;
}

void CStatusBar::SetPaneStyle(int nIndex, UINT nStyle)
{
    if (IsPane(nIndex) && m_panes[nIndex].nStyle != nStyle)
        SetPaneInfo(nIndex, m_panes[nIndex].nID, nStyle, m_panes[nIndex].cxText);
}

CString CStatusBar::GetPaneText(int nIndex) const
{
    if (!IsPane(nIndex) || m_hWnd == NULL)
        return CString();
    int nLength = LOWORD(SendMessage(SB_GETTEXTLENGTHW, nIndex));
    std::wstring strText(static_cast<size_t>(nLength) + 1, L'\0');
    SendMessage(SB_GETTEXTW, nIndex, reinterpret_cast<LPARAM>(&strText[0]));
    return CString(strText.c_str());
}

BOOL CStatusBar::SetPaneText(int nIndex, const wchar_t* pszText, BOOL bUpdate)
{
    if (!IsPane(nIndex))
        return FALSE;
    CString strText(pszText);
    if (strText == m_panes[nIndex].strText)
        return TRUE;
    m_panes[nIndex].strText = strText;
    ShowPaneText(nIndex);
    if (bUpdate)
        UpdateWindow();
    return TRUE;
}

void CStatusBar::ShowPaneText(int nIndex)
{
    if (m_hWnd == NULL || !IsPane(nIndex))
        return;
    const stPane& stInfo = m_panes[nIndex];
    const wchar_t* pszText = (stInfo.nStyle & SBPS_DISABLED) ? L"" : stInfo.strText.GetString();
    WPARAM wParam = static_cast<WPARAM>(nIndex) | (stInfo.nStyle & (SBPS_NOBORDERS | SBPS_POPOUT));
    SendMessage(SB_SETTEXTW, wParam, reinterpret_cast<LPARAM>(pszText));
}

int CStatusBar::TextWidth(const wchar_t* pszText) const
{
    if (m_hWnd == NULL)
        return 0;
    CClientDC dc(const_cast<CStatusBar*>(this));
    HFONT hFont = GetFont();
    dc.SelectObject(hFont != NULL ? static_cast<HGDIOBJ>(hFont) : ::GetStockObject(DEFAULT_GUI_FONT));
    return dc.GetTextExtent(pszText, static_cast<int>(wcslen(pszText))).cx;
}

int CStatusBar::GripRoom() const
{
    if (!(GetStyle() & SBARS_SIZEGRIP) || ::IsZoomed(::GetAncestor(m_hWnd, GA_ROOT)))
        return 0;
    return ::GetSystemMetrics(SM_CXVSCROLL) + 2 * ::GetSystemMetrics(SM_CXBORDER);
}

void CStatusBar::UpdateParts(bool bResized)
{
    if (m_hWnd == NULL || m_panes.empty())
        return;
    CRect rcClient;
    GetClientRect(rcClient);
    int nFixed = 0;
    int nStretching = 0;
    for (const stPane& stInfo : m_panes)
    {
        if (stInfo.nStyle & SBPS_STRETCH)
            ++nStretching;
        else
            nFixed += stInfo.cxText + PaneEdges;
    }
    int nSpare = std::max(0, rcClient.Width() - GripRoom() - nFixed);
    std::vector<int> rights;
    int x = 0;
    for (const stPane& stInfo : m_panes)
    {
        int cx = stInfo.cxText + PaneEdges;
        if (stInfo.nStyle & SBPS_STRETCH)
        {
            // The first stretching panes take the remainder's odd pixels.
            cx = std::max(cx, nSpare / nStretching + (nSpare % nStretching > 0 ? 1 : 0));
            nSpare -= std::min(nSpare, cx);
            --nStretching;
        }
        x += cx;
        rights.push_back(x);
    }
    if (bResized)
    {
        // The control measures its parts' rectangles only when the parts
        // change, not when the bar is resized: a one-pixel change first
        // makes it measure them in the new size. The count stays, and so do
        // the texts.
        rights.back() += 1;
        SendMessage(SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
        rights.back() -= 1;
    }
    SendMessage(SB_SETPARTS, rights.size(), reinterpret_cast<LPARAM>(rights.data()));
}

CSize CStatusBar::CalcFixedLayout(BOOL bStretch, BOOL bHorz)
{
    CSize size = CControlBar::CalcFixedLayout(bStretch, bHorz);
    TEXTMETRICW stMetrics = {};
    if (m_hWnd != NULL)
    {
        CClientDC dc(this);
        HFONT hFont = GetFont();
        dc.SelectObject(hFont != NULL ? static_cast<HGDIOBJ>(hFont) : ::GetStockObject(DEFAULT_GUI_FONT));
        ::GetTextMetricsW(dc.m_hDC, &stMetrics);
    }
    int aBorders[3] = {};
    if (m_hWnd != NULL)
        SendMessage(SB_GETBORDERS, 0, reinterpret_cast<LPARAM>(aBorders));
    // The text, the control's own gaps above and below it and the panes' edges.
    size.cy += stMetrics.tmHeight + 2 * aBorders[1] + 2 * ::GetSystemMetrics(SM_CYEDGE) + 2;
    return size;
}

void CStatusBar::OnUpdateCmdUI(CFrameWnd* pTarget, BOOL)
{
    CStatusCmdUI state;
    state.m_pOther = this;
    state.m_nIndexMax = static_cast<UINT>(GetCount());
    for (int i = 0; i < GetCount(); ++i)
    {
        state.m_nID = m_panes[i].nID;
        state.m_nIndex = static_cast<UINT>(i);
        // Panes without a handler keep their state, like menu items.
        state.DoUpdate(pTarget);
    }
}

bool CStatusBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_SIZE)
    {
        lResult = DefWindowProc(nMsg, wParam, lParam);
        UpdateParts(true);
        return true;
    }
    return CControlBar::OnMessage(nMsg, wParam, lParam, lResult);
}
