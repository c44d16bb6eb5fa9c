#include "classlib/Controls.h"
#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinToolBar.h"
#include "guitoolkit/ToolkitColors.h"

#include "GuiTestSupport.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace
{
constexpr COLORREF Ground = RGB(10, 200, 200);
constexpr COLORREF Magenta = RGB(255, 0, 255);
constexpr UINT ComboID = 1310;

// Draws one image of a list on a ground and reads a pixel of it.
COLORREF ImagePixel(const CImageList& images, int nImage, int x, int y)
{
    HDC hScreen = ::GetDC(NULL);
    HDC hDC = ::CreateCompatibleDC(hScreen);
    HBITMAP hBitmap = ::CreateCompatibleBitmap(hScreen, 32, 32);
    ::ReleaseDC(NULL, hScreen);
    HGDIOBJ hOld = ::SelectObject(hDC, hBitmap);
    HBRUSH hGround = ::CreateSolidBrush(Ground);
    RECT rc = {0, 0, 32, 32};
    ::FillRect(hDC, &rc, hGround);
    ::DeleteObject(hGround);
    ImageList_Draw(images.m_hImageList, nImage, hDC, 0, 0, ILD_TRANSPARENT);
    COLORREF cr = ::GetPixel(hDC, x, y);
    ::SelectObject(hDC, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hDC);
    return cr;
}

class SkinToolBarTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Tools", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 420)));
        ASSERT_TRUE(m_bar.Create(m_pFrame));
        ASSERT_TRUE(m_bar.LoadToolBar(130));
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
    }
    LRESULT AddBitmap(UINT nID, int nButtons)
    {
        TBADDBITMAP stAdd = {::GetModuleHandleW(nullptr), nID};
        return m_bar.SendMessage(TB_ADDBITMAP, nButtons, reinterpret_cast<LPARAM>(&stAdd));
    }

    CFrameWnd* m_pFrame = nullptr;
    CSkinToolBar m_bar;
};

TEST_F(SkinToolBarTest, MagentaCornerIsTransparentInAllThreeLists)
{
    for (CImageList* pImages : {&m_bar.m_imagesNormal, &m_bar.m_imagesDarkened, &m_bar.m_imagesDisabled})
    {
        ASSERT_EQ(pImages->GetImageCount(), 3);
        EXPECT_EQ(ImagePixel(*pImages, 0, 0, 0), Ground);
        EXPECT_NE(ImagePixel(*pImages, 0, 8, 7), Ground);
        EXPECT_NE(ImagePixel(*pImages, 0, 8, 7), Magenta);
    }
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 0, 8, 7), RGB(0xE0, 0x20, 0x20));
}

TEST_F(SkinToolBarTest, SecondBitmapAppendsToAllListsAndLeavesTheFirstImages)
{
    COLORREF crBefore[3];
    CImageList* lists[] = {&m_bar.m_imagesNormal, &m_bar.m_imagesDarkened, &m_bar.m_imagesDisabled};
    for (int i = 0; i < 3; ++i)
        crBefore[i] = ImagePixel(*lists[i], 0, 8, 7);

    EXPECT_EQ(AddBitmap(131, 2), 3);
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_EQ(lists[i]->GetImageCount(), 5) << i;
        EXPECT_EQ(ImagePixel(*lists[i], 0, 8, 7), crBefore[i]) << i;
        EXPECT_EQ(ImagePixel(*lists[i], 3, 0, 0), Ground) << i;
    }
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 3, 8, 7), RGB(0xF0, 0xD0, 0x10));
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 4, 8, 7), RGB(0x10, 0xD0, 0xF0));

    // The control knows the bitmap: its old index, nothing appended.
    EXPECT_EQ(AddBitmap(131, 2), 3);
    EXPECT_EQ(m_bar.m_imagesNormal.GetImageCount(), 5);
}

TEST_F(SkinToolBarTest, ReplacedBitmapTakesTheIndexItWasAddedAt)
{
    ASSERT_EQ(AddBitmap(131, 2), 3);
    TBREPLACEBITMAP stReplace = {::GetModuleHandleW(nullptr), 131, ::GetModuleHandleW(nullptr), 130, 2};
    EXPECT_TRUE(m_bar.SendMessage(TB_REPLACEBITMAP, 0, reinterpret_cast<LPARAM>(&stReplace)));
    EXPECT_EQ(m_bar.m_imagesNormal.GetImageCount(), 5);
    for (CImageList* pImages : {&m_bar.m_imagesNormal, &m_bar.m_imagesDisabled, &m_bar.m_imagesDarkened})
    {
        EXPECT_EQ(pImages->GetImageCount(), 5);
        EXPECT_EQ(ImagePixel(*pImages, 3, 0, 0), Ground);
    }
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 3, 8, 7), RGB(0xE0, 0x20, 0x20));
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 4, 8, 7), RGB(0x20, 0xB0, 0x20));
    EXPECT_EQ(ImagePixel(m_bar.m_imagesNormal, 0, 8, 7), RGB(0xE0, 0x20, 0x20));
}

TEST_F(SkinToolBarTest, WithoutDarkeningTheDarkenedImagesAreTheNormalOnes)
{
    int nOld = CSkinMenu::SetIconDarkening(0);
    ASSERT_TRUE(m_bar.LoadImages(130));
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ImagePixel(m_bar.m_imagesDarkened, i, 8, 7), ImagePixel(m_bar.m_imagesNormal, i, 8, 7)) << i;
    CSkinMenu::SetIconDarkening(40);
    ASSERT_TRUE(m_bar.LoadImages(130));
    EXPECT_NE(ImagePixel(m_bar.m_imagesDarkened, 0, 8, 7), ImagePixel(m_bar.m_imagesNormal, 0, 8, 7));
    CSkinMenu::SetIconDarkening(nOld);
}

TEST_F(SkinToolBarTest, HostedComboGoesAwayDownASideAndComesBackCentred)
{
    CComboBox combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(0, 0, 120, 200), &m_bar, ComboID));
    ASSERT_TRUE(m_bar.InsertControl(1, &combo, 0));
    m_bar.EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->DockControlBar(&m_bar, AFX_IDW_DOCKBAR_TOP);
    m_pFrame->RecalcLayout();
    m_bar.UpdateWindow();

    auto hidden = [&] { return (m_bar.SendMessage(TB_GETSTATE, ComboID) & TBSTATE_HIDDEN) != 0; };
    auto centred = [&] {
        CRect rcSeparator, rcCombo;
        m_bar.GetItemRect(1, rcSeparator);
        ::GetWindowRect(combo.m_hWnd, &rcCombo);
        m_bar.ScreenToClient(reinterpret_cast<POINT*>(&rcCombo.left));
        m_bar.ScreenToClient(reinterpret_cast<POINT*>(&rcCombo.right));
        return rcCombo.left == rcSeparator.left + 1 &&
               std::abs((rcCombo.top + rcCombo.bottom) - (rcSeparator.top + rcSeparator.bottom)) <= 1;
    };
    ASSERT_TRUE(PumpUntil([&] { return combo.IsWindowVisible() && centred(); }));
    EXPECT_FALSE(hidden());

    m_pFrame->DockControlBar(&m_bar, AFX_IDW_DOCKBAR_LEFT);
    EXPECT_TRUE(PumpUntil([&] { return !combo.IsWindowVisible() && hidden(); }));
    // The layout saw the bar without the combo's separator.
    EXPECT_LT(m_bar.CalcFixedLayout(FALSE, FALSE).cx, 120);

    m_pFrame->DockControlBar(&m_bar, AFX_IDW_DOCKBAR_TOP);
    EXPECT_TRUE(PumpUntil([&] { return combo.IsWindowVisible() && !hidden() && centred(); }));
}
} // namespace

namespace
{
// The bar's painting steps, on a picture of the caller's.
class CPaintedToolBar : public CSkinToolBar
{
public:
    using CSkinToolBar::DrawButtonImage;
    using CSkinToolBar::DrawDropDownArrow;
    using CSkinToolBar::EraseBackground;
};

TEST(SkinToolBarPainting, DropDownArrowIsATriangleOfFiveThreeAndOne)
{
    CPaintSurface surface(40, 30);
    const CRect rc(0, 0, 36, 22);
    CPaintedToolBar::DrawDropDownArrow(&surface.DC(), rc, 0);
    const COLORREF crArrow = ::GetSysColor(COLOR_WINDOWTEXT);
    // x = 36 - 13 / 2 - 1 = 29, y = 11.
    EXPECT_EQ(surface.Count(CRect(27, 10, 32, 11), crArrow), 5);
    EXPECT_EQ(surface.Count(CRect(28, 11, 31, 12), crArrow), 3);
    EXPECT_EQ(surface.Count(CRect(29, 12, 30, 13), crArrow), 1);
    EXPECT_EQ(surface.Count(CRect(0, 0, 40, 30), crArrow), 9);
    CPaintedToolBar::DrawDropDownArrow(&surface.DC(), rc, CDIS_DISABLED);
    EXPECT_EQ(surface.Count(CRect(0, 0, 40, 30), ::GetSysColor(COLOR_GRAYTEXT)), 9);
}

class SkinToolBarPaintingTest : public MenuHookTest
{
protected:
    void SetUp() override
    {
        MenuHookTest::SetUp();
        m_pFrame = new CFrameWnd;
        ASSERT_TRUE(m_pFrame->Create(nullptr, L"Tools", WS_OVERLAPPEDWINDOW | WS_VISIBLE, CRect(20, 20, 520, 420)));
        ASSERT_TRUE(m_bar.Create(m_pFrame));
        ASSERT_TRUE(m_bar.LoadToolBar(130));
    }
    void TearDown() override
    {
        m_pFrame->DestroyWindow();
        PumpPending();
        MenuHookTest::TearDown();
    }
    // The colour at the image's middle as the state draws it.
    COLORREF DrawnImage(UINT nState)
    {
        CPaintSurface surface(30, 30, Ground);
        m_bar.DrawButtonImage(&surface.DC(), CRect(0, 0, 24, 23), 0, nState, false, 1);
        return surface.At(12, 11);
    }

    CFrameWnd* m_pFrame = nullptr;
    CPaintedToolBar m_bar;
};

TEST_F(SkinToolBarPaintingTest, ImageListFollowsTheButtonState)
{
    int nOldDarkening = CSkinMenu::SetIconDarkening(60);
    BOOL bOldMode = CSkinMenu::SetDisabledIconMode(TRUE);
    ASSERT_TRUE(m_bar.LoadImages(130));
    const COLORREF crNormal = ImagePixel(m_bar.m_imagesNormal, 0, 8, 7);
    const COLORREF crDarkened = ImagePixel(m_bar.m_imagesDarkened, 0, 8, 7);
    const COLORREF crDisabled = ImagePixel(m_bar.m_imagesDisabled, 0, 8, 7);
    ASSERT_NE(crNormal, crDarkened);
    ASSERT_NE(crNormal, crDisabled);
    EXPECT_EQ(DrawnImage(CDIS_DISABLED), crDisabled);
    EXPECT_EQ(DrawnImage(CDIS_DISABLED | CDIS_HOT), crDisabled);
    EXPECT_EQ(DrawnImage(0), crDarkened);
    EXPECT_EQ(DrawnImage(CDIS_HOT), crNormal);
    CSkinMenu::SetDisabledIconMode(FALSE);
    EXPECT_EQ(DrawnImage(0), crNormal);
    CSkinMenu::SetDisabledIconMode(bOldMode);
    CSkinMenu::SetIconDarkening(nOldDarkening);
}

TEST_F(SkinToolBarPaintingTest, DockedAcrossInThemeSevenHasItsLightAndDarkRows)
{
    CSkinMenu::SelectTheme(7);
    ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), 7);
    m_bar.SetBarStyle(CBRS_ALIGN_TOP);
    m_bar.EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->DockControlBar(&m_bar, AFX_IDW_DOCKBAR_TOP);
    m_pFrame->RecalcLayout();
    CRect rcClient;
    m_bar.GetClientRect(rcClient);
    CPaintSurface surface(rcClient.Width(), rcClient.Height() + 4);
    EXPECT_TRUE(m_bar.EraseBackground(&surface.DC()));
    // The window's rectangle in client coordinates: here the client's.
    const COLORREF m = GetMenuBackgroundColor(NULL);
    const int x = rcClient.Width() / 2;
    EXPECT_EQ(surface.At(x, m_bar.m_cyTopBorder + 1), LightenColor(125, m));
    EXPECT_EQ(surface.At(x, rcClient.bottom - 3), DarkenColor(150, m));
}
} // namespace
