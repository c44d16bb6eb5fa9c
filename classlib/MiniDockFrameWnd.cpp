#include "classlib/MiniDockFrameWnd.h"

#include <vector>

CMiniDockFrameWnd::CMiniDockFrameWnd() : m_wndDockBar(TRUE), m_pDockSite(nullptr)
{
}

BOOL CMiniDockFrameWnd::Create(CFrameWnd* pDockSite, const wchar_t* pszTitle)
{
    m_pDockSite = pDockSite;
    m_strTitle = pszTitle;
    const wchar_t* pszClass = RegisterDefaultClass(CS_DBLCLKS, ::LoadCursorW(NULL, IDC_ARROW),
                                                   reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1));
    // Owned by the dock site: it stays above it and goes with it.
    if (!CreateEx(WS_EX_TOOLWINDOW | WS_EX_WINDOWEDGE, pszClass, pszTitle,
                  WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0, 0,
                  pDockSite != nullptr ? pDockSite->m_hWnd : NULL, NULL))
    {
        if (!WasDestroyedInCreation(this))
            delete this;
        return FALSE;
    }
    // The floating bars still belong to the dock site's frame.
    m_wndDockBar.m_pDockSite = pDockSite;
    if (!m_wndDockBar.Create(this, CBRS_ALIGN_TOP | WS_CHILD | WS_VISIBLE, AFX_IDW_DOCKBAR_FLOAT))
    {
        DestroyWindow();
        return FALSE;
    }
    return TRUE;
}

void CMiniDockFrameWnd::RecalcLayout(BOOL)
{
    if (m_bInRecalcLayout || m_hWnd == NULL || m_wndDockBar.m_hWnd == NULL)
        return;
    m_bInRecalcLayout = true;
    CSize size = m_wndDockBar.CalcFixedLayout(FALSE, TRUE);
    m_wndDockBar.SetWindowPos(NULL, 0, 0, size.cx, size.cy, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT rc = {0, 0, size.cx, size.cy};
    if (::AdjustWindowRectEx(&rc, GetStyle(), FALSE, GetExStyle()))
        SetWindowPos(NULL, 0, 0, rc.right - rc.left, rc.bottom - rc.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ShowWindow(m_wndDockBar.GetDockedVisibleCount() > 0 ? SW_SHOWNOACTIVATE : SW_HIDE);
    m_bInRecalcLayout = false;
}

bool CMiniDockFrameWnd::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    if (nMsg == WM_CLOSE)
    {
        // Closing hides the bars; they stay the dock site's and can show again.
        for (CControlBar* pBar : std::vector<CControlBar*>(m_wndDockBar.m_arrBars))
        {
            if (pBar != nullptr && m_pDockSite != nullptr)
                m_pDockSite->ShowControlBar(pBar, FALSE);
        }
        lResult = 0;
        return true;
    }
    return CFrameWnd::OnMessage(nMsg, wParam, lParam, lResult);
}
