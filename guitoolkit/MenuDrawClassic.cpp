// The raised-and-sunken looks: classic (themes 0, 1), flat menu bars over
// classic popups (4, 5) and gradients of the menu colour (6, 7).
#include "guitoolkit/MenuPainters.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/MenuBarText.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
enum class Look
{
    Classic,
    Flat,
    Gradient
};

constexpr int ClassicTextStart = 9;
constexpr int GradientTextStart = 12;
constexpr int RightOrderTextEnd = 8;
// The key text keeps this far from the far edge, as the label does from the icon.
constexpr int TextEndGap = 8;
constexpr int BarTextStart = 6;
constexpr int IconFrameMargin = 2;

struct stClassicColors
{
    COLORREF crMenu;
    // The frame colours of the gradient look.
    COLORREF crDark;
    COLORREF crLight;
};

stClassicColors ColorsOf(const CSkinMenu& menu)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stClassicColors stColors;
    stColors.crMenu = GetMenuBarColor(menu.m_hMenu);
    stColors.crDark = stEnv.bHighContrast ? stEnv.SysColor(COLOR_BTNTEXT) : DarkenColor(60, stColors.crMenu);
    stColors.crLight = stEnv.bHighContrast ? stEnv.SysColor(COLOR_BTNTEXT) : LightenColor(60, stColors.crMenu);
    return stColors;
}

COLORREF Sys(int nIndex)
{
    return ToolkitEnvironment().SysColor(nIndex);
}

// Frames exist from Windows 95 on.
bool HasEdges()
{
    return ToolkitEnvironment().nVersionClass >= 2;
}

void VerticalGradient(CDC& dc, const RECT& rc, COLORREF cr)
{
    if (ToolkitEnvironment().bHighContrast)
        dc.FillSolidRect(&rc, cr);
    else
        DrawGradient(&dc, rc, LightenColor(30, cr), DarkenColor(30, cr), FALSE, TRUE);
}

void DrawBarText(CDC& dc, const stMenuItem& item, RECT rc, COLORREF cr, UINT nFormat)
{
    CFont font;
    if (!CreateMenuFont(font, item.bDefault, item.bVertical ? 2700 : 0))
        return;
    CSelectedObject selectedFont(dc, font);
    int nOldMode = dc.SetBkMode(TRANSPARENT);
    COLORREF crOld = dc.SetTextColor(cr);
    CString strText = DisplayText(*item.pMenu, *item.pData);
    DrawMenuBarText(&dc, strText, strText.GetLength(), rc, nFormat | DT_VCENTER | DT_SINGLELINE | PrefixFormat(item));
    dc.SetTextColor(crOld);
    dc.SetBkMode(nOldMode);
}

void DrawBarItem(CDC& dc, const stMenuItem& item, Look look, const stClassicColors& stColors)
{
    bool bHot = (item.pDraw->itemState & ODS_HOTLIGHT) != 0;
    COLORREF crText = Sys(item.bGrayed || item.bInactive ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
    RECT rc = item.rc;
    if (look == Look::Flat)
    {
        bool bLit = (item.bSelected || bHot) && !item.bInactive;
        dc.FillSolidRect(&rc, bLit ? Sys(COLOR_HIGHLIGHT) : stColors.crMenu);
        if (bLit)
        {
            RememberMenuBarItem(item, dc, rc);
            crText = Sys(COLOR_HIGHLIGHTTEXT);
        }
        if (item.bGrayed)
            crText = Sys(COLOR_GRAYTEXT);
        DrawBarText(dc, item, rc, crText, DT_CENTER);
        return;
    }
    bool bPlain = item.bInactive || (!bHot && !item.bSelected) ||
                  (look == Look::Gradient && ToolkitEnvironment().bHighContrast);
    COLORREF crTopLeft = look == Look::Gradient ? stColors.crLight : Sys(COLOR_BTNHIGHLIGHT);
    COLORREF crBottomRight = look == Look::Gradient ? stColors.crDark : Sys(COLOR_BTNSHADOW);
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    if (look == Look::Gradient && bPlain && ::GetMenuInfo(item.pMenu->m_hMenu, &stInfo) && stInfo.hbrBack != NULL)
    {
        CPoint ptOld = dc.SetBrushOrg(0, 0);
        dc.FillRect(&rc, stInfo.hbrBack);
        dc.SetBrushOrg(ptOld.x, ptOld.y);
    }
    else if (look == Look::Gradient && !bPlain)
        VerticalGradient(dc, rc, stColors.crMenu);
    else
        dc.FillSolidRect(&rc, stColors.crMenu);
    if (!bPlain && item.bSelected)
    {
        dc.Draw3dRect(&rc, crBottomRight, crTopLeft);
        RememberMenuBarItem(item, dc, rc);
    }
    else if (!bPlain)
        dc.Draw3dRect(&rc, crTopLeft, crBottomRight);
    if (look == Look::Gradient)
    {
        (item.bVertical ? rc.top : rc.left) += BarTextStart;
        DrawBarText(dc, item, rc, crText, 0);
    }
    else
        DrawBarText(dc, item, rc, crText, DT_CENTER);
}

RECT TextArea(const stMenuItem& item, Look look)
{
    int nStart = item.pMenu->m_nIconWidth + (look == Look::Gradient ? GradientTextStart : ClassicTextStart);
    RECT rc = item.rc;
    if (item.bRightOrder)
    {
        rc.right -= item.pMenu->m_nIconWidth + RightOrderTextEnd;
        rc.left += TextEndGap;
    }
    else
    {
        rc.left += nStart;
        rc.right -= TextEndGap;
    }
    return rc;
}

void DrawSeparator(CDC& dc, const stMenuItem& item, Look look, const stClassicColors& stColors)
{
    dc.FillSolidRect(&item.rc, look == Look::Gradient ? stColors.crLight : Sys(COLOR_MENU));
    RECT rcLine = item.rc;
    rcLine.left += 1;
    rcLine.top += 1;
    dc.DrawEdge(&rcLine, EDGE_ETCHED, BF_TOP);
}

void DrawIconAndCheck(CDC& dc, const stMenuItem& item)
{
    RECT rcCell = IconCell(item);
    COLORREF crGlyph = Sys(item.bGrayed ? COLOR_GRAYTEXT : (item.bSelected ? COLOR_HIGHLIGHTTEXT : COLOR_MENUTEXT));
    if (item.bHasIcon)
    {
        POINT pt = IconOrigin(item, rcCell);
        SIZE szIcon = item.pData->m_pIcons->GetImageSize();
        RECT rcFrame = {rcCell.left - IconFrameMargin, pt.y - IconFrameMargin, rcCell.right + IconFrameMargin,
                        pt.y + szIcon.cy + IconFrameMargin};
        if (HasEdges() && (item.bChecked || item.bSelected))
            dc.DrawEdge(&rcFrame, item.bChecked ? BDR_SUNKENOUTER : BDR_RAISEDINNER, BF_RECT);
        if (item.bGrayed && !CSkinMenu::GetDisabledIconMode())
        {
            HICON hIcon = ExtractItemIcon(item, 0);
            if (hIcon != NULL)
            {
                dc.DrawState(pt, SIZE{0, 0}, hIcon, DSS_DISABLED);
                ::DestroyIcon(hIcon);
            }
        }
        else
        {
            bool bDerived = CSkinMenu::GetDisabledIconMode() != FALSE;
            DrawIconPlain(dc, item, pt, item.bGrayed && bDerived ? 2 : (!item.bSelected && bDerived ? 1 : 0));
        }
        return;
    }
    RECT rcBox = {rcCell.left, item.rc.top + 1, rcCell.right, item.rc.bottom - 1};
    wchar_t chGlyph = SystemCommandGlyph(item.pData->m_nID);
    if (!item.bChecked && IsSystemCommand(item.pData->m_nID) && chGlyph != 0)
    {
        DrawMarlettGlyph(dc, rcBox, chGlyph, Sys(item.bGrayed || item.bInactive ? COLOR_GRAYTEXT : COLOR_MENUTEXT),
                         item.bDefault);
        return;
    }
    if (item.bChecked && HasEdges())
        dc.DrawEdge(&rcBox, BDR_SUNKENOUTER, BF_RECT);
    DrawCheckMark(dc, item, rcBox, crGlyph);
}

void DrawPopupItem(CDC& dc, const stMenuItem& item, Look look, const stClassicColors& stColors)
{
    if (item.bSeparator)
    {
        DrawSeparator(dc, item, look, stColors);
        return;
    }
    if (look == Look::Gradient)
        VerticalGradient(dc, item.rc, stColors.crMenu);
    else
        dc.FillSolidRect(&item.rc, Sys(COLOR_MENU));
    RECT rcText = TextArea(item, look);
    if (item.bSelected && !item.bInactive)
    {
        RECT rcSelection = item.rc;
        if (item.bHasIcon || item.bChecked)
            (item.bRightOrder ? rcSelection.right : rcSelection.left) = item.bRightOrder ? rcText.right + 2
                                                                                          : rcText.left - 2;
        if (look == Look::Gradient)
        {
            VerticalGradient(dc, rcSelection, Sys(COLOR_HIGHLIGHT));
            dc.Draw3dRect(&rcSelection, stColors.crDark, stColors.crLight);
        }
        else
            dc.FillSolidRect(&rcSelection, Sys(COLOR_HIGHLIGHT));
    }
    else if (item.bKeyboardFocus)
        dc.DrawFocusRect(&item.rc);
    DrawIconAndCheck(dc, item);
    int nTextColor = COLOR_MENUTEXT;
    if (item.bGrayed)
        nTextColor = COLOR_GRAYTEXT;
    else if (item.bSelected && !item.bInactive)
        nTextColor = COLOR_HIGHLIGHTTEXT;
    DrawItemText(dc, item, rcText, Sys(nTextColor));
}

void Paint(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar, Look look)
{
    CDC dc;
    if (pDraw == nullptr || !dc.Attach(pDraw->hDC))
        return;
    stMenuItem item = DescribeItem(menu, pDraw);
    stClassicColors stColors = ColorsOf(menu);
    if (bMenuBar)
        DrawBarItem(dc, item, look, stColors);
    else if (item.bTitle)
        DrawTitle(menu, pDraw);
    else
        DrawPopupItem(dc, item, look, stColors);
    dc.Detach();
}
} // namespace

void DrawItemClassic(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    Paint(menu, pDraw, bMenuBar, Look::Classic);
}

void DrawItemFlat(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    Paint(menu, pDraw, bMenuBar, Look::Flat);
}

void DrawItemGradient(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    Paint(menu, pDraw, bMenuBar, Look::Gradient);
}
