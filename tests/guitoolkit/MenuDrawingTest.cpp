#include "guitoolkit/Gradient.h"
#include "guitoolkit/MenuBackground.h"
#include "guitoolkit/MenuBarText.h"
#include "guitoolkit/MenuShadow.h"
#include "guitoolkit/SkinBrushList.h"
#include "guitoolkit/SkinMemDC.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/ToolkitColors.h"

#include "MenuPaintSupport.h"

#include <vector>

namespace
{
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);

std::vector<POINT> Differences(const CPaintSurface& a, const CPaintSurface& b)
{
    std::vector<POINT> points;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.At(x, y) != b.At(x, y))
                points.push_back({x, y});
    return points;
}

struct stGradientCase
{
    int nLength;
    BOOL bHorizontal;
    // Colour at each pixel along the gradient.
    std::vector<COLORREF> expected;
};

TEST_F(MenuHookTest, GradientBandsFallBackToTheStartColourOnStripsTooThinToStep)
{
    ToolkitEnvironment().pfnGradientFill = nullptr;
    const COLORREF Mid = RGB(127, 127, 127);
    const stGradientCase cases[] = {
        {1, FALSE, {White}},
        {2, TRUE, {White, White}},
        {3, FALSE, {White, White, Black}},
        // Steps 0, 2, 4, 6, 8 of 8: 255 - 255 * step / 8.
        {10, TRUE, {White, White, RGB(191, 191, 191), RGB(191, 191, 191), Mid, Mid,
                    RGB(64, 64, 64), RGB(64, 64, 64), Black, Black}},
    };
    for (const stGradientCase& stCase : cases)
    {
        CPaintSurface surface(12, 12, RGB(9, 9, 9));
        RECT rc = {0, 0, stCase.bHorizontal ? stCase.nLength : 4, stCase.bHorizontal ? 4 : stCase.nLength};
        DrawGradient(&surface.DC(), rc, White, Black, stCase.bHorizontal, FALSE);
        for (int i = 0; i < stCase.nLength; ++i)
        {
            COLORREF cr = stCase.bHorizontal ? surface.At(i, 1) : surface.At(1, i);
            EXPECT_EQ(cr, stCase.expected[i]) << "length " << stCase.nLength << ", pixel " << i;
        }
        EXPECT_EQ(surface.At(stCase.bHorizontal ? stCase.nLength : 4, stCase.bHorizontal ? 4 : stCase.nLength),
                  RGB(9, 9, 9))
            << "nothing beyond the rectangle";
    }
}

TEST_F(MenuHookTest, GradientsGoThroughTheBoundGradientFill)
{
    ASSERT_NE(ToolkitEnvironment().pfnGradientFill, nullptr) << "Msimg32 binds under Wine";
    for (BOOL bHorizontal : {FALSE, TRUE})
    {
        CPaintSurface surface(10, 10);
        DrawGradient(&surface.DC(), {0, 0, 10, 10}, Black, White, bHorizontal, TRUE);
        EXPECT_EQ(surface.At(0, 0), Black);
        // The system stops a step short of the end colour.
        COLORREF crLast = bHorizontal ? surface.At(9, 5) : surface.At(5, 9);
        EXPECT_GT(GetRValue(crLast), 200);
        COLORREF crAcross = bHorizontal ? surface.At(0, 9) : surface.At(9, 0);
        EXPECT_EQ(crAcross, Black) << "constant across the gradient";
    }
}

class MenuBarTextTest : public MenuHookTest
{
protected:
    // Black transparent text in a scalable font at the escapement.
    static void Prepare(CPaintSurface& surface, CFont& font, int nEscapement)
    {
        LOGFONTW stFont = {};
        stFont.lfHeight = -16;
        stFont.lfEscapement = stFont.lfOrientation = nEscapement;
        wcscpy_s(stFont.lfFaceName, L"Arial");
        ASSERT_TRUE(font.CreateFontIndirect(&stFont));
        surface.DC().SelectObject(&font);
        surface.DC().SetTextColor(Black);
        surface.DC().SetBkMode(TRANSPARENT);
    }
};

TEST_F(MenuBarTextTest, DoubledAmpersandsDrawOneAndHiddenPrefixesDrawNoLine)
{
    const RECT rc = {2, 2, 118, 38};
    struct stCase
    {
        const wchar_t* pszPrefixed;
        UINT nFormat;
        const wchar_t* pszPlain;
    } cases[] = {{L"A&&B", 0, L"A&B"}, {L"&File", DT_HIDEPREFIX, L"File"}};
    for (const stCase& stText : cases)
    {
        CPaintSurface drawn(120, 40, White), plain(120, 40, White);
        CFont drawnFont, plainFont;
        Prepare(drawn, drawnFont, 0);
        Prepare(plain, plainFont, 0);
        DrawMenuBarText(&drawn.DC(), stText.pszPrefixed, -1, rc, stText.nFormat);
        plain.DC().TextOut(rc.left, rc.top, stText.pszPlain, static_cast<int>(wcslen(stText.pszPlain)));
        EXPECT_TRUE(Differences(drawn, plain).empty()) << "text " << static_cast<const void*>(stText.pszPrefixed);
        drawn.DC().RestoreObjects();
        plain.DC().RestoreObjects();
    }
}

TEST_F(MenuBarTextTest, APrefixUnderlinesItsCharacterAcrossTheTextAtEveryRightAngle)
{
    for (int nEscapement : {0, 900})
    {
        CPaintSurface drawn(120, 120, White), plain(120, 120, White);
        CFont drawnFont, plainFont;
        Prepare(drawn, drawnFont, nEscapement);
        Prepare(plain, plainFont, nEscapement);
        RECT rc = {10, 10, 110, 110};
        UINT nOldAlign = ::SetTextAlign(drawn.DC(), TA_BASELINE);
        DrawMenuBarText(&drawn.DC(), L"&Fi", -1, rc, 0);
        EXPECT_EQ(::GetTextAlign(drawn.DC()), UINT(TA_BASELINE)) << "the alignment is put back";
        ::SetTextAlign(drawn.DC(), nOldAlign);
        // Rotated text reads upwards from 4 pixels above the bottom.
        POINT ptStart = nEscapement == 0 ? POINT{rc.left, rc.top} : POINT{rc.left, rc.bottom - 4};
        plain.DC().TextOut(ptStart.x, ptStart.y, L"Fi", 2);
        std::vector<POINT> points = Differences(drawn, plain);
        ASSERT_GE(points.size(), 4u) << "escapement " << nEscapement;
        TEXTMETRICW stMetrics = {};
        drawn.DC().GetTextMetrics(&stMetrics);
        CSize szF = drawn.DC().GetTextExtent(L"F", 1);
        for (const POINT& pt : points)
        {
            EXPECT_EQ(drawn.At(pt.x, pt.y), Black);
            if (nEscapement == 0)
            {
                EXPECT_EQ(pt.y, rc.top + stMetrics.tmAscent + 1);
                EXPECT_LT(pt.x, rc.left + szF.cx) << "under the F only";
            }
            else
            {
                EXPECT_EQ(pt.x, rc.left + stMetrics.tmAscent + 1);
                EXPECT_GE(pt.y, ptStart.y - szF.cx) << "beside the F only";
            }
        }
        drawn.DC().RestoreObjects();
        plain.DC().RestoreObjects();
    }
}

TEST_F(MenuHookTest, AMemoryContextReachesItsTargetInOneCopyUnlessCancelled)
{
    const RECT rc = {10, 10, 30, 20};
    for (bool bCancel : {false, true})
    {
        CPaintSurface target(40, 30, White);
        {
            CSkinMemDC memory(&target.DC(), rc);
            ASSERT_TRUE(memory.IsOffScreen());
            memory.FillSolidRect(&rc, RGB(200, 0, 0));
            EXPECT_EQ(target.At(15, 15), White) << "nothing reaches the target before the end";
            if (bCancel)
                memory.CancelCopy();
        }
        EXPECT_EQ(target.At(15, 15), bCancel ? White : RGB(200, 0, 0));
        EXPECT_EQ(target.At(5, 5), White);
    }
}

TEST_F(MenuHookTest, GradientMenuBrushesAreCachedAndLendTheMenusTheirFirstColour)
{
    ASSERT_EQ(CSkinMenu::SelectTheme(11), 2);
    HBRUSH hBrush = GetMenuBrush();
    ASSERT_NE(hBrush, nullptr);
    EXPECT_EQ(GetMenuBrush(), hBrush) << "the same brush from the cache";
    LOGBRUSH stBrush = {};
    ASSERT_EQ(::GetObjectW(hBrush, sizeof(stBrush), &stBrush), int(sizeof(stBrush)));
    EXPECT_EQ(stBrush.lbStyle, UINT(BS_PATTERN));

    HMENU hBar = ::CreateMenu();
    ::AppendMenuW(hBar, MF_STRING, 1, L"&File");
    CSkinMenu bar;
    ASSERT_TRUE(bar.ConvertToOwnerDraw(hBar));
    HMENU hPlain = ::CreateMenu();
    UpdateMenuBackground(bar.m_hMenu);
    UpdateMenuBackground(hPlain);
    MENUINFO stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.fMask = MIM_BACKGROUND;
    ASSERT_TRUE(::GetMenuInfo(bar.m_hMenu, &stInfo));
    EXPECT_EQ(stInfo.hbrBack, hBrush);
    ASSERT_TRUE(::GetMenuInfo(hPlain, &stInfo));
    EXPECT_EQ(stInfo.hbrBack, nullptr) << "a plain menu keeps the system's background";
    ::DestroyMenu(hPlain);

    COLORREF crFirst = 0, crSecond = 0;
    ::GetBarColors(crFirst, crSecond, TRUE);
    EXPECT_NE(crFirst, Black);
    EXPECT_EQ(GetMenuBarColor(bar.m_hMenu), crFirst) << "not the black a pattern brush reports";
}

TEST_F(MenuHookTest, BandsFillAroundTheInnerRectangleAndTakeItsLastColumn)
{
    CPaintSurface surface(20, 20, White);
    FillBands(&surface.DC(), {0, 0, 20, 20}, {3, 4, 15, 16}, RGB(200, 0, 0));
    const struct
    {
        int x, y;
        bool bFilled;
    } pixels[] = {{1, 1, true}, {10, 3, true}, {10, 4, false}, {2, 10, true}, {3, 10, false},
                  {13, 10, false}, {14, 10, true}, {19, 10, true}, {10, 15, false}, {10, 16, true}};
    for (const auto& px : pixels)
        EXPECT_EQ(surface.At(px.x, px.y), px.bFilled ? RGB(200, 0, 0) : White) << px.x << "," << px.y;
}

class OwnShadowTest : public MenuHookTest
{
protected:
    static constexpr int Width = 40;
    static constexpr int Height = 30;
    static constexpr int Grey = 128;

    void Paint(CPaintSurface& surface, int nColors)
    {
        CPaintSurface screen(Width + 10, Height + 10, RGB(Grey, Grey, Grey));
        screen.DC().DeleteDC();
        PaintOwnShadow(&surface.DC(), screen.Bitmap(), Width, Height, nColors);
    }
    static COLORREF Shaded(int nFactor)
    {
        int n = ::MulDiv(Grey, nFactor, 255);
        return RGB(n, n, n);
    }
};

TEST_F(OwnShadowTest, TheShadowDarkensTheSavedScreenByItsFactors)
{
    CPaintSurface surface(Width, Height, White);
    Paint(surface, 64000);
    const struct
    {
        int x, y, nFactor;
    } pixels[] = {
        // Right band, outermost column: screen, fading head, body, fading foot.
        {Width - 1, 0, 255}, {Width - 1, 3, 255}, {Width - 1, 4, 249}, {Width - 1, 7, 231},
        {Width - 1, 15, 225}, {Width - 1, Height - 4, 231}, {Width - 1, Height - 1, 249},
        // Innermost column.
        {Width - 4, 4, 231}, {Width - 4, 7, 159}, {Width - 4, 15, 135}, {Width - 4, Height - 4, 159},
        {Width - 4, Height - 1, 231},
        // Bottom band, outermost and innermost rows.
        {0, Height - 1, 255}, {4, Height - 1, 249}, {7, Height - 1, 231}, {20, Height - 1, 225},
        {4, Height - 4, 231}, {20, Height - 4, 135},
    };
    for (const auto& px : pixels)
        EXPECT_EQ(surface.At(px.x, px.y), Shaded(px.nFactor)) << px.x << "," << px.y;
    EXPECT_EQ(surface.At(Width - 5, 15), White) << "the popup itself is left alone";
    EXPECT_EQ(surface.At(20, Height - 5), White);
}

TEST_F(OwnShadowTest, OnAPaletteTheShadowIsTwoButtonShadowLinesInsideTheScreen)
{
    CPaintSurface surface(Width, Height, White);
    Paint(surface, 256);
    COLORREF crScreen = Shaded(255), crShadow = ToolkitEnvironment().SysColor(COLOR_BTNSHADOW);
    const struct
    {
        int x, y;
        COLORREF cr;
    } pixels[] = {{Width - 1, 15, crScreen}, {Width - 2, 15, crScreen}, {Width - 3, 15, crShadow},
                  {Width - 4, 15, crShadow}, {Width - 4, 2, crScreen},  {Width - 4, Height - 3, crShadow},
                  {20, Height - 1, crScreen}, {20, Height - 3, crShadow}, {20, Height - 4, crShadow},
                  {2, Height - 4, crScreen}};
    for (const auto& px : pixels)
        EXPECT_EQ(surface.At(px.x, px.y), px.cr) << px.x << "," << px.y;
}
} // namespace
