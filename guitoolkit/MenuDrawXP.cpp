// The flat looks: XP (themes 2, 3) and 2003 (themes 8-11), which differs in
// its colours, its gradients and the menu-bar background.
#include "guitoolkit/MenuPainters.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/MenuBarText.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinMemDC.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
// Width of the open menu-bar item's shadow, kept free of its body.
constexpr int BarShadowRoom = 4;
// The icon bar is this much wider than the icons; the text keeps this far from it.
constexpr int IconBarExtra = 8;
constexpr int TextGap = 4;
constexpr int TextEndGap = 15;

struct stXPColors
{
    bool b2003;
    bool bPalette;
    COLORREF crMenu;
    COLORREF crFace;
    // The icon bar (XP) or the far colour of its gradient (2003).
    COLORREF crBar;
    COLORREF crHot;
    COLORREF crPen;
    COLORREF crCheck;
    COLORREF crCheckSelected;
};

stXPColors ColorsOf(CDC& dc, const CSkinMenu& menu, bool b2003)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    stXPColors stColors = {};
    stColors.b2003 = b2003;
    stColors.bPalette = GetScreenColorCount() <= 256;
    stColors.crMenu = GetMenuBarColor(menu.m_hMenu);
    stColors.crPen = stEnv.SysColor(stEnv.bHighContrast ? COLOR_BTNTEXT : COLOR_HIGHLIGHT);
    COLORREF crHighlight = stEnv.SysColor(COLOR_HIGHLIGHT);
    if (!b2003)
    {
        stFacePair stPair = MenuFacePair(&dc, stColors.crMenu);
        stColors.crFace = stPair.crFace;
        stColors.crBar = stPair.crBar;
        stColors.crHot = GetSelectionColor();
        stColors.crCheck = stColors.crHot;
        stColors.crCheckSelected = BlendColors86(stColors.crHot, crHighlight);
        return stColors;
    }
    COLORREF crBase = DarkenColor(10, stEnv.SysColor(COLOR_WINDOW));
    COLORREF crSecond = 0;
    ::GetBarColors(stColors.crBar, crSecond, TRUE);
    stColors.crFace = BlendColors86(crBase, stColors.crMenu);
    if (SameDeviceColor(dc, stColors.crFace, stColors.crBar))
        stColors.crFace = crBase;
    int nTheme = stEnv.nCurrentTheme;
    if (stEnv.IsVisualStyleActive() || nTheme == 10 || nTheme == 11)
    {
        stColors.crHot = RGB(255, 238, 194);
        stColors.crCheck = RGB(255, 192, 111);
        stColors.crCheckSelected = RGB(254, 128, 62);
    }
    else
    {
        stColors.crHot = GetSelectionColor();
        stColors.crCheck = stColors.crCheckSelected = BlendColors86(stColors.crHot, crHighlight);
    }
    return stColors;
}

void Gradient(CDC& dc, const stXPColors& stColors, const RECT& rc, COLORREF crFrom, COLORREF crTo, BOOL bHorizontal)
{
    if (stColors.bPalette)
        dc.FillSolidRect(&rc, crFrom);
    else
        DrawGradient(&dc, rc, crFrom, crTo, bHorizontal, FALSE);
}

void FramePen(CDC& dc, const RECT& rc, COLORREF cr)
{
    CBrush brush(cr);
    dc.FrameRect(&rc, brush);
}

// The shadow the open item throws to its right (below it on a vertical bar):
// three lines that darken outwards, their heads fading in.
void PaintBarShadow(CDC& dc, const RECT& rcBody, bool bVertical, COLORREF crMenu, bool bPalette)
{
    int nLength = bVertical ? rcBody.right - rcBody.left : rcBody.bottom - rcBody.top;
    auto put = [&](int nLine, int nAlong, COLORREF cr) {
        if (bVertical)
            dc.SetPixel(rcBody.left + nAlong, rcBody.bottom + nLine, cr);
        else
            dc.SetPixel(rcBody.right + nLine, rcBody.top + nAlong, cr);
    };
    if (bPalette)
    {
        COLORREF crShadow = ToolkitEnvironment().SysColor(COLOR_BTNSHADOW);
        for (int nLine = 0; nLine < 2; ++nLine)
            for (int i = 4; i < nLength; ++i)
                put(nLine, i, crShadow);
        return;
    }
    static const int s_anTail[3] = {225, 195, 165};
    for (int nLine = 0; nLine < 3; ++nLine)
    {
        int nBase = 6 * (nLine + 1);
        for (int i = 0; i < nLength; ++i)
        {
            COLORREF cr = crMenu;
            if (i >= 8)
                cr = RGB(::MulDiv(GetRValue(crMenu), s_anTail[nLine], 255),
                         ::MulDiv(GetGValue(crMenu), s_anTail[nLine], 255),
                         ::MulDiv(GetBValue(crMenu), s_anTail[nLine], 255));
            else if (i >= 4)
                cr = DarkenColor(nBase * (i - 3), crMenu);
            put(nLine, i, cr);
        }
    }
}

void DrawBarItem(CDC& dc, const stMenuItem& item, const stXPColors& stColors)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    HMENU hPopup = reinterpret_cast<HMENU>(static_cast<UINT_PTR>(item.pDraw->itemID));
    bool bOpen = item.bSelected && ::IsMenu(hPopup) && item.pMenu->m_nOpenPopups > 0;
    bool bHot = (item.pDraw->itemState & ODS_HOTLIGHT) != 0 || (item.bSelected && !bOpen);
    RECT rc = item.rc;
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    if (stColors.b2003 && ::GetMenuInfo(item.pMenu->m_hMenu, &stInfo) && stInfo.hbrBack != NULL)
    {
        // The bar's gradient runs on across the items from the frame's edge.
        CPoint ptOld = dc.SetBrushOrg(0, 0);
        dc.FillRect(&rc, stInfo.hbrBack);
        dc.SetBrushOrg(ptOld.x, ptOld.y);
    }
    else
        dc.FillSolidRect(&rc, stColors.crMenu);
    if (bOpen && !item.bInactive)
    {
        RECT rcBody = rc;
        (item.bVertical ? rcBody.bottom : rcBody.right) -= BarShadowRoom;
        if (stColors.b2003)
            Gradient(dc, stColors, rcBody, stColors.crFace, stColors.crBar, FALSE);
        else
            dc.FillSolidRect(&rcBody, stColors.crBar);
        FramePen(dc, rcBody, stColors.crPen);
        PaintBarShadow(dc, rcBody, item.bVertical, stColors.crMenu, stColors.bPalette);
        RememberMenuBarItem(item, dc, rcBody);
    }
    else if (bHot && !item.bInactive)
    {
        dc.FillSolidRect(&rc, stColors.crHot);
        FramePen(dc, rc, stColors.crPen);
        // Its popup is about to open: the menu redraws the item by this
        // rectangle once it does.
        if (item.bSelected)
            RememberMenuBarItem(item, dc, rc);
    }
    CFont font;
    if (!CreateMenuFont(font, item.bDefault, item.bVertical ? 2700 : 0))
        return;
    CSelectedObject selectedFont(dc, font);
    int nOldMode = dc.SetBkMode(TRANSPARENT);
    // On the black bar of the modern style, menu text in the menu colour could not be read: a
    // title on a dark ground is white there.
    COLORREF crText = stEnv.SysColor(COLOR_MENUTEXT);
    if (item.bGrayed || item.bInactive)
        crText = stEnv.SysColor(COLOR_GRAYTEXT);
    else if (!bOpen && !bHot)
        crText = ReadableTextColor(dc.GetPixel(rc.left, (rc.top + rc.bottom) / 2), crText);
    COLORREF crOld = dc.SetTextColor(crText);
    CString strText = DisplayText(*item.pMenu, *item.pData);
    DrawMenuBarText(&dc, strText, strText.GetLength(), rc, DT_CENTER | DT_VCENTER | DT_SINGLELINE | PrefixFormat(item));
    dc.SetTextColor(crOld);
    dc.SetBkMode(nOldMode);
}

RECT IconBar(const stMenuItem& item)
{
    RECT rc = item.rc;
    int nWidth = item.pMenu->m_nIconWidth + IconBarExtra;
    if (item.bRightOrder)
        rc.left = rc.right - nWidth;
    else
        rc.right = rc.left + nWidth;
    return rc;
}

RECT TextRect(const stMenuItem& item, const RECT& rcBar)
{
    RECT rc = item.rc;
    if (item.bRightOrder)
    {
        rc.left += TextEndGap;
        rc.right = rcBar.left - TextGap;
    }
    else
    {
        rc.left = rcBar.right + TextGap;
        rc.right -= TextEndGap;
    }
    return rc;
}

// The framed box of a checked item: the icon bar's cell less a pixel
// around, two on the side of the text.
RECT CheckBox(const stMenuItem& item, const RECT& rcBar)
{
    RECT rc = {rcBar.left + 1, item.rc.top + 1, rcBar.right - 2, item.rc.bottom - 1};
    if (item.bRightOrder)
        rc = {rcBar.left + 2, item.rc.top + 1, rcBar.right - 1, item.rc.bottom - 1};
    return rc;
}

void DrawIcon(CDC& dc, const stMenuItem& item, const stXPColors& stColors)
{
    RECT rcCell = IconCell(item);
    POINT pt = IconOrigin(item, rcCell);
    if (item.bGrayed)
    {
        if (CSkinMenu::GetDisabledIconMode())
            DrawIconPlain(dc, item, pt, 2);
        else
            DrawIconMono(dc, item, pt, DarkenColor(70, stColors.crBar));
    }
    else if (item.bSelected && !item.bChecked)
    {
        DrawIconMono(dc, item, {pt.x + 1, pt.y + 1}, DarkenTowardBlue(stColors.crHot));
        DrawIconPlain(dc, item, {pt.x - 1, pt.y - 1}, 0);
    }
    else
        DrawIconPlain(dc, item, pt, CSkinMenu::GetDisabledIconMode() ? 1 : 0);
}

void DrawSystemGlyph(CDC& dc, const stMenuItem& item, const stXPColors& stColors, wchar_t chGlyph)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    RECT rcCell = IconCell(item);
    rcCell.top = item.rc.top;
    rcCell.bottom = item.rc.bottom;
    if (item.bGrayed || item.bInactive)
    {
        DrawMarlettGlyph(dc, rcCell, chGlyph, stEnv.SysColor(COLOR_GRAYTEXT), item.bDefault);
        return;
    }
    if (item.bSelected)
    {
        RECT rcShadow = rcCell;
        ::OffsetRect(&rcShadow, 1, 1);
        DrawMarlettGlyph(dc, rcShadow, chGlyph, DarkenTowardBlue(stColors.crHot), item.bDefault);
    }
    DrawMarlettGlyph(dc, rcCell, chGlyph, stEnv.SysColor(COLOR_MENUTEXT), item.bDefault);
}

void DrawPopupItem(CDC& dc, const stMenuItem& item, const stXPColors& stColors)
{
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    RECT rcBar = IconBar(item);
    dc.FillSolidRect(&item.rc, stColors.crFace);
    if (stColors.b2003)
        Gradient(dc, stColors, rcBar, item.bRightOrder ? stColors.crBar : stColors.crFace,
                 item.bRightOrder ? stColors.crFace : stColors.crBar, TRUE);
    else
        dc.FillSolidRect(&rcBar, stColors.crBar);
    RECT rcText = TextRect(item, rcBar);
    if (item.bSeparator)
    {
        int y = (item.rc.top + item.rc.bottom) / 2;
        int nStart = item.bRightOrder ? item.rc.left : rcText.left;
        int nEnd = item.bRightOrder ? rcText.right : item.rc.right;
        dc.FillSolidRect(nStart, y, nEnd - nStart, 1, stEnv.SysColor(COLOR_GRAYTEXT));
        return;
    }
    if (item.bSelected && !item.bInactive)
    {
        dc.FillSolidRect(&item.rc, stColors.crHot);
        FramePen(dc, item.rc, stColors.crPen);
    }
    else if (item.bKeyboardFocus)
        FramePen(dc, item.rc, stColors.crPen);

    COLORREF crGlyph = stEnv.SysColor(item.bGrayed ? COLOR_GRAYTEXT : COLOR_MENUTEXT);
    if (item.bChecked)
    {
        RECT rcBox = CheckBox(item, rcBar);
        dc.FillSolidRect(&rcBox, item.bSelected ? stColors.crCheckSelected : stColors.crCheck);
        FramePen(dc, rcBox, stColors.crPen);
        if (!item.bHasIcon)
            DrawCheckMark(dc, item, rcBox, crGlyph);
    }
    wchar_t chGlyph = SystemCommandGlyph(item.pData->m_nID);
    if (item.bHasIcon)
        DrawIcon(dc, item, stColors);
    else if (!item.bChecked && IsSystemCommand(item.pData->m_nID) && chGlyph != 0)
        DrawSystemGlyph(dc, item, stColors, chGlyph);
    else if (!item.bChecked)
        DrawCheckMark(dc, item, CheckBox(item, rcBar), crGlyph);

    int nTextColor = COLOR_MENUTEXT;
    if (item.bGrayed)
        nTextColor = COLOR_GRAYTEXT;
    else if (stEnv.bHighContrast && !item.bSelected)
        nTextColor = COLOR_WINDOWTEXT;
    DrawItemText(dc, item, rcText, stEnv.SysColor(nTextColor));
}

void Paint(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar, bool b2003)
{
    CDC dc;
    if (pDraw == nullptr || !dc.Attach(pDraw->hDC))
        return;
    stMenuItem item = DescribeItem(menu, pDraw);
    stXPColors stColors = ColorsOf(dc, menu, b2003);
    if (bMenuBar)
        DrawBarItem(dc, item, stColors);
    else if (item.bTitle)
        DrawTitle(menu, pDraw);
    else if (item.bSeparator)
        DrawPopupItem(dc, item, stColors);
    else
    {
        CSkinMemDC memory(&dc, item.rc);
        DrawPopupItem(memory, item, stColors);
    }
    dc.Detach();
}
} // namespace

void DrawItemXP(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    Paint(menu, pDraw, bMenuBar, false);
}

void DrawItem2003(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    Paint(menu, pDraw, bMenuBar, true);
}
