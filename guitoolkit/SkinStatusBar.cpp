#include "guitoolkit/SkinStatusBar.h"

#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"

#include <algorithm>
#include <string>

namespace
{
constexpr DWORD ForcedControlStyles = CCS_BOTTOM | CCS_NOPARENTALIGN;
constexpr int GripSpacing = 4;
constexpr int GripLineStep = 4;

// The icon's size as its colour bitmap has it; zero when it has none.
CSize IconSize(HICON hIcon)
{
    ICONINFO stInfo = {};
    if (!::GetIconInfo(hIcon, &stInfo))
        return CSize();
    BITMAP stBitmap = {};
    HBITMAP hMeasured = stInfo.hbmColor != NULL ? stInfo.hbmColor : stInfo.hbmMask;
    CSize size;
    if (hMeasured != NULL && ::GetObjectW(hMeasured, sizeof(stBitmap), &stBitmap))
        size = CSize(stBitmap.bmWidth, stInfo.hbmColor != NULL ? stBitmap.bmHeight : stBitmap.bmHeight / 2);
    if (stInfo.hbmColor != NULL)
        ::DeleteObject(stInfo.hbmColor);
    if (stInfo.hbmMask != NULL)
        ::DeleteObject(stInfo.hbmMask);
    return size;
}
} // namespace

void CSkinStatusBar::PreSubclassWindow()
{
    ModifyStyle(0, ForcedControlStyles);
}

void CSkinStatusBar::GetPaneDrawRect(int nIndex, RECT& rc) const
{
    GetItemRect(nIndex, &rc);
    if (nIndex != GetCount() - 1 || ::IsRectEmpty(&rc))
        return;
    UINT nID = 0, nStyle = 0;
    int cxWidth = 0;
    GetPaneInfo(nIndex, nID, nStyle, cxWidth);
    if (!(nStyle & SBPS_STRETCH))
    {
        rc.right = rc.left + cxWidth + 3 * ::GetSystemMetrics(SM_CXEDGE);
        return;
    }
    CRect rcClient;
    GetClientRect(rcClient);
    rc.right = rcClient.right;
    if (GetStyle() & SBARS_SIZEGRIP)
        rc.right -= ::GetSystemMetrics(SM_CXSMICON) + ::GetSystemMetrics(SM_CXEDGE);
}

void CSkinStatusBar::DrawGripDots(CDC* pDC, const CRect& rcGrip, COLORREF crDot, COLORREF crHighlight)
{
    int n = std::min(rcGrip.Width() / GripSpacing, rcGrip.Height() / GripSpacing) - 1;
    for (int c = 0; n - c > 0; ++c)
    {
        for (int d = 0; d < n - c; ++d)
        {
            int x = rcGrip.right - 4 - GripSpacing * c;
            int y = rcGrip.bottom - 3 - GripSpacing * d;
            if (crHighlight != CLR_NONE)
                pDC->FillSolidRect(x + 1, y + 1, 2, 2, crHighlight);
            pDC->FillSolidRect(x, y, 2, 2, crDot);
        }
    }
}

void CSkinStatusBar::DrawGripLines(CDC* pDC, const CRect& rcGrip)
{
    CPen penShadow(PS_SOLID, 1, ::GetSysColor(COLOR_BTNSHADOW));
    CPen penLight(PS_SOLID, 1, ::GetSysColor(COLOR_BTNHIGHLIGHT));
    int nLimit = std::min(rcGrip.Width(), rcGrip.Height()) - 4;
    HGDIOBJ hOld = ::SelectObject(pDC->m_hDC, penShadow);
    for (int nOffset = 2; nOffset < nLimit; nOffset += GripLineStep)
    {
        for (int nIn = 0; nIn < 3; ++nIn)
        {
            ::SelectObject(pDC->m_hDC, nIn < 2 ? penShadow : penLight);
            pDC->MoveTo(rcGrip.right - nOffset - nIn, rcGrip.bottom);
            pDC->LineTo(rcGrip.right, rcGrip.bottom - nOffset - nIn);
        }
    }
    ::SelectObject(pDC->m_hDC, hOld);
}

void CSkinStatusBar::DrawGrip(CDC* pDC, const CRect& rcGrip, int nThemeId)
{
    if (nThemeId == 6 || nThemeId == 7)
        DrawGripDots(pDC, rcGrip, DarkenColor(100, GetMenuBackgroundColor(NULL)), CLR_NONE);
    else if (nThemeId >= 8 && nThemeId <= 11)
        DrawGripDots(pDC, rcGrip, DarkenColor(10, ::GetSysColor(COLOR_ACTIVECAPTION)), RGB(255, 255, 255));
    else
        DrawGripLines(pDC, rcGrip);
}

BOOL CSkinStatusBar::CreatePaneFont(CFont& font)
{
    NONCLIENTMETRICSW stMetrics = {};
    stMetrics.cbSize = sizeof(stMetrics);
    if (!::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(stMetrics), &stMetrics, 0))
        return FALSE;
    return font.CreateFontIndirect(&stMetrics.lfMenuFont);
}

void CSkinStatusBar::DrawPanes(CDC* pDC)
{
    CFont font;
    CreatePaneFont(font);
    HGDIOBJ hOldFont = font.m_hObject != NULL ? ::SelectObject(pDC->m_hDC, font.m_hObject) : NULL;
    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    // The modern style's bars are black: text in the context's black would not show there.
    CRect rcClient;
    GetClientRect(rcClient);
    COLORREF crOldText = ::GetTextColor(pDC->m_hDC);
    pDC->SetTextColor(ReadableTextColor(pDC->GetPixel(rcClient.left, rcClient.top + rcClient.Height() / 2), crOldText));
    for (int i = 0; i < GetCount(); ++i)
    {
        CRect rc;
        GetPaneDrawRect(i, rc);
        rc.top -= 1;
        HICON hIcon = reinterpret_cast<HICON>(SendMessage(SB_GETICON, i));
        if (hIcon != NULL)
        {
            CSize size = IconSize(hIcon);
            ::DrawStateW(pDC->m_hDC, NULL, nullptr, reinterpret_cast<LPARAM>(hIcon), 0, rc.left + 2, rc.top + 1,
                         size.cx, size.cy, DST_ICON);
            rc.left += size.cx + 1;
        }
        CString strText = GetPaneText(i);
        pDC->ExtTextOut(rc.left + 2, rc.top + 2, ETO_CLIPPED, rc, strText, static_cast<UINT>(strText.GetLength()));
    }
    pDC->SetTextColor(crOldText);
    pDC->SetBkMode(nOldMode);
    if (hOldFont != NULL)
        ::SelectObject(pDC->m_hDC, hOldFont);
}

void CSkinStatusBar::Paint(CDC* pDC)
{
    CRect rcClient;
    GetClientRect(rcClient);
    CRect rcGrip;
    WINDOWPLACEMENT stPlace = {};
    stPlace.length = sizeof(stPlace);
    HWND hTop = ::GetAncestor(m_hWnd, GA_ROOT);
    if (::GetWindowPlacement(hTop, &stPlace) && stPlace.showCmd != SW_SHOWMAXIMIZED)
    {
        rcGrip = rcClient;
        rcGrip.left = rcGrip.right - ::GetSystemMetrics(SM_CXVSCROLL) - 2;
    }
    CBrush brushSolid;
    HBRUSH hBrush = BarBrushOf(*this);
    if (hBrush == NULL && brushSolid.CreateSolidBrush(GetMenuBarColor(NULL)))
        hBrush = static_cast<HBRUSH>(brushSolid.m_hObject);
    POINT ptOldOrigin = {};
    ::SetBrushOrgEx(pDC->m_hDC, rcClient.left, rcClient.top, &ptOldOrigin);
    pDC->FillRect(rcClient, hBrush);
    DrawPanes(pDC);
    if (!rcGrip.IsRectEmpty())
    {
        pDC->FillRect(rcGrip, hBrush);
        rcGrip.left -= 2;
        rcGrip.OffsetRect(-1, -2);
        DrawGrip(pDC, rcGrip, CSkinMenu::GetCurrentThemeId());
    }
    ::SetBrushOrgEx(pDC->m_hDC, ptOldOrigin.x, ptOldOrigin.y, nullptr);
}

bool CSkinStatusBar::OnMessage(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult)
{
    switch (nMsg)
    {
    case WM_ERASEBKGND:
        lResult = TRUE;
        return true;
    case WM_PAINT:
    {
        // A bar on its own is left to the control.
        if (::GetAncestor(m_hWnd, GA_ROOT) == m_hWnd)
            return CStatusBar::OnMessage(nMsg, wParam, lParam, lResult);
        CPaintDC dc(this);
        Paint(&dc);
        lResult = 0;
        return true;
    }
    default:
        return CStatusBar::OnMessage(nMsg, wParam, lParam, lResult);
    }
}
