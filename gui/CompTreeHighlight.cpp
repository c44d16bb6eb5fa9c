#include "gui/CompTreeHighlight.h"

#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/Gradient.h"

namespace
{
// How far the frame reaches past the label's right edge.
constexpr int FrameRightMargin = 3;
constexpr int LabelTextMargin = 2;
} // namespace

void CCompTreeHighlight::SetColors()
{
    m_crWindow = ::GetSysColor(COLOR_WINDOW);
    m_crText = ::GetSysColor(COLOR_WINDOWTEXT);
    m_crFocusOuter = RGB(170, 200, 245);
    m_crFocusInner = RGB(230, 250, 250);
    m_crFocusTop = RGB(210, 240, 250);
    m_crFocusBottom = RGB(185, 215, 250);
    m_crTop = RGB(250, 250, 250);
    m_crBottom = RGB(235, 235, 235);
    m_crOuter = RGB(220, 220, 220);
    m_crInner = RGB(245, 245, 245);
}

RECT CCompTreeHighlight::FrameRect(const RECT& rcLabel, int nIconWidth)
{
    RECT rc = rcLabel;
    rc.left -= nIconWidth;
    rc.right += FrameRightMargin;
    return rc;
}

void CCompTreeHighlight::DrawFrame(HDC hDC, const RECT& rcLabel, int nIconWidth, bool bFocused) const
{
    CPen penOuter(PS_SOLID, 1, bFocused ? m_crFocusOuter : m_crOuter);
    CPen penInner(PS_SOLID, 1, bFocused ? m_crFocusInner : m_crInner);
    CBrush brushWindow(m_crWindow);
    CRect rc(FrameRect(rcLabel, nIconWidth));
    // Restores the context's own pen and brush before the objects above go.
    CDC dcItem;
    dcItem.Attach(hDC);
    dcItem.SelectObject(&brushWindow);
    dcItem.SelectObject(&penOuter);
    dcItem.RoundRect(&rc, POINT{5, 5});
    rc.DeflateRect(1, 1);
    dcItem.SelectObject(&penInner);
    dcItem.RoundRect(&rc, POINT{2, 2});
    rc.DeflateRect(1, 1);
    DrawGradient(&dcItem, rc, bFocused ? m_crFocusTop : m_crTop, bFocused ? m_crFocusBottom : m_crBottom, FALSE,
                 FALSE);
}

void CCompTreeHighlight::EraseFrame(HDC hDC, const RECT& rcLabel, int nIconWidth) const
{
    RECT rc = FrameRect(rcLabel, nIconWidth);
    CDC dcItem;
    dcItem.Attach(hDC);
    dcItem.FillSolidRect(&rc, m_crWindow);
}

void CCompTreeHighlight::DrawLabel(HDC hDC, const RECT& rcLabel, const CString& strLabel, bool bFocused) const
{
    CPen penOuter(PS_SOLID, 1, bFocused ? m_crFocusOuter : m_crOuter);
    CPen penInner(PS_SOLID, 1, bFocused ? m_crFocusInner : m_crInner);
    CDC dcItem;
    dcItem.Attach(hDC);
    const RECT& rc = rcLabel;
    dcItem.SelectObject(&penOuter);
    dcItem.MoveTo(rc.left, rc.top);
    dcItem.LineTo(rc.right, rc.top);
    dcItem.MoveTo(rc.left, rc.bottom - 1);
    dcItem.LineTo(rc.right, rc.bottom - 1);
    dcItem.SelectObject(&penInner);
    dcItem.MoveTo(rc.left, rc.top + 1);
    dcItem.LineTo(rc.right, rc.top + 1);
    dcItem.MoveTo(rc.left, rc.bottom - 2);
    dcItem.LineTo(rc.right, rc.bottom - 2);
    RECT rcGradient = {rc.left, rc.top + 2, rc.right, rc.bottom - 2};
    DrawGradient(&dcItem, rcGradient, bFocused ? m_crFocusTop : m_crTop, bFocused ? m_crFocusBottom : m_crBottom,
                 FALSE, FALSE);
    if (strLabel.IsEmpty())
        return;
    RECT rcText = {rc.left + LabelTextMargin, rc.top, rc.right - LabelTextMargin, rc.bottom};
    COLORREF crOldText = dcItem.SetTextColor(m_crText);
    int nOldMode = dcItem.SetBkMode(TRANSPARENT);
    dcItem.DrawText(strLabel, strLabel.GetLength(), &rcText, DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX);
    dcItem.SetBkMode(nOldMode);
    dcItem.SetTextColor(crOldText);
}
