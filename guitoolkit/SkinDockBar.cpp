#include "guitoolkit/SkinDockBar.h"

#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/SkinFrameWnd.h"
#include "guitoolkit/SkinMenuBar.h"
#include "guitoolkit/SkinMiniDockFrameWnd.h"

HBRUSH BarBrushOf(const CWnd& wnd)
{
    CSkinFrameWnd* pFrame = dynamic_cast<CSkinFrameWnd*>(wnd.GetTopLevelFrame());
    return pFrame != nullptr ? GetMenuBackgroundBrush(pFrame->m_skinMenu.m_hMenu) : NULL;
}

DWORD CSkinDockBar::RecalcDelayShow(stSizeParentLayout* pLayout)
{
    DWORD dwResult = CDockBar::RecalcDelayShow(pLayout);
    for (size_t i = 0; i < m_arrBars.size(); ++i)
    {
        CSkinMenuBar* pMenuBar = dynamic_cast<CSkinMenuBar*>(m_arrBars[i]);
        if (pMenuBar == nullptr)
            continue;
        if (i > 0 && m_arrBars[i - 1] != nullptr)
            m_arrBars.insert(m_arrBars.begin() + static_cast<std::ptrdiff_t>(i++), nullptr);
        CRect rc;
        pMenuBar->GetWindowRect(rc);
        ::MapWindowPoints(NULL, m_hWnd, reinterpret_cast<POINT*>(&rc), 2);
        const UINT nFlags = SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED;
        // Just past the dock bar's start, so that the layout puts it first in its row.
        if (pMenuBar->GetBarStyle() & CBRS_ORIENT_HORZ)
        {
            if (rc.left > 0)
                pMenuBar->SetWindowPos(NULL, -5, rc.top, 0, 0, nFlags);
        }
        else if (rc.top > 0)
        {
            pMenuBar->SetWindowPos(NULL, rc.left, -5, 0, 0, nFlags);
        }
        if (i + 1 < m_arrBars.size() && m_arrBars[i + 1] != nullptr)
            m_arrBars.insert(m_arrBars.begin() + static_cast<std::ptrdiff_t>(i + 1), nullptr);
    }
    return dwResult;
}

bool CSkinDockBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_ERASEBKGND:
        if (!OnEraseBkgnd(reinterpret_cast<HDC>(wParam)))
            break;
        lResult = TRUE;
        return true;
    case WM_NCPAINT:
        OnNcPaint();
        lResult = 0;
        return true;
    default:
        break;
    }
    return CDockBar::OnMessage(nMsg, wParam, lParam, lResult);
}

BOOL CSkinDockBar::OnEraseBkgnd(HDC hDC)
{
    HBRUSH hBrush = BarBrushOf(*this);
    if (hBrush == NULL)
        return FALSE;
    // A gradient brush runs across the whole frame, not bar by bar.
    CRect rcWindow, rcParent, rcClient;
    GetWindowRect(rcWindow);
    ::GetWindowRect(::GetParent(m_hWnd), &rcParent);
    GetClientRect(rcClient);
    POINT ptOld;
    ::SetBrushOrgEx(hDC, rcParent.left - rcWindow.left, 0, &ptOld);
    ::FillRect(hDC, &rcClient, hBrush);
    ::SetBrushOrgEx(hDC, ptOld.x, ptOld.y, nullptr);
    return TRUE;
}

void CSkinDockBar::OnNcPaint()
{
    PaintBarNonClient(*this, [this](CDC& dc, const CRect&) {
        SendMessage(WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc.m_hDC));
    });
}

void PaintBarNonClient(CControlBar& bar, const std::function<void(CDC& dc, const CRect& rcWindow)>& fillGround)
{
    CWindowDC dc(&bar);
    if (dc.m_hDC == NULL)
        return;
    CRect rcWindow, rcClient;
    bar.GetWindowRect(rcWindow);
    bar.GetClientRect(rcClient);
    ::MapWindowPoints(bar.m_hWnd, NULL, reinterpret_cast<POINT*>(&rcClient), 2);
    rcClient.OffsetRect(-rcWindow.left, -rcWindow.top);
    rcWindow.OffsetRect(-rcWindow.left, -rcWindow.top);
    dc.ExcludeClipRect(rcClient);
    fillGround(dc, rcWindow);
    bar.DrawGripper(&dc, rcWindow);
}

void EnableSkinDocking(CFrameWnd* pFrame, DWORD dwDockStyle)
{
    pFrame->m_pFloatingFrameClass = &CSkinMiniDockFrameWnd::CreateObject;
    pFrame->EnableDocking(dwDockStyle, []() -> CDockBar* { return new CSkinDockBar; });
}
