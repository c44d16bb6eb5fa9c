#include "classlib/ControlBar.h"

#include "classlib/DC.h"
#include "classlib/DockBar.h"
#include "classlib/FrameWnd.h"
#include "classlib/WinThread.h"

#include <algorithm>

namespace
{
// The longest side a bar reports when it is asked to stretch.
constexpr int StretchLength = 32767;
// Room of the gripper beside (or above) a docked bar's contents.
constexpr int GripperExtent = 7;
} // namespace

void RepositionInLayout(stSizeParentLayout* pLayout, HWND hWnd, const RECT& rc)
{
    int cx = std::max(0, static_cast<int>(rc.right - rc.left));
    int cy = std::max(0, static_cast<int>(rc.bottom - rc.top));
    const UINT nFlags = SWP_NOACTIVATE | SWP_NOZORDER;
    if (pLayout != nullptr && pLayout->hDWP != NULL)
    {
        pLayout->hDWP = ::DeferWindowPos(pLayout->hDWP, hWnd, NULL, rc.left, rc.top, cx, cy, nFlags);
        if (pLayout->hDWP != NULL)
            return;
    }
    // A failed batch is gone as a whole: this window and the rest move at once.
    ::SetWindowPos(hWnd, NULL, rc.left, rc.top, cx, cy, nFlags);
}

CControlBar::CControlBar()
    : m_dwStyle(0), m_dwDockStyle(0), m_cxLeftBorder(6), m_cxRightBorder(6), m_cyTopBorder(1),
      m_cyBottomBorder(1), m_nMRUWidth(StretchLength), m_pDockSite(nullptr), m_pDockBar(nullptr)
{
}

CControlBar::~CControlBar()
{
    Unregister();
}

void CControlBar::SetBarStyle(DWORD dwStyle)
{
    DWORD dwOld = m_dwStyle;
    m_dwStyle = dwStyle & CBRS_ALL;
    if (dwOld != m_dwStyle)
        OnBarStyleChange(dwOld, m_dwStyle);
}

BOOL CControlBar::IsFloating() const
{
    return m_pDockBar != nullptr && m_pDockBar->m_bFloating;
}

CSize CControlBar::CalcFixedLayout(BOOL bStretch, BOOL bHorz)
{
    CSize size;
    CRect rcInside;
    CalcInsideRect(rcInside, bHorz);
    // The borders are what the inside lost, so an empty inside gives them back negated.
    size.cx = bStretch && bHorz ? StretchLength : -rcInside.Width();
    size.cy = bStretch && !bHorz ? StretchLength : -rcInside.Height();
    return size;
}

CSize CControlBar::CalcDynamicLayout(int, DWORD dwMode)
{
    return CalcFixedLayout((dwMode & LM_STRETCH) != 0, (dwMode & LM_HORZ) != 0);
}

void CControlBar::CalcInsideRect(CRect& rect, BOOL bHorz) const
{
    rect.left += m_cxLeftBorder;
    rect.top += m_cyTopBorder;
    rect.right -= m_cxRightBorder;
    rect.bottom -= m_cyBottomBorder;
    if ((m_dwStyle & CBRS_GRIPPER) && !IsFloating())
    {
        if (bHorz)
            rect.left += GripperExtent;
        else
            rect.top += GripperExtent;
    }
}

CRect CControlBar::BorderEdges() const
{
    int nEdge = (m_dwStyle & CBRS_BORDER_3D) ? 2 : 1;
    return CRect((m_dwStyle & CBRS_BORDER_LEFT) ? nEdge : 0, (m_dwStyle & CBRS_BORDER_TOP) ? nEdge : 0,
                 (m_dwStyle & CBRS_BORDER_RIGHT) ? nEdge : 0, (m_dwStyle & CBRS_BORDER_BOTTOM) ? nEdge : 0);
}

void CControlBar::DrawBorders(CDC* pDC, CRect& rect)
{
    CRect rcEdges = BorderEdges();
    COLORREF crShadow = ::GetSysColor(COLOR_BTNSHADOW);
    COLORREF crLight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    if (rcEdges.left > 0)
        pDC->FillSolidRect(rect.left, rect.top, 1, rect.Height(), crShadow);
    if (rcEdges.top > 0)
        pDC->FillSolidRect(rect.left, rect.top, rect.Width(), 1, crShadow);
    if (rcEdges.right > 0)
        pDC->FillSolidRect(rect.right - 1, rect.top, 1, rect.Height(), crShadow);
    if (rcEdges.bottom > 0)
        pDC->FillSolidRect(rect.left, rect.bottom - 1, rect.Width(), 1, crShadow);
    if (m_dwStyle & CBRS_BORDER_3D)
    {
        CRect rcInner(rect.left + rcEdges.left / 2, rect.top + rcEdges.top / 2, rect.right - rcEdges.right / 2,
                      rect.bottom - rcEdges.bottom / 2);
        if (rcEdges.left > 0)
            pDC->FillSolidRect(rcInner.left, rcInner.top, 1, rcInner.Height(), crLight);
        if (rcEdges.top > 0)
            pDC->FillSolidRect(rcInner.left, rcInner.top, rcInner.Width(), 1, crLight);
    }
    rect.left += rcEdges.left;
    rect.top += rcEdges.top;
    rect.right -= rcEdges.right;
    rect.bottom -= rcEdges.bottom;
}

void CControlBar::DrawGripper(CDC* pDC, const CRect& rect)
{
    if (!(m_dwStyle & CBRS_GRIPPER) || IsFloating())
        return;
    COLORREF crLight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    COLORREF crShadow = ::GetSysColor(COLOR_BTNSHADOW);
    if (m_dwStyle & CBRS_ORIENT_HORZ)
    {
        CRect rc(rect.left + m_cxLeftBorder, rect.top + m_cyTopBorder, rect.left + m_cxLeftBorder + 3,
                 rect.bottom - m_cyBottomBorder);
        pDC->Draw3dRect(rc, crLight, crShadow);
    }
    else
    {
        CRect rc(rect.left + m_cxLeftBorder, rect.top + m_cyTopBorder, rect.right - m_cxRightBorder,
                 rect.top + m_cyTopBorder + 3);
        pDC->Draw3dRect(rc, crLight, crShadow);
    }
}

void CControlBar::OnUpdateCmdUI(CFrameWnd*, BOOL)
{
}

void CControlBar::OnBarStyleChange(DWORD, DWORD)
{
}

DWORD CControlBar::RecalcDelayShow(stSizeParentLayout*)
{
    return (m_dwStyle & CBRS_ALL) | (GetStyle() & WS_VISIBLE);
}

LRESULT CControlBar::OnSizeParent(stSizeParentLayout* pLayout)
{
    DWORD dwStyle = RecalcDelayShow(pLayout);
    if (!(dwStyle & WS_VISIBLE) || !(dwStyle & CBRS_ALIGN_ANY))
        return 0;
    CRect rect(pLayout->rect);
    CSize sizeAvail = rect.Size();
    DWORD dwMode = pLayout->bStretch ? LM_STRETCH : 0;
    if ((m_dwStyle & CBRS_SIZE_DYNAMIC) && (m_dwStyle & CBRS_FLOATING))
        dwMode |= LM_HORZ | LM_MRUWIDTH;
    else if (dwStyle & CBRS_ORIENT_HORZ)
        dwMode |= LM_HORZ | LM_HORZDOCK;
    else
        dwMode |= LM_VERTDOCK;
    CSize size = CalcDynamicLayout(-1, dwMode);
    size.cx = std::max(0L, std::min(size.cx, sizeAvail.cx));
    size.cy = std::max(0L, std::min(size.cy, sizeAvail.cy));

    // The strip comes off the leading (top, left) or trailing side of what is left.
    bool bHorz = (dwStyle & CBRS_ORIENT_HORZ) != 0;
    bool bLeading = (dwStyle & (bHorz ? CBRS_ALIGN_TOP : CBRS_ALIGN_LEFT)) != 0;
    LONG nThickness = bHorz ? size.cy : size.cx;
    (bHorz ? pLayout->sizeTotal.cy : pLayout->sizeTotal.cx) += nThickness;
    LONG& nTotalLength = bHorz ? pLayout->sizeTotal.cx : pLayout->sizeTotal.cy;
    nTotalLength = std::max(nTotalLength, bHorz ? size.cx : size.cy);
    if (bLeading)
    {
        (bHorz ? pLayout->rect.top : pLayout->rect.left) += nThickness;
    }
    else
    {
        (bHorz ? rect.top : rect.left) = (bHorz ? rect.bottom : rect.right) - nThickness;
        (bHorz ? pLayout->rect.bottom : pLayout->rect.right) -= nThickness;
    }
    rect.right = rect.left + size.cx;
    rect.bottom = rect.top + size.cy;
    if (pLayout->hDWP != NULL)
        RepositionInLayout(pLayout, m_hWnd, rect);
    return 0;
}

bool CControlBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_CREATE:
        Register();
        break;
    case WM_DESTROY:
        Unregister();
        break;
    case WM_SIZEPARENT:
        lResult = OnSizeParent(reinterpret_cast<stSizeParentLayout*>(lParam));
        return true;
    case WM_IDLEUPDATECMDUI:
        if (IsVisible())
        {
            CFrameWnd* pTarget = m_pDockSite != nullptr ? m_pDockSite : GetParentFrame();
            if (pTarget != nullptr)
                OnUpdateCmdUI(pTarget, static_cast<BOOL>(wParam));
        }
        lResult = 0;
        return true;
    case WM_NCCALCSIZE:
    {
        CRect rcEdges = BorderEdges();
        RECT* pRect = reinterpret_cast<RECT*>(lParam);
        pRect->left += rcEdges.left;
        pRect->top += rcEdges.top;
        pRect->right = std::max(pRect->left, pRect->right - rcEdges.right);
        pRect->bottom = std::max(pRect->top, pRect->bottom - rcEdges.bottom);
        lResult = 0;
        return true;
    }
    case WM_NCPAINT:
        OnNcPaint();
        lResult = 0;
        return true;
    default:
        break;
    }
    return CWnd::OnMessage(nMsg, wParam, lParam, lResult);
}

void CControlBar::OnNcPaint()
{
    CWindowDC dc(this);
    if (dc.m_hDC == NULL)
        return;
    CRect rcWindow;
    GetWindowRect(rcWindow);
    rcWindow.OffsetRect(-rcWindow.left, -rcWindow.top);
    CRect rcClient;
    GetClientRect(rcClient);
    CRect rcInner = rcWindow;
    CRect rcEdges = BorderEdges();
    rcInner.left += rcEdges.left;
    rcInner.top += rcEdges.top;
    // Only the frame around the client is ours to paint.
    CRect rcExclude(rcInner.left, rcInner.top, rcInner.left + rcClient.Width(), rcInner.top + rcClient.Height());
    dc.ExcludeClipRect(rcExclude);
    DrawBorders(&dc, rcWindow);
    DrawGripper(&dc, rcWindow);
}

void CControlBar::Register()
{
    if (m_pDockSite == nullptr)
        m_pDockSite = GetParentFrame();
    if (m_pDockSite != nullptr)
        m_pDockSite->AddControlBar(this);
}

void CControlBar::Unregister()
{
    if (m_pDockBar != nullptr)
    {
        m_pDockBar->RemoveControlBar(this);
        m_pDockBar = nullptr;
    }
    if (m_pDockSite != nullptr)
        m_pDockSite->RemoveControlBar(this);
    // The frame may go before this object does.
    m_pDockSite = nullptr;
}
