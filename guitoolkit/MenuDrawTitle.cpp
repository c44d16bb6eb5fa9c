// Title items: a separator with the title flag, drawn as a band with text
// across the top of a popup or down its side.
#include "guitoolkit/MenuPainters.h"

#include "classlib/DC.h"
#include "guitoolkit/Gradient.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/SelectedObject.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuIcons.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
constexpr COLORREF DefaultColor = 0xFF000000;
constexpr int TextInset = 2;
constexpr int CornerSize = 10;

COLORREF Sys(int nIndex)
{
    return ToolkitEnvironment().SysColor(nIndex);
}

struct stTitleColors
{
    COLORREF crStart;
    COLORREF crEnd;
    COLORREF crText;
};

stTitleColors ColorsOf(const CSkinMenuItemData& record)
{
    stTitleColors stColors;
    stColors.crStart = record.m_crTitleStart != DefaultColor ? record.m_crTitleStart : Sys(COLOR_ACTIVECAPTION);
    COLORREF crMenu = GetPlainMenuColor();
    stColors.crEnd = record.m_crTitleEnd != DefaultColor ? record.m_crTitleEnd
                                                         : BlendColors86(Sys(COLOR_WINDOW), crMenu);
    bool bModern = ToolkitEnvironment().bModernStyle != 0;
    if (record.m_crTitleText != DefaultColor)
        stColors.crText = record.m_crTitleText;
    else
        stColors.crText = bModern ? RGB(192, 192, 192) : Sys(COLOR_CAPTIONTEXT);
    return stColors;
}

void DrawEtchedLines(CDC& dc, const RECT& rc, bool bVertical)
{
    if (bVertical)
    {
        RECT rcFirst = {rc.left + 20, rc.top + 5, rc.left + 22, rc.bottom - 5};
        dc.Draw3dRect(&rcFirst, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
        RECT rcSecond = {rcFirst.left + 3, rcFirst.top + 10, rcFirst.right + 3, rcFirst.bottom - 10};
        dc.Draw3dRect(&rcSecond, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
        return;
    }
    RECT rcFirst = {rc.left + 2, rc.bottom - 7, rc.right - 2, rc.bottom - 5};
    dc.Draw3dRect(&rcFirst, Sys(COLOR_BTNHIGHLIGHT), Sys(COLOR_BTNSHADOW));
    RECT rcSecond = {rcFirst.left + 10, rcFirst.top + 3, rcFirst.right - 10, rcFirst.bottom + 3};
    dc.Draw3dRect(&rcSecond, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));
}
} // namespace

void DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw)
{
    CDC dc;
    if (pDraw == nullptr || !dc.Attach(pDraw->hDC))
        return;
    stMenuItem item = DescribeItem(menu, pDraw);
    UINT nFlags = item.pData->m_nToolkitFlags;
    bool bVertical = (nFlags & MenuTitleVertical) != 0;
    stTitleColors stColors = ColorsOf(*item.pData);
    RECT rc = item.rc;
    if (bVertical)
    {
        // A side title runs the whole height of its popup.
        RECT rcClient = {};
        HWND hPopup = ::WindowFromDC(pDraw->hDC);
        if (hPopup != NULL && ::GetClientRect(hPopup, &rcClient))
        {
            rc.top = rcClient.top;
            rc.bottom = rcClient.bottom;
        }
        rc.right += ::GetSystemMetrics(SM_CXMENUCHECK);
    }

    CFont font;
    if (!CreateTitleFont(font, bVertical ? 900 : 0))
    {
        dc.Detach();
        return;
    }
    CSelectedObject selectedFont(dc, font);
    CSize szText = dc.GetTextExtent(item.pData->m_strText, item.pData->m_strText.GetLength());
    RECT rcText = rc;
    if (nFlags & MenuTitleGradient)
        DrawGradient(&dc, rc, bVertical ? stColors.crEnd : stColors.crStart,
                     bVertical ? stColors.crStart : stColors.crEnd, !bVertical, TRUE);
    else if (nFlags & MenuTitleRounded)
    {
        RECT rcRound = rc;
        if (bVertical)
            rcRound.right = std::min<LONG>(rcRound.right, rcRound.left + szText.cy + 4);
        CBrush brush(stColors.crStart);
        CPen pen(PS_SOLID, 1, stColors.crStart);
        CSelectedObject selectedBrush(dc, brush), selectedPen(dc, pen);
        dc.RoundRect(&rcRound, POINT{CornerSize, CornerSize});
        if (bVertical)
            ::OffsetRect(&rcText, 0, -2);
        else
            rcText.left += std::min<LONG>(10, std::max<LONG>(0, (rc.right - rc.left - szText.cx) / 2));
    }
    else
        dc.FillSolidRect(&rc, stColors.crStart);
    if (nFlags & MenuTitleSunken)
        dc.Draw3dRect(&rc, Sys(COLOR_BTNSHADOW), Sys(COLOR_BTNHIGHLIGHT));

    int cxIcon = item.bHasIcon ? item.pMenu->m_nIconWidth : 0;
    int nOldMode = dc.SetBkMode(TRANSPARENT);
    COLORREF crOld = dc.SetTextColor(stColors.crText);
    int nAlong = TextInset + cxIcon;
    if (bVertical)
    {
        int y = (nFlags & MenuTitleCentred) ? (rcText.top + rcText.bottom + szText.cx) / 2 : rcText.bottom - nAlong;
        dc.TextOut(rcText.left + TextInset, y, item.pData->m_strText, item.pData->m_strText.GetLength());
    }
    else
    {
        int x = (nFlags & MenuTitleCentred) ? (rcText.left + rcText.right - szText.cx) / 2 : rcText.left + nAlong;
        dc.TextOut(x, (rcText.top + rcText.bottom - szText.cy) / 2, item.pData->m_strText,
                   item.pData->m_strText.GetLength());
    }
    dc.SetTextColor(crOld);
    dc.SetBkMode(nOldMode);
    if (HICON hIcon = ExtractItemIcon(item, 0))
    {
        int nSide = std::max(0, std::min(item.pMenu->m_nIconWidth, item.pMenu->m_nIconHeight) - 4);
        POINT pt = bVertical ? POINT{rc.left + 2, rc.bottom - 2 - nSide} : POINT{rc.left + 2, rc.top + 2};
        dc.DrawState(pt, SIZE{nSide, nSide}, hIcon, DSS_NORMAL);
        ::DestroyIcon(hIcon);
    }
    if (nFlags & MenuTitleEtched)
        DrawEtchedLines(dc, rc, bVertical);
    dc.Detach();
}
