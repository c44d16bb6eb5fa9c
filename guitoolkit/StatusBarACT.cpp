#include "guitoolkit/StatusBarACT.h"

#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "classlib/WinApp.h"

#include <windowsx.h>

namespace
{
// Tips may run over several lines.
constexpr int MaxTipWidth = 65535;

UINT_PTR ToolOfPane(int nIndex)
{
    return static_cast<UINT_PTR>(nIndex) + 1;
}

DWORD ButtonOfMessage(UINT nMsg)
{
    switch (nMsg)
    {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
        return SBACT_LEFT;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        return SBACT_RIGHT;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        return SBACT_MIDDLE;
    default:
        return 0;
    }
}
} // namespace

BOOL CStatusBarACT::SetIndicators(const stStatusPane* pPanes, int nCount)
{
    if (pPanes == nullptr || nCount <= 0)
        return FALSE;
    std::vector<UINT> ids;
    for (int i = 0; i < nCount; ++i)
        ids.push_back(static_cast<UINT>(pPanes[i].nID));
    BOOL bResult = CSkinStatusBar::SetIndicators(ids.data(), nCount);
    CWinApp* pApp = CWinApp::GetApp();
    for (int i = 0; i < nCount; ++i)
    {
        SetPaneTooltip(i, pPanes[i].pszTip);
        SetPaneFlags(i, static_cast<DWORD>(pPanes[i].nFlags));
        HCURSOR hCursor = NULL;
        if (pPanes[i].pszCursor != nullptr && pApp != nullptr)
            hCursor = ::LoadCursorW(CWinApp::GetResourceModule(), pPanes[i].pszCursor);
        SetPaneCursor(i, hCursor);
    }
    return bResult;
}

BOOL CStatusBarACT::SetPaneFlags(int nIndex, DWORD dwFlags)
{
    if (!IsPane(nIndex))
        return FALSE;
    if (!(dwFlags & SBACT_CLICKKINDS))
        dwFlags |= SBACT_DBLCLICK;
    if (!(dwFlags & SBACT_BUTTONS))
        dwFlags |= SBACT_LEFT;
    if (m_paneFlags.size() <= static_cast<size_t>(nIndex))
        m_paneFlags.resize(static_cast<size_t>(nIndex) + 1, 0);
    m_paneFlags[nIndex] = dwFlags;
    return TRUE;
}

DWORD CStatusBarACT::GetPaneFlags(int nIndex) const
{
    if (!IsPane(nIndex) || static_cast<size_t>(nIndex) >= m_paneFlags.size())
        return 0;
    return m_paneFlags[nIndex];
}

BOOL CStatusBarACT::SetPaneCursor(int nIndex, HCURSOR hCursor)
{
    if (!IsPane(nIndex))
        return FALSE;
    if (m_paneCursors.size() <= static_cast<size_t>(nIndex))
        m_paneCursors.resize(static_cast<size_t>(nIndex) + 1, NULL);
    m_paneCursors[nIndex] = hCursor;
    return TRUE;
}

HCURSOR CStatusBarACT::GetPaneCursor(int nIndex) const
{
    if (!IsPane(nIndex) || static_cast<size_t>(nIndex) >= m_paneCursors.size())
        return NULL;
    return m_paneCursors[nIndex];
}

bool CStatusBarACT::HasTool(int nIndex) const
{
    TOOLINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.hwnd = m_hWnd;
    stInfo.uId = ToolOfPane(nIndex);
    return m_wndToolTip.SendMessage(TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&stInfo)) != FALSE;
}

BOOL CStatusBarACT::SetPaneTooltip(int nIndex, const wchar_t* pszText)
{
    if (!IsPane(nIndex))
        return FALSE;
    if (m_wndToolTip.m_hWnd == NULL)
        return TRUE;
    if (pszText == nullptr || pszText[0] == L'\0')
    {
        m_wndToolTip.DelTool(this, ToolOfPane(nIndex));
        return TRUE;
    }
    if (HasTool(nIndex))
    {
        m_wndToolTip.UpdateTipText(pszText, this, ToolOfPane(nIndex));
        return TRUE;
    }
    CRect rc;
    GetItemRect(nIndex, rc);
    m_wndToolTip.AddTool(this, pszText, rc, ToolOfPane(nIndex));
    return TRUE;
}

int CStatusBarACT::PaneFromPoint(POINT pt) const
{
    for (int i = 0; i < GetCount(); ++i)
    {
        CRect rc;
        GetItemRect(i, rc);
        if (::PtInRect(&rc, pt))
            return i;
    }
    return -1;
}

void CStatusBarACT::AutoSizePane(int nIndex)
{
    if (!IsPane(nIndex) || m_hWnd == NULL)
        return;
    CString strText = GetPaneText(nIndex);
    int nBreak = strText.Find(L'\n');
    if (nBreak >= 0)
        strText = strText.Left(nBreak);
    // Measured in the font the text is painted in, not the control's own:
    // a text measured narrower than it paints loses its end to the clip.
    CFont font;
    CClientDC dc(this);
    if (CreatePaneFont(font))
        dc.SelectObject(&font);
    CRect rc;
    dc.DrawText(strText, strText.GetLength(), rc, DT_CALCRECT | DT_NOPREFIX | DT_SINGLELINE);
    UINT nID = 0, nStyle = 0;
    int cxWidth = 0;
    GetPaneInfo(nIndex, nID, nStyle, cxWidth);
    SetPaneInfo(nIndex, nID, nStyle, rc.Width());
    RepositionTools();
}

void CStatusBarACT::RepositionTools()
{
    if (m_wndToolTip.m_hWnd == NULL)
        return;
    for (int i = 0; i < GetCount(); ++i)
    {
        CRect rc;
        GetItemRect(i, rc);
        m_wndToolTip.SetToolRect(this, ToolOfPane(i), rc);
    }
}

bool CStatusBarACT::ClickCounts(DWORD dwFlags, UINT nMsg)
{
    DWORD dwButton = ButtonOfMessage(nMsg);
    if (dwButton == 0 || !(dwFlags & SBACT_CLICKABLE))
        return false;
    bool bDouble = nMsg == WM_LBUTTONDBLCLK || nMsg == WM_RBUTTONDBLCLK || nMsg == WM_MBUTTONDBLCLK;
    return (dwFlags & (bDouble ? SBACT_DBLCLICK : SBACT_CLICK)) && (dwFlags & dwButton);
}

void CStatusBarACT::SendClickCommand(UINT nMsg, LPARAM lParam)
{
    HWND hParent = ::GetParent(m_hWnd);
    if (hParent == NULL)
        return;
    int nIndex = PaneFromPoint(CPoint(GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)));
    if (nIndex < 0 || static_cast<size_t>(nIndex) >= m_paneFlags.size() || !ClickCounts(m_paneFlags[nIndex], nMsg))
        return;
    WPARAM wParam = (static_cast<WPARAM>(nMsg) << 16) | (GetItemID(nIndex) & 0xFFFF);
    ::SendMessageW(hParent, WM_COMMAND, wParam, 0);
}

LRESULT CStatusBarACT::SetTextAndTip(WPARAM wParam, const wchar_t* pszText)
{
    // The caller's text is const: the pane's part is a copy.
    CString strText(pszText);
    CString strTip;
    bool bTip = false;
    int nBreak = strText.Find(L'\n');
    if (nBreak >= 0)
    {
        strTip = strText.Mid(nBreak + 1);
        strText = strText.Left(nBreak);
        bTip = true;
    }
    LRESULT lResult = CSkinStatusBar::DefWindowProc(SB_SETTEXTW, wParam, reinterpret_cast<LPARAM>(strText.GetString()));
    int nIndex = LOBYTE(wParam);
    if (GetPaneFlags(nIndex) & SBACT_AUTOSIZE)
        AutoSizePane(nIndex);
    if (bTip)
        SetPaneTooltip(nIndex, strTip);
    return lResult;
}

LRESULT CStatusBarACT::DefWindowProc(UINT nMsg, WPARAM wParam, LPARAM lParam)
{
    if (nMsg == SB_SETTEXTW && lParam != 0)
        return SetTextAndTip(wParam, reinterpret_cast<const wchar_t*>(lParam));
    if (ButtonOfMessage(nMsg) != 0)
        SendClickCommand(nMsg, lParam);
    return CSkinStatusBar::DefWindowProc(nMsg, wParam, lParam);
}

BOOL CStatusBarACT::PreTranslateMessage(MSG* pMsg)
{
    if (m_wndToolTip.m_hWnd != NULL)
        m_wndToolTip.RelayEvent(pMsg);
    return CSkinStatusBar::PreTranslateMessage(pMsg);
}

bool CStatusBarACT::SetPaneCursorShape()
{
    CPoint pt;
    if (!::GetCursorPos(&pt))
        return false;
    ScreenToClient(&pt);
    int nIndex = PaneFromPoint(pt);
    if (nIndex < 0)
        return false;
    HCURSOR hCursor = GetPaneCursor(nIndex);
    if (hCursor == NULL && (GetPaneFlags(nIndex) & SBACT_HANDCURSOR))
    {
        if (m_bUseSystemHand)
            hCursor = ::LoadCursorW(NULL, IDC_HAND);
        if (hCursor == NULL)
            hCursor = m_hHandCursor;
    }
    if (hCursor == NULL)
        return false;
    ::SetCursor(hCursor);
    return true;
}

bool CStatusBarACT::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        if (!CSkinStatusBar::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = DefWindowProc(nMsg, wParam, lParam);
        if (lResult == -1)
            return true;
        if (m_wndToolTip.Create(this))
            m_wndToolTip.SetMaxTipWidth(MaxTipWidth);
        return true;
    case WM_SIZE:
        if (!CSkinStatusBar::OnMessage(nMsg, wParam, lParam, lResult))
            lResult = DefWindowProc(nMsg, wParam, lParam);
        RepositionTools();
        return true;
    case WM_SETCURSOR:
        if (LOWORD(lParam) == HTCLIENT && SetPaneCursorShape())
        {
            lResult = TRUE;
            return true;
        }
        return CSkinStatusBar::OnMessage(nMsg, wParam, lParam, lResult);
    default:
        return CSkinStatusBar::OnMessage(nMsg, wParam, lParam, lResult);
    }
}
