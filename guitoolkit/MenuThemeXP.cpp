#include "guitoolkit/MenuThemeXP.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuHookData.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/MenuShadow.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

#include <algorithm>

namespace
{
HMENU MenuOfPopup(HWND hPopup)
{
    CMenuHookData* pData = CSkinMenuHook::FindHookData(hPopup);
    return pData != nullptr ? pData->m_hMenu : NULL;
}
} // namespace

void CMenuThemeXP::DrawBorder(HWND hPopup, CDC* pWindowDC, BOOL bSkipFrame)
{
    if (!HasOwnBorder() || pWindowDC == nullptr)
        return;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    COLORREF crMenu = GetMenuBarColor(MenuOfPopup(hPopup));
    stFacePair stPair = MenuFacePair(pWindowDC, crMenu);
    RECT rcFrame = FrameRect(hPopup);
    RECT rcInside = rcFrame;
    ::InflateRect(&rcInside, -1, -1);
    if (!bSkipFrame)
        FillBands(pWindowDC, rcInside, ClientRectInWindow(hPopup), stPair.crFace);
    if (stEnv.bHighContrast)
    {
        CBrush border(stEnv.SysColor(COLOR_BTNTEXT));
        pWindowDC->FrameRect(&rcFrame, border);
    }
    else
    {
        CBrush face(stPair.crFace);
        pWindowDC->FrameRect(&rcInside, face);
        COLORREF crLine = (m_nThemeId == 8 || m_nThemeId == 9) ? stEnv.SysColor(COLOR_WINDOW) : stPair.crBar;
        pWindowDC->FillSolidRect(1, 2, 1, std::max(0L, rcFrame.bottom - 2 - 2), crLine);
        CBrush border(DarkenColor(128, crMenu));
        pWindowDC->FrameRect(&rcFrame, border);
        PaintShadowIfOwn(hPopup, pWindowDC);
    }
    PaintGap(hPopup, pWindowDC, crMenu);
}

void CMenuThemeXP::PaintGap(HWND hPopup, CDC* pWindowDC, COLORREF crMenu) const
{
    CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(MenuOfPopup(hPopup)));
    CSkinMenu* pBar = pMenu != nullptr ? dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(pMenu->m_hParentMenu))
                                       : nullptr;
    RECT rcWindow = {};
    if (pBar == nullptr || pBar->m_bPopup || ::IsRectEmpty(&pBar->m_rcMenuBarItem) ||
        !::GetWindowRect(hPopup, &rcWindow))
        return;
    const RECT& rcItem = pBar->m_rcMenuBarItem;
    COLORREF crGap = GetScreenColorCount() <= 256 ? ToolkitEnvironment().SysColor(COLOR_BTNFACE)
                                                  : BlendColors86(crMenu, ToolkitEnvironment().SysColor(COLOR_WINDOW));
    int nWidth = rcWindow.right - rcWindow.left, nHeight = rcWindow.bottom - rcWindow.top;
    // The shared stretch of the two edges, less a pixel at each end.
    int nLeft = std::max(rcItem.left, rcWindow.left) - rcWindow.left + 1;
    int nRight = std::min(rcItem.right, rcWindow.right) - rcWindow.left - 1;
    int nTop = std::max(rcItem.top, rcWindow.top) - rcWindow.top + 1;
    int nBottom = std::min(rcItem.bottom, rcWindow.bottom) - rcWindow.top - 1;
    if (std::abs(rcItem.bottom - rcWindow.top) <= 1 && nRight > nLeft)
        pWindowDC->FillSolidRect(nLeft, 0, nRight - nLeft, 1, crGap);
    else if (std::abs(rcItem.top - rcWindow.bottom) <= 1 && nRight > nLeft)
        pWindowDC->FillSolidRect(nLeft, nHeight - 1, nRight - nLeft, 1, crGap);
    else if (std::abs(rcItem.right - rcWindow.left) <= 1 && nBottom > nTop)
        pWindowDC->FillSolidRect(0, nTop, 1, nBottom - nTop, crGap);
    else if (std::abs(rcItem.left - rcWindow.right) <= 1 && nBottom > nTop)
        pWindowDC->FillSolidRect(nWidth - 1, nTop, 1, nBottom - nTop, crGap);
}

BOOL CMenuThemeXP::EraseBackground(HWND hPopup, CDC* pDC)
{
    HMENU hMenu = MenuOfPopup(hPopup);
    if (dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(hMenu)) == nullptr)
        return CMenuTheme::EraseBackground(hPopup, pDC);
    return FillClient(hPopup, pDC, GetMenuBarColor(hMenu));
}
