#include "guitoolkit/MenuTheme.h"

#include "classlib/DC.h"
#include "guitoolkit/MenuHookData.h"
#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/MenuShadow.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuHook.h"
#include "guitoolkit/ToolkitColors.h"
#include "guitoolkit/ToolkitEnvironment.h"

namespace
{
// The border the system keeps beside its own drop shadow, and the room the
// own shadow needs when the system draws none.
constexpr SIZE FrameBorder = {2, 2};
constexpr SIZE SystemShadowBorder = {2, 2};
constexpr SIZE OwnShadowBorder = {5, 6};
constexpr int OwnShadowDepth = 4;
// The control-bar style bits the grippers read.
constexpr DWORD BarGripper = 0x00400000;
constexpr DWORD BarFloating = 0x0001;
constexpr DWORD BarAlignLeft = 0x1000;
constexpr DWORD BarAlignRight = 0x4000;

bool IsGripperShown(DWORD dwBarStyle)
{
    return (dwBarStyle & BarGripper) != 0 && !(dwBarStyle & BarFloating);
}

// Left- or right-docked bars carry the gripper along their top.
bool IsVerticalBar(DWORD dwBarStyle)
{
    return (dwBarStyle & (BarAlignLeft | BarAlignRight)) != 0;
}
} // namespace

CMenuTheme::CMenuTheme(int nThemeId, int nBorderFlag, MeasureFunction pfnMeasure, DrawFunction pfnDraw,
                       TitleFunction pfnTitle)
    : m_nThemeId(nThemeId), m_nBorderFlag(nBorderFlag), m_pfnMeasure(pfnMeasure), m_pfnDraw(pfnDraw),
      m_pfnTitle(pfnTitle)
{
    UpdateSysColors();
    UpdateBorderSize();
}

void CMenuTheme::MeasureItem(CSkinMenu& menu, LPMEASUREITEMSTRUCT pMeasure, BOOL bMenuBar)
{
    if (m_pfnMeasure != nullptr && pMeasure != nullptr)
        m_pfnMeasure(menu, pMeasure, bMenuBar);
}

void CMenuTheme::DrawItem(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw, BOOL bMenuBar)
{
    if (m_pfnDraw != nullptr && pDraw != nullptr)
        m_pfnDraw(menu, pDraw, bMenuBar);
}

void CMenuTheme::DrawTitle(CSkinMenu& menu, LPDRAWITEMSTRUCT pDraw)
{
    if (m_pfnTitle != nullptr && pDraw != nullptr)
        m_pfnTitle(menu, pDraw);
}

BOOL CMenuTheme::AttachPopup(HWND hPopup)
{
    CMenuHookData* pData = CSkinMenuHook::FindHookData(hPopup);
    if (pData == nullptr || !pData->m_bThemed || !HasOwnBorder())
        return FALSE;
    LONG_PTR dwStyle = ::GetWindowLongPtrW(hPopup, GWL_STYLE);
    LONG_PTR dwExStyle = ::GetWindowLongPtrW(hPopup, GWL_EXSTYLE);
    ::SetWindowLongPtrW(hPopup, GWL_STYLE, dwStyle & ~static_cast<LONG_PTR>(WS_BORDER));
    ::SetWindowLongPtrW(hPopup, GWL_EXSTYLE, dwExStyle & ~static_cast<LONG_PTR>(WS_EX_WINDOWEDGE | WS_EX_DLGMODALFRAME));
    pData->m_nFlags |= CMenuHookData::FlagStylesChanged;
    return TRUE;
}

void CMenuTheme::DetachPopup(HWND hPopup)
{
    CMenuHookData* pData = CSkinMenuHook::FindHookData(hPopup);
    if (pData == nullptr)
        return;
    if (CSkinMenu* pMenu = dynamic_cast<CSkinMenu*>(CMenu::FromHandlePermanent(pData->m_hMenu)))
        pMenu->OnPopupClosed();
    if (!(pData->m_nFlags & CMenuHookData::FlagStylesChanged))
        return;
    LONG_PTR dwStyle = pData->m_dwSavedStyle;
    if (pData->m_nFlags & CMenuHookData::FlagShown)
        dwStyle |= WS_VISIBLE;
    ::SetWindowLongPtrW(hPopup, GWL_STYLE, dwStyle);
    ::SetWindowLongPtrW(hPopup, GWL_EXSTYLE, pData->m_dwSavedExStyle);
}

void CMenuTheme::UpdateSysColors()
{
    static const int s_anIndexes[ColorCount] = {COLOR_BTNFACE, COLOR_BTNSHADOW, COLOR_BTNHIGHLIGHT, COLOR_BTNTEXT,
                                                COLOR_WINDOWFRAME};
    for (int i = 0; i < ColorCount; ++i)
        m_acrSysColors[i] = ToolkitEnvironment().SysColor(s_anIndexes[i]);
}

void CMenuTheme::UpdateBorderSize()
{
    m_aszBorder[0] = FrameBorder;
    m_aszBorder[1] = SystemDrawsMenuShadows() ? SystemShadowBorder : OwnShadowBorder;
}

RECT CMenuTheme::FrameRect(HWND hPopup)
{
    RECT rcWindow = {};
    ::GetWindowRect(hPopup, &rcWindow);
    RECT rc = {0, 0, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top};
    if (!SystemDrawsMenuShadows())
    {
        rc.right -= OwnShadowDepth;
        rc.bottom -= OwnShadowDepth;
    }
    return rc;
}

RECT CMenuTheme::ClientRectInWindow(HWND hPopup)
{
    RECT rcWindow = {}, rcClient = {};
    ::GetWindowRect(hPopup, &rcWindow);
    ::GetClientRect(hPopup, &rcClient);
    ::MapWindowPoints(hPopup, NULL, reinterpret_cast<POINT*>(&rcClient), 2);
    ::OffsetRect(&rcClient, -rcWindow.left, -rcWindow.top);
    return rcClient;
}

void CMenuTheme::PaintShadowIfOwn(HWND hPopup, CDC* pWindowDC) const
{
    if (SystemDrawsMenuShadows() || ToolkitEnvironment().bHighContrast)
        return;
    CMenuHookData* pData = CSkinMenuHook::FindHookData(hPopup);
    RECT rcWindow = {};
    if (pData == nullptr || pData->m_screen.GetSafeHandle() == NULL || !::GetWindowRect(hPopup, &rcWindow))
        return;
    PaintOwnShadow(pWindowDC, pData->m_screen, rcWindow.right - rcWindow.left, rcWindow.bottom - rcWindow.top,
                   GetScreenColorCount());
}

void CMenuTheme::DrawBorder(HWND hPopup, CDC* pWindowDC, BOOL bSkipFrame)
{
    if (!HasOwnBorder() || pWindowDC == nullptr)
        return;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    RECT rcFrame = FrameRect(hPopup);
    if (!bSkipFrame)
    {
        RECT rcInside = rcFrame;
        ::InflateRect(&rcInside, -1, -1);
        FillBands(pWindowDC, rcInside, ClientRectInWindow(hPopup), GetPlainMenuColor());
    }
    CBrush frame(stEnv.SysColor(stEnv.bHighContrast ? COLOR_BTNTEXT : COLOR_HIGHLIGHT));
    pWindowDC->FrameRect(&rcFrame, frame);
    PaintShadowIfOwn(hPopup, pWindowDC);
}

BOOL CMenuTheme::EraseBackground(HWND hPopup, CDC* pDC)
{
    return FillClient(hPopup, pDC, GetPlainMenuColor());
}

BOOL CMenuTheme::FillClient(HWND hPopup, CDC* pDC, COLORREF cr) const
{
    RECT rc = {};
    if (pDC == nullptr || !::GetClientRect(hPopup, &rc))
        return FALSE;
    // Over the band the own border leaves at the left, short of the right one.
    if (HasOwnBorder())
    {
        rc.left -= 2;
        rc.right -= 1;
    }
    pDC->FillSolidRect(&rc, cr);
    return TRUE;
}

BOOL CMenuTheme::CalcClientRect(HWND, LPRECT pRect)
{
    if (!HasOwnBorder() || pRect == nullptr)
        return FALSE;
    int nShadow = SystemDrawsMenuShadows() ? 1 : 5;
    pRect->left += m_aszBorder[0].cx;
    pRect->top += m_aszBorder[0].cy;
    pRect->right -= nShadow;
    pRect->bottom -= nShadow + 1;
    return FALSE;
}

BOOL CMenuTheme::AdjustWindowPos(HWND, WINDOWPOS* pPos)
{
    if (!HasOwnBorder() || pPos == nullptr)
        return FALSE;
    int nGrow = SystemDrawsMenuShadows() ? -2 : 2;
    pPos->cx += nGrow;
    pPos->cy += nGrow;
    pPos->y -= 1;
    return TRUE;
}

void CMenuTheme::GetPaintRect(HWND hPopup, LPRECT pRect)
{
    if (pRect == nullptr || !::GetWindowRect(hPopup, pRect) || !HasOwnBorder())
        return;
    int nFar = SystemDrawsMenuShadows() ? 3 : 7;
    pRect->left += 2;
    pRect->top += 2;
    pRect->right -= nFar;
    pRect->bottom -= nFar;
}

void CMenuTheme::DrawGripper(CDC* pDC, const RECT& rc, DWORD dwBarStyle, const RECT& rcBorders)
{
    if (pDC == nullptr || !IsGripperShown(dwBarStyle))
        return;
    const stToolkitEnvironment& stEnv = ToolkitEnvironment();
    bool bVertical = IsVerticalBar(dwBarStyle);
    RECT rcGrip = rc;
    // Along the top of a vertical bar, down the left of a horizontal one.
    if (bVertical)
    {
        rcGrip.left += rcBorders.left + 2;
        rcGrip.right -= rcBorders.right + 2;
        rcGrip.top += rcBorders.top + 2;
    }
    else
    {
        rcGrip.top += rcBorders.top + 2;
        rcGrip.bottom -= rcBorders.bottom + 2;
        rcGrip.left += rcBorders.left + 2;
    }
    int nId = m_nThemeId;
    auto dots = [&](COLORREF crDot, bool bLit) {
        int nStart = bVertical ? rcGrip.left + 4 : rcGrip.top + 4;
        int nEnd = bVertical ? rcGrip.right - 4 : rcGrip.bottom - 4;
        for (int p = nStart; p + 2 <= nEnd; p += 4)
        {
            int x = bVertical ? p : rcGrip.left + 1, y = bVertical ? rcGrip.top + 1 : p;
            if (bLit)
                pDC->FillSolidRect(x + 1, y + 1, 2, 2, stEnv.SysColor(COLOR_WINDOW));
            pDC->FillSolidRect(x, y, 2, 2, crDot);
        }
    };
    if (nId == 2 || nId == 3)
    {
        COLORREF crLine = DarkenTowardBlue(GetBarFaceColor());
        int nStart = bVertical ? rcGrip.left + 4 : rcGrip.top + 4;
        int nEnd = bVertical ? rcGrip.right - 4 : rcGrip.bottom - 4;
        for (int p = nStart; p < nEnd; p += 2)
        {
            if (bVertical)
                pDC->FillSolidRect(p, rcGrip.top + 1, 1, 3, crLine);
            else
                pDC->FillSolidRect(rcGrip.left + 1, p, 3, 1, crLine);
        }
    }
    else if (nId == 6 || nId == 7)
        dots(DarkenColor(100, GetMenuBarColor(NULL)), false);
    else if (nId >= 8 && nId <= 11)
    {
        COLORREF c1, c2, c3, c4;
        GetBarColors(c1, c2, c3, c4, FALSE);
        dots(c4, true);
    }
    else
    {
        RECT rcBar = rcGrip;
        if (bVertical)
            rcBar.bottom = rcBar.top + 3;
        else
            rcBar.right = rcBar.left + 3;
        pDC->Draw3dRect(&rcBar, stEnv.SysColor(COLOR_BTNHIGHLIGHT), stEnv.SysColor(COLOR_BTNSHADOW));
    }
}

void CMenuTheme::RoundBarCorners(CDC* pDC, const RECT& rc, DWORD dwBarStyle)
{
    if (pDC == nullptr || m_nThemeId < 6 || m_nThemeId > 11 || !IsGripperShown(dwBarStyle))
        return;
    COLORREF cr = ToolkitEnvironment().SysColor(COLOR_3DLIGHT);
    if (m_nThemeId >= 8)
    {
        COLORREF crSecond;
        ::GetBarColors(cr, crSecond, TRUE);
    }
    // Right and bottom are inclusive here.
    const POINT aCorners[4] = {{rc.left, rc.top}, {rc.right, rc.top}, {rc.left, rc.bottom}, {rc.right, rc.bottom}};
    for (const POINT& pt : aCorners)
    {
        int dx = pt.x == rc.left ? 1 : -1, dy = pt.y == rc.top ? 1 : -1;
        pDC->SetPixel(pt.x, pt.y, cr);
        pDC->SetPixel(pt.x + dx, pt.y, cr);
        pDC->SetPixel(pt.x, pt.y + dy, cr);
    }
}

void CMenuTheme::GetBarColors(COLORREF& crFirst, COLORREF& crSecond, COLORREF& crThird, COLORREF& crFourth,
                              BOOL bForce)
{
    struct stFixed
    {
        COLORREF crBase, c1, c2, c3, c4;
    };
    static const stFixed s_aFixed[] = {
        {RGB(218, 218, 170), RGB(244, 247, 222), RGB(209, 222, 172), RGB(183, 198, 145), RGB(96, 128, 88)},
        {RGB(215, 215, 229), RGB(243, 244, 250), RGB(225, 226, 236), RGB(153, 151, 181), RGB(124, 124, 148)},
        {RGB(163, 194, 245), RGB(221, 236, 254), RGB(196, 219, 249), RGB(129, 169, 226), RGB(59, 97, 156)},
    };
    COLORREF p = 0, q = 0;
    ::GetBarColors(p, q, TRUE);
    if (ToolkitEnvironment().IsVisualStyleActive() || bForce)
    {
        for (const stFixed& stEntry : s_aFixed)
        {
            if (stEntry.crBase == p)
            {
                crFirst = stEntry.c1;
                crSecond = stEntry.c2;
                crThird = stEntry.c3;
                crFourth = stEntry.c4;
                return;
            }
        }
        crFirst = LightenColor(140, p);
        crSecond = LightenColor(115, p);
        crThird = DarkenColor(40, p);
        crFourth = DarkenColor(110, p);
        return;
    }
    crFirst = q;
    crThird = p;
    crSecond = MixColors(p, q, 100);
    crFourth = DarkenColor(50, p);
}
