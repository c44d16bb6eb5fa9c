#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/SkinStatusBar.h"
#include "guitoolkit/ToolkitColors.h"

#include "GuiTestSupport.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

namespace
{
constexpr COLORREF Ground = RGB(1, 2, 3);
constexpr COLORREF Dot = RGB(0, 0, 0);
constexpr COLORREF Highlight = RGB(250, 0, 0);

TEST(StatusBarGrip, DotsMakeATriangleWithHighlightsBelowRight)
{
    CPaintSurface picture(32, 32, Ground);
    const CRect rcGrip(0, 0, 20, 20);
    CSkinStatusBar::DrawGripDots(&picture.DC(), rcGrip, Dot, Highlight);
    // n = min(20 / 4, 20 / 4) - 1 = 4: columns of 4, 3, 2 and 1 dots.
    EXPECT_EQ(picture.Count(CRect(0, 0, 32, 32), Dot), 10 * 4);
    EXPECT_EQ(picture.Count(CRect(0, 0, 32, 32), Highlight), 10 * 3);
    EXPECT_EQ(picture.At(16, 17), Dot);
    EXPECT_EQ(picture.At(18, 19), Highlight);
    EXPECT_EQ(picture.At(4, 17), Dot);    // column 3, lowest dot
    EXPECT_EQ(picture.At(16, 5), Dot);    // column 0, highest dot
    EXPECT_EQ(picture.At(12, 5), Ground); // column 1 has one dot less
}

TEST(StatusBarGrip, DotsWithoutHighlight)
{
    CPaintSurface picture(32, 32, Ground);
    CSkinStatusBar::DrawGripDots(&picture.DC(), CRect(0, 0, 12, 16), Dot, CLR_NONE);
    // n = min(3, 4) - 1 = 2.
    EXPECT_EQ(picture.Count(CRect(0, 0, 32, 32), Dot), 3 * 4);
    EXPECT_EQ(picture.Count(CRect(0, 0, 32, 32), Ground), 32 * 32 - 3 * 4);
}

TEST(StatusBarGrip, DiagonalLinesTwoShadowsAndALight)
{
    CPaintSurface picture(32, 32, Ground);
    CSkinStatusBar::DrawGripLines(&picture.DC(), CRect(0, 0, 20, 20));
    const COLORREF crShadow = ::GetSysColor(COLOR_BTNSHADOW);
    const COLORREF crLight = ::GetSysColor(COLOR_BTNHIGHLIGHT);
    // The row above the bottom edge: offset 6's two shadows and light, then offset 10.
    EXPECT_EQ(picture.At(15, 19), crShadow);
    EXPECT_EQ(picture.At(14, 19), crShadow);
    EXPECT_EQ(picture.At(13, 19), crLight);
    EXPECT_EQ(picture.At(12, 19), Ground);
    EXPECT_EQ(picture.At(11, 19), crShadow);
    // Offset 18 is not below min(20, 20) - 4.
    EXPECT_EQ(picture.At(3, 19), Ground);
}

COLORREF ThemeDot()
{
    return DarkenColor(100, GetMenuBackgroundColor(NULL));
}

COLORREF CaptionDot()
{
    return DarkenColor(10, ::GetSysColor(COLOR_ACTIVECAPTION));
}

COLORREF White()
{
    return RGB(255, 255, 255);
}

COLORREF Shadow()
{
    return ::GetSysColor(COLOR_BTNSHADOW);
}

COLORREF Untouched()
{
    return Ground;
}

TEST(StatusBarGrip, EachThemeHasItsGrip)
{
    struct stCase
    {
        int nThemeId;
        POINT pt;
        COLORREF (*pfnColour)();
    };
    // In a 20 by 20 grip: the first dot covers (16, 17) to (17, 18), its
    // highlight (17, 18) to (18, 19); offset 6's shadow lines cross (14, 19)
    // and (16, 17).
    const stCase cases[] = {
        {6, {16, 17}, ThemeDot}, {7, {16, 17}, ThemeDot},    {7, {18, 19}, Untouched}, {8, {16, 17}, CaptionDot},
        {8, {18, 19}, White},    {10, {16, 17}, CaptionDot}, {10, {18, 19}, White},    {10, {12, 13}, CaptionDot},
        {10, {14, 15}, White},   {11, {18, 19}, White},      {0, {14, 19}, Shadow},    {3, {14, 19}, Shadow},
        {5, {16, 17}, Shadow},   {12, {14, 19}, Shadow},
    };
    for (const stCase& stTest : cases)
    {
        CPaintSurface picture(32, 32, Ground);
        CSkinStatusBar::DrawGrip(&picture.DC(), CRect(0, 0, 20, 20), stTest.nThemeId);
        EXPECT_EQ(picture.At(stTest.pt.x, stTest.pt.y), stTest.pfnColour())
            << "theme " << stTest.nThemeId << " at " << stTest.pt.x << ", " << stTest.pt.y;
    }
}

// Paints itself into a picture of the caller's.
class CTestSkinStatusBar : public CSkinStatusBar
{
public:
    using CSkinStatusBar::Paint;
};

class SkinStatusBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Status", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 420, 320)));
        ASSERT_TRUE(m_bar.Create(m_pFrame));
        const UINT ids[] = {ID_SEPARATOR, 7001, 7002};
        ASSERT_TRUE(m_bar.SetIndicators(ids, 3));
        m_bar.SetPaneInfo(1, 7001, SBPS_NORMAL, 100);
        m_pFrame->RecalcLayout();
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    // Pixels of the grip's corner that differ from the bar's ground.
    int GripPixels()
    {
        CRect rc;
        m_bar.GetClientRect(rc);
        CPaintSurface picture(rc.Width(), rc.Height(), Ground);
        m_bar.Paint(&picture.DC());
        CRect rcCorner(rc.right - ::GetSystemMetrics(SM_CXVSCROLL), 0, rc.right, rc.bottom);
        return rcCorner.Width() * rcCorner.Height() - picture.Count(rcCorner, picture.At(rc.right - 1, 0));
    }

    CFrameWnd* m_pFrame = nullptr;
    CTestSkinStatusBar m_bar;
};

TEST_F(SkinStatusBarTest, TakesTheBottomStylesAtCreation)
{
    EXPECT_EQ(m_bar.GetStyle() & (CCS_BOTTOM | CCS_NOPARENTALIGN), DWORD(CCS_BOTTOM | CCS_NOPARENTALIGN));
}

TEST_F(SkinStatusBarTest, NoGripWhileTheFrameIsMaximised)
{
    EXPECT_GT(GripPixels(), 0);
    m_pFrame->ShowWindow(SW_MAXIMIZE);
    ASSERT_TRUE(PumpUntil([this] { return ::IsZoomed(m_pFrame->m_hWnd) != FALSE; }));
    EXPECT_EQ(GripPixels(), 0);
}

TEST_F(SkinStatusBarTest, PaneTextFollowsItsIcon)
{
    CRect rc;
    m_bar.GetClientRect(rc);
    m_bar.SetPaneText(1, L"WWWW");
    // The first column of the pane, from nFrom on, that is not the ground.
    auto firstInk = [&](int nFrom) -> int {
        CPaintSurface picture(rc.Width(), rc.Height(), Ground);
        m_bar.Paint(&picture.DC());
        CRect rcPane;
        m_bar.GetPaneDrawRect(1, rcPane);
        COLORREF crGround = picture.At(rcPane.left, rcPane.top);
        for (int x = rcPane.left + nFrom; x < rcPane.right; ++x)
            for (int y = 0; y < rc.bottom; ++y)
                if (picture.At(x, y) != crGround)
                    return x - rcPane.left;
        return -1;
    };
    int nPlain = firstInk(0);
    ASSERT_GE(nPlain, 2);
    HICON hIcon = static_cast<HICON>(::LoadImageW(NULL, IDI_APPLICATION, IMAGE_ICON, 16, 16, LR_SHARED));
    ASSERT_NE(hIcon, nullptr);
    m_bar.SendMessage(SB_SETICON, 1, reinterpret_cast<LPARAM>(hIcon));
    // Past the icon (at 2, 16 wide) the text comes the icon's width and 1 later.
    EXPECT_EQ(firstInk(2 + 16), nPlain + 16 + 1);
}
// Pixels of the grip's diagonal lines in the corner of the window as shown.
int ShownGripLinePixels(HWND hWnd)
{
    CRect rc;
    ::GetClientRect(hWnd, &rc);
    HDC hDC = ::GetDC(hWnd);
    int n = 0;
    for (int x = rc.right - ::GetSystemMetrics(SM_CXVSCROLL); x < rc.right; ++x)
        for (int y = rc.top; y < rc.bottom; ++y)
            n += ::GetPixel(hDC, x, y) == ::GetSysColor(COLOR_BTNSHADOW) ? 1 : 0;
    ::ReleaseDC(hWnd, hDC);
    return n;
}

TEST_F(SkinStatusBarTest, BarOfItsOwnIsLeftToTheControlsPainting)
{
    // The control draws no grip without the size-grip style; the bar draws
    // its own whenever it paints itself.
    m_bar.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_GT(ShownGripLinePixels(m_bar.m_hWnd), 0);

    CSkinStatusBar alone;
    ASSERT_TRUE(alone.CreateEx(0, STATUSCLASSNAMEW, nullptr, WS_POPUP | WS_VISIBLE | CCS_NOPARENTALIGN,
                               CRect(40, 400, 440, 424), nullptr, 0));
    alone.RedrawWindow(nullptr, NULL, RDW_INVALIDATE | RDW_UPDATENOW);
    EXPECT_EQ(ShownGripLinePixels(alone.m_hWnd), 0);
    alone.DestroyWindow();
}
} // namespace
