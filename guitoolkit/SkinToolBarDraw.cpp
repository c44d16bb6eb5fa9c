// The theme's look of CSkinToolBar: ground, borders, gripper and buttons.
#include "guitoolkit/SkinToolBar.h"

#include "classlib/DC.h"
#include "classlib/GdiObject.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinDockBar.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
constexpr COLORREF FrameBlue = 0x840204;
constexpr COLORREF HotFrom = 0xDBEFFA;
constexpr COLORREF HotTo = 0x97D4FF;
constexpr COLORREF PressedFrom = 0x6B97F2;
constexpr COLORREF PressedTo = 0xA3CAF9;
constexpr COLORREF CheckedFill = 0xC2EEFF;
constexpr COLORREF NoColour = static_cast<COLORREF>(-1);
// The arrow part of a drop-down button, at its right edge.
constexpr int ArrowPartWidth = 13;
constexpr int DropDownImageShift = 7;

COLORREF SysColor(int nIndex)
{
    return ToolkitEnvironment().pfnGetSysColor(nIndex);
}

bool IsBarColorTheme(int nThemeId)
{
    return nThemeId >= 8 && nThemeId <= 11;
}

// Ids 8 and 9 look like 2 without a visual style.
int ButtonThemeId()
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    bool bStyled = stEnv.pfnIsThemeActive != nullptr && stEnv.pfnIsThemeActive();
    if ((nThemeId == 8 || nThemeId == 9) && !bStyled)
        return 2;
    return nThemeId;
}

void Frame(CDC* pDC, const CRect& rc, COLORREF cr)
{
    CBrush brush(cr);
    pDC->FrameRect(rc, brush);
}

void VerticalGradient(CDC* pDC, int l, int t, int r, int b, COLORREF crFrom, COLORREF crTo)
{
    if (r > l && b > t)
        DrawGradient(pDC, CRect(l, t, r, b), crFrom, crTo, FALSE, TRUE);
}

void HorizontalGradient(CDC* pDC, int l, int t, int r, int b, COLORREF crFrom, COLORREF crTo)
{
    if (r > l && b > t)
        DrawGradient(pDC, CRect(l, t, r, b), crFrom, crTo, TRUE, TRUE);
}
} // namespace

void CSkinToolBar::ApplyThemeStyle()
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    COLORREF crScheme;
    if (nThemeId == 2 || nThemeId == 3)
    {
        crScheme = GetBarFaceColor();
    }
    else if (IsBarColorTheme(nThemeId))
    {
        m_cxLeftBorder = m_cxRightBorder = 3;
        m_cyTopBorder = m_cyBottomBorder = 1;
        crScheme = GetBarBackgroundColor();
    }
    else
    {
        return;
    }
    COLORSCHEME stScheme = {sizeof(stScheme), CLR_DEFAULT, DarkenTowardBlue(crScheme)};
    CWnd::DefWindowProc(CCM_SETCOLORSCHEME, 0, reinterpret_cast<LPARAM>(&stScheme));
}

void CSkinToolBar::OnBarStyleChange(DWORD dwOldStyle, DWORD dwNewStyle)
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    if (nThemeId >= 6 && nThemeId <= 11)
    {
        bool bFloating = (dwNewStyle & CBRS_FLOATING) != 0 || IsFloating();
        m_cxLeftBorder = m_cxRightBorder = bFloating ? 0 : 3;
        m_cyTopBorder = m_cyBottomBorder = bFloating ? 0 : 1;
    }
    CToolBar::OnBarStyleChange(dwOldStyle, dwNewStyle);
}

void CSkinToolBar::DrawBorders(CDC* pDC, CRect& rect)
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    if (nThemeId == 2 || nThemeId == 3 || (nThemeId >= 6 && nThemeId <= 11))
        return;
    CToolBar::DrawBorders(pDC, rect);
}

void CSkinToolBar::DrawGripper(CDC* pDC, const CRect& rect)
{
    CMenuTheme* pTheme = CSkinMenu::GetCurrentTheme();
    if (pTheme == nullptr)
    {
        CToolBar::DrawGripper(pDC, rect);
        return;
    }
    CRect rcBorders(m_cxLeftBorder, m_cyTopBorder, m_cxRightBorder, m_cyBottomBorder);
    pTheme->DrawGripper(pDC, rect, m_dwStyle, rcBorders);
    CRect rcCorners = rect;
    if (m_dwStyle & CBRS_ORIENT_HORZ)
        rcCorners = CRect(rect.left + m_cxLeftBorder, rect.top + 2, rect.right - m_cxRightBorder - 1,
                          rect.bottom - m_cxRightBorder);
    else
        rcCorners = CRect(rect.left + m_cxLeftBorder - 1, rect.top + 3, rect.right - m_cxRightBorder,
                          rect.bottom - m_cxRightBorder - 1);
    pTheme->RoundBarCorners(pDC, rcCorners, m_dwStyle);
}

void CSkinToolBar::DrawGroundGradients(CDC* pDC, const CRect& rcBar, COLORREF crLight, COLORREF crMiddle,
                                       COLORREF crDark)
{
    const int lb = m_cxLeftBorder, rb = m_cxRightBorder;
    if (m_dwStyle & CBRS_ORIENT_HORZ || IsFloating())
    {
        int nBottom = IsFloating() ? rcBar.bottom : rcBar.bottom - 2;
        VerticalGradient(pDC, rcBar.left + lb, rcBar.top + 2, rcBar.right - rb, rcBar.bottom / 2, crLight, crMiddle);
        VerticalGradient(pDC, rcBar.left + lb, rcBar.bottom / 2, rcBar.right - rb, nBottom, crMiddle, crDark);
        if (IsFloating())
            DrawFloatingRows(pDC, rcBar, crLight, crMiddle, crDark);
        return;
    }
    int nFirst = IsBarColorTheme(CSkinMenu::GetCurrentThemeId()) ? rcBar.left + lb - 1 : rcBar.left + lb;
    HorizontalGradient(pDC, nFirst, rcBar.top + lb, rcBar.right / 2, rcBar.bottom - rb, crLight, crMiddle);
    HorizontalGradient(pDC, rcBar.right / 2, rcBar.top + lb, rcBar.right - rb, rcBar.bottom - rb, crMiddle, crDark);
}

void CSkinToolBar::DrawFloatingRows(CDC* pDC, const CRect& rcBar, COLORREF crLight, COLORREF crMiddle,
                                    COLORREF crDark)
{
    CRect rcPrevious(0, 0, 0, 0);
    for (const stVisibleButton& stVisible : VisibleButtons())
    {
        const TBBUTTON& stButton = stVisible.stButton;
        const CRect& rc = stVisible.rc;
        if (rc.top != rcPrevious.top || rc.bottom != rcPrevious.bottom)
        {
            // A wrapped separator is the gap between two rows.
            if ((stButton.fsStyle & TBSTYLE_SEP) && (stButton.fsState & TBSTATE_WRAP))
            {
                VerticalGradient(pDC, rcBar.left, rcPrevious.bottom, rcBar.right, rc.bottom, crDark, crLight);
            }
            else
            {
                int nMiddle = (rc.top + rc.bottom) / 2;
                VerticalGradient(pDC, rcBar.left, rc.top, rcBar.right, nMiddle, crLight, crMiddle);
                VerticalGradient(pDC, rcBar.left, nMiddle, rcBar.right, rc.bottom, crMiddle, crDark);
            }
        }
        rcPrevious = rc;
    }
}

BOOL CSkinToolBar::EraseBackground(CDC* pDC)
{
    int nThemeId = CSkinMenu::GetCurrentThemeId();
    bool bFloating = IsFloating() != FALSE;
    bool bHorz = (m_dwStyle & CBRS_ORIENT_HORZ) != 0;
    CRect rcBar;
    if (bFloating)
    {
        GetClientRect(rcBar);
    }
    else
    {
        GetWindowRect(rcBar);
        ScreenToClient(reinterpret_cast<POINT*>(&rcBar.left));
        ScreenToClient(reinterpret_cast<POINT*>(&rcBar.right));
    }
    if (nThemeId >= 6 && nThemeId <= 11 && !bFloating)
    {
        HBRUSH hBrush = BarBrushOf(*this);
        if (hBrush != NULL)
            pDC->FillRect(rcBar, hBrush);
        else
            pDC->FillSolidRect(rcBar, GetMenuBarColor(NULL));
    }
    const int lb = m_cxLeftBorder, rb = m_cxRightBorder, tb = m_cyTopBorder;
    int nColors = GetScreenColorCount();
    if (nThemeId == 2 || nThemeId == 3)
    {
        pDC->FillSolidRect(rcBar, BlendColors86(GetBarFaceColor(), SysColor(COLOR_WINDOW)));
    }
    else if ((nThemeId == 6 || nThemeId == 7) && nColors >= 256)
    {
        COLORREF m = GetMenuBackgroundColor(NULL);
        DrawGroundGradients(pDC, rcBar, LightenColor(60, m), m, DarkenColor(60, m));
        if (!bFloating && bHorz)
        {
            pDC->FillSolidRect(rcBar.left + lb, rcBar.top + tb + 1, rcBar.Width() - lb - rb, 1, LightenColor(125, m));
            pDC->FillSolidRect(rcBar.left + lb, rcBar.bottom - 3, rcBar.Width() - lb - rb, 1, DarkenColor(150, m));
        }
        else if (!bFloating)
        {
            pDC->FillSolidRect(rcBar.left + lb - 1, rcBar.top + rb, 1, rcBar.Height() - 2 * rb, LightenColor(125, m));
            pDC->FillSolidRect(rcBar.right - rb, rcBar.top + rb, 1, rcBar.Height() - 2 * rb, DarkenColor(150, m));
        }
    }
    else if (IsBarColorTheme(nThemeId) && nColors > 16 && CSkinMenu::GetCurrentTheme() != nullptr)
    {
        COLORREF c1 = 0, c2 = 0, c3 = 0, c4 = 0;
        CSkinMenu::GetCurrentTheme()->GetBarColors(c1, c2, c3, c4, FALSE);
        DrawGroundGradients(pDC, rcBar, c1, c2, c3);
        if (!bFloating && c4 != NoColour)
        {
            if (bHorz)
                pDC->FillSolidRect(rcBar.left + lb, rcBar.bottom - 3, rcBar.Width() - lb - rb, 1, c4);
            else
                pDC->FillSolidRect(rcBar.right - rb, rcBar.top + rb, 1, rcBar.Height() - 2 * rb, c4);
        }
    }
    else if (nThemeId >= 6 && nThemeId <= 11)
    {
        COLORREF cr = nThemeId <= 7 ? DarkenColor(30, GetMenuBarColor(NULL)) : DarkenColor(30, GetSelectionColor());
        CRect rc(rcBar.left + lb, rcBar.top, rcBar.right - rb, rcBar.bottom);
        if (!bFloating && bHorz)
            rc.DeflateRect(0, 2);
        pDC->FillSolidRect(rc, cr);
    }
    else
    {
        pDC->FillSolidRect(rcBar, GetMenuBarColor(NULL));
    }
    return TRUE;
}

void CSkinToolBar::DrawButtonBackground(CDC* pDC, CRect rc, UINT nState, bool bDropDown, int nThemeId)
{
    bool bIndeterminate = (nState & CDIS_INDETERMINATE) != 0;
    bool bPressed = (nState & (CDIS_HOT | CDIS_SELECTED)) == (CDIS_HOT | CDIS_SELECTED);
    bool bHot = (nState & (CDIS_HOT | CDIS_SELECTED)) == CDIS_HOT;
    bool bChecked = (nState & CDIS_CHECKED) != 0;
    if (!bIndeterminate && !bPressed && !bHot && !bChecked)
        return;
    CRect rcArrow(rc.right - ArrowPartWidth, rc.top, rc.right, rc.bottom);
    COLORREF crMenuBar = GetMenuBarColor(NULL);
    COLORREF crHighlight = SysColor(COLOR_HIGHLIGHT);
    if (nThemeId == 2 || nThemeId == 3)
    {
        pDC->FillSolidRect(rc, bIndeterminate ? BlendColors86(crMenuBar, SysColor(COLOR_WINDOW)) : GetSelectionColor());
        COLORREF crFrame = !bIndeterminate ? crHighlight
                           : ToolkitEnvironment().bHighContrast ? SysColor(COLOR_BTNTEXT)
                                                                : DarkenColor(128, crMenuBar);
        Frame(pDC, rc, crFrame);
        if (bDropDown)
            Frame(pDC, rcArrow, crFrame);
    }
    else if (nThemeId == 6 || nThemeId == 7)
    {
        int nMiddle = (rc.top + rc.bottom) / 2;
        if (bIndeterminate && GetScreenColorCount() >= 256)
        {
            COLORREF m = GetMenuBackgroundColor(NULL);
            VerticalGradient(pDC, rc.left, rc.top, rc.right, nMiddle, LightenColor(60, m), m);
            VerticalGradient(pDC, rc.left, nMiddle, rc.right, rc.bottom, m, DarkenColor(60, m));
        }
        else if (bPressed)
        {
            VerticalGradient(pDC, rc.left, rc.top, rc.right, rc.bottom, crHighlight, DarkenColor(60, crHighlight));
        }
        else if (bHot)
        {
            VerticalGradient(pDC, rc.left, rc.top, rc.right, rc.bottom, LightenColor(60, crHighlight), crHighlight);
        }
        else
        {
            pDC->FillSolidRect(rc, LightenColor(60, crHighlight));
        }
        Frame(pDC, rc, DarkenColor(60, crHighlight));
        if (bDropDown)
            Frame(pDC, rcArrow, DarkenColor(60, crHighlight));
    }
    else if (IsBarColorTheme(nThemeId))
    {
        rc.DeflateRect(1, 2);
        rcArrow = CRect(rc.right - ArrowPartWidth, rc.top, rc.right, rc.bottom);
        if (bIndeterminate)
        {
            COLORREF crFrom = BlendColors86(DarkenColor(10, SysColor(COLOR_WINDOW)), GetMenuBackgroundColor(NULL));
            if (GetScreenColorCount() > 256)
                HorizontalGradient(pDC, rc.left, rc.top, rc.right, rc.bottom, crFrom, GetBarBackgroundColor());
            else
                pDC->FillSolidRect(rc, GetBarBackgroundColor());
            Frame(pDC, rc, DarkenColor(128, crMenuBar));
        }
        else if (bPressed || bHot)
        {
            CPen pen(PS_INSIDEFRAME, 1, FrameBlue);
            HGDIOBJ hOldPen = ::SelectObject(pDC->m_hDC, pen);
            HGDIOBJ hOldBrush = ::SelectObject(pDC->m_hDC, ::GetStockObject(NULL_BRUSH));
            for (const CRect& rcPart : {rc, bDropDown ? rcArrow : CRect()})
            {
                if (rcPart.IsRectEmpty())
                    continue;
                pDC->Rectangle(rcPart);
                VerticalGradient(pDC, rcPart.left + 1, rcPart.top + 1, rcPart.right - 1, rcPart.bottom - 1,
                                 bPressed ? PressedFrom : HotFrom, bPressed ? PressedTo : HotTo);
            }
            ::SelectObject(pDC->m_hDC, hOldBrush);
            ::SelectObject(pDC->m_hDC, hOldPen);
        }
        else
        {
            pDC->FillSolidRect(rc, CheckedFill);
            Frame(pDC, rc, FrameBlue);
        }
    }
    else
    {
        bool bRaised = bHot && !bIndeterminate && !bChecked;
        COLORREF crLight = SysColor(COLOR_HIGHLIGHTTEXT), crShadow = SysColor(COLOR_BTNSHADOW);
        pDC->Draw3dRect(rc, bRaised ? crLight : crShadow, bRaised ? crShadow : crLight);
        if (bDropDown)
            pDC->Draw3dRect(rcArrow, bRaised ? crLight : crShadow, bRaised ? crShadow : crLight);
    }
}

void CSkinToolBar::DrawButtonImage(CDC* pDC, const CRect& rc, int iImage, UINT nState, bool bDropDown, int nThemeId,
                                   bool bWithText)
{
    bool bHot = (nState & CDIS_HOT) != 0;
    const CImageList* pImages = &m_imagesNormal;
    if (nState & CDIS_DISABLED)
        pImages = &m_imagesDisabled;
    else if (!bHot && CSkinMenu::GetDisabledIconMode() == 1)
        pImages = &m_imagesDarkened;
    if (pImages->m_hImageList == NULL || iImage < 0 || iImage >= pImages->GetImageCount())
        return;
    int cx = 0, cy = 0;
    ImageList_GetIconSize(pImages->m_hImageList, &cx, &cy);
    int x = (rc.left + rc.right - cx) / 2 - (bDropDown ? DropDownImageShift : 0);
    int y = (rc.top + rc.bottom - cy) / 2;
    if (bWithText && (GetStyle() & TBSTYLE_LIST))
        x = rc.left + 3;
    else if (bWithText)
        y = rc.top + 4;
    if ((nThemeId == 2 || nThemeId == 3) && bHot && !(nState & CDIS_SELECTED) && !(nState & CDIS_DISABLED))
    {
        HICON hIcon = ImageList_GetIcon(pImages->m_hImageList, iImage, ILD_NORMAL);
        if (hIcon != NULL)
        {
            CBrush shadow(pDC->GetNearestColor(DarkenTowardBlue(GetSelectionColor())));
            ::DrawStateW(pDC->m_hDC, shadow, nullptr, reinterpret_cast<LPARAM>(hIcon), 0, x + 1, y + 1, 0, 0,
                         DST_ICON | DSS_MONO);
            ::DestroyIcon(hIcon);
        }
        --x;
        --y;
    }
    ImageList_Draw(pImages->m_hImageList, iImage, pDC->m_hDC, x, y, ILD_TRANSPARENT);
}

void CSkinToolBar::DrawButtonText(CDC* pDC, const CRect& rcText, const CString& strText, UINT nState, int nThemeId)
{
    bool bHot = (nState & (CDIS_HOT | CDIS_SELECTED)) == CDIS_HOT;
    int nColor = COLOR_WINDOWTEXT;
    if (nState & CDIS_DISABLED)
        nColor = COLOR_GRAYTEXT;
    else if (bHot && (nThemeId == 6 || nThemeId == 7))
        nColor = COLOR_HIGHLIGHTTEXT;
    HGDIOBJ hOldFont = ::SelectObject(pDC->m_hDC, ::GetStockObject(ANSI_VAR_FONT));
    int nOldMode = pDC->SetBkMode(TRANSPARENT);
    COLORREF crOldText = pDC->SetTextColor(SysColor(nColor));
    CRect rc = rcText;
    pDC->DrawText(strText, strText.GetLength(), rc, DT_CENTER);
    pDC->SetTextColor(crOldText);
    pDC->SetBkMode(nOldMode);
    ::SelectObject(pDC->m_hDC, hOldFont);
}

void CSkinToolBar::DrawDropDownArrow(CDC* pDC, const CRect& rc, UINT nState)
{
    CPen pen(PS_SOLID, 1, SysColor((nState & CDIS_DISABLED) ? COLOR_GRAYTEXT : COLOR_WINDOWTEXT));
    HGDIOBJ hOld = ::SelectObject(pDC->m_hDC, pen);
    int x = rc.right - ArrowPartWidth / 2 - 1;
    int y = (rc.top + rc.bottom) / 2;
    // Rows of 5, 3 and 1 pixels: LineTo leaves out the end point.
    for (int nRow = 0; nRow < 3; ++nRow)
    {
        pDC->MoveTo(x - 2 + nRow, y - 1 + nRow);
        pDC->LineTo(x + 3 - nRow, y - 1 + nRow);
    }
    ::SelectObject(pDC->m_hDC, hOld);
}

void CSkinToolBar::DrawButton(NMTBCUSTOMDRAW* pDraw)
{
    int nIndex = CommandToIndex(static_cast<UINT>(pDraw->nmcd.dwItemSpec));
    TBBUTTON stButton = {};
    if (nIndex < 0 || !CWnd::DefWindowProc(TB_GETBUTTON, nIndex, reinterpret_cast<LPARAM>(&stButton)))
        return;
    CDC dc;
    dc.Attach(pDraw->nmcd.hdc);
    CRect rc(pDraw->nmcd.rc);
    bool bDropDown = (stButton.fsStyle & TBSTYLE_DROPDOWN) != 0;
    int nThemeId = ButtonThemeId();
    UINT nState = pDraw->nmcd.uItemState;
    if (!(stButton.fsState & TBSTATE_ENABLED))
        nState |= CDIS_DISABLED;
    CString strText = ButtonText(stButton.idCommand);
    DrawButtonBackground(&dc, rc, nState, bDropDown, nThemeId);
    DrawButtonImage(&dc, rc, stButton.iBitmap, nState, bDropDown, nThemeId, !strText.IsEmpty());
    if (!strText.IsEmpty())
        DrawButtonText(&dc, CRect(pDraw->rcText), strText, nState, nThemeId);
    if (bDropDown)
        DrawDropDownArrow(&dc, rc, nState);
    dc.Detach();
}

BOOL CSkinToolBar::OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult)
{
    NMHDR* pHeader = reinterpret_cast<NMHDR*>(lParam);
    if (nMsg != WM_NOTIFY || pHeader == nullptr || pHeader->code != static_cast<UINT>(NM_CUSTOMDRAW))
        return CToolBar::OnChildNotify(nMsg, wParam, lParam, pResult);
    auto* pDraw = reinterpret_cast<NMTBCUSTOMDRAW*>(lParam);
    switch (pDraw->nmcd.dwDrawStage)
    {
    case CDDS_PREPAINT:
        *pResult = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT | CDRF_SKIPDEFAULT;
        return TRUE;
    case CDDS_POSTPAINT:
    case CDDS_ITEMPOSTPAINT:
        *pResult = CDRF_NOTIFYITEMDRAW | CDRF_SKIPDEFAULT;
        return TRUE;
    case CDDS_ITEMPREPAINT:
        DrawButton(pDraw);
        *pResult = CDRF_SKIPDEFAULT;
        return TRUE;
    default:
        *pResult = CDRF_DODEFAULT;
        return TRUE;
    }
}
