#include "classlib/Controls.h"
#include "classlib/DC.h"
#include "classlib/FrameWnd.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinToolBar.h"
#include "guitoolkit/ToolkitColors.h"

#include "GuiTestSupport.h"
#include "InjectedCursor.h"
#include "MenuPaintSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

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
    using CSkinToolBar::DrawSeparator;
    using CSkinToolBar::EraseBackground;
    using CSkinToolBar::Paint;

    // A custom-draw record as the parent handed it back.
    struct stSeen
    {
        DWORD dwStage;
        DWORD_PTR dwItemSpec;
        UINT uItemState;
        CRect rc;
        CRect rcText;
    };
    BOOL OnChildNotify(UINT nMsg, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override
    {
        auto* pDraw = reinterpret_cast<NMTBCUSTOMDRAW*>(lParam);
        if (nMsg == WM_NOTIFY && pDraw->nmcd.hdr.code == static_cast<UINT>(NM_CUSTOMDRAW))
            m_seen.push_back({pDraw->nmcd.dwDrawStage, pDraw->nmcd.dwItemSpec, pDraw->nmcd.uItemState,
                              pDraw->nmcd.rc, pDraw->rcText});
        return CSkinToolBar::OnChildNotify(nMsg, wParam, lParam, pResult);
    }
    std::vector<stSeen> m_seen;
};

TEST(SkinToolBarRules, ItemStateFromTheButtonAndThePointer)
{
    struct stCase
    {
        BYTE fsState;
        bool bActiveUnderCursor;
        UINT nState;
    };
    const BYTE E = TBSTATE_ENABLED;
    const stCase cases[] = {
        {E, false, 0},
        {E, true, CDIS_HOT},
        {0, true, CDIS_DISABLED},
        {E | TBSTATE_PRESSED, true, CDIS_HOT | CDIS_SELECTED},
        {E | TBSTATE_PRESSED, false, CDIS_HOT},
        {E | TBSTATE_CHECKED, false, CDIS_CHECKED},
        {TBSTATE_INDETERMINATE, false, CDIS_INDETERMINATE | CDIS_DISABLED},
    };
    for (const stCase& stTest : cases)
        EXPECT_EQ(CSkinToolBar::ItemState(stTest.fsState, stTest.bActiveUnderCursor), stTest.nState)
            << int(stTest.fsState) << " " << stTest.bActiveUnderCursor;
}

TEST(SkinToolBarRules, TextGoesUnderTheImageOrBesideItOnAListBar)
{
    struct stCase
    {
        bool bList;
        bool bDropDown;
        CRect rcText;
    };
    // A 40 by 30 button at (10, 5), a text of 20 by 13 and images 16 wide.
    const stCase cases[] = {
        {false, false, CRect(20, 22, 40, 34)},
        {false, true, CRect(13, 22, 33, 34)},
        {true, false, CRect(30, 15, 48, 28)},
        {true, true, CRect(30, 15, 33, 28)},
    };
    for (const stCase& stTest : cases)
        EXPECT_EQ(CSkinToolBar::TextRect(CRect(10, 5, 50, 35), CSize(20, 13), stTest.bList, stTest.bDropDown, 16),
                  stTest.rcText)
            << stTest.bList << stTest.bDropDown;
}

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
    // Docks the bar across the frame's top in the theme: its window's
    // rectangle and the screen point where its client area starts.
    void DockOnTop(int nThemeId, DWORD dwBarStyle, CRect& rcWindow, CPoint& ptClient)
    {
        CSkinMenu::SelectTheme(nThemeId);
        ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), nThemeId);
        m_bar.SetBarStyle(dwBarStyle);
        m_bar.EnableDocking(CBRS_ALIGN_ANY);
        m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
        m_pFrame->DockControlBar(&m_bar, AFX_IDW_DOCKBAR_TOP);
        m_pFrame->RecalcLayout();
        m_bar.GetWindowRect(rcWindow);
        ptClient = CPoint(0, 0);
        m_bar.ClientToScreen(&ptClient);
    }
    // The first button under the pointer while the bar has the focus; its rectangle.
    CRect HotFirstButton()
    {
        m_bar.UpdateWindow();
        CRect rc;
        m_bar.GetItemRect(0, rc);
        m_bar.SetFocus();
        PlaceInjectedCursor(m_bar.m_hWnd, rc.CenterPoint());
        return rc;
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

// Where the bar's ground is read: B is the bar's rectangle in client
// coordinates, the borders' widths are left, top, right and bottom.
using GroundPoint = POINT (*)(const CRect& B, const CRect& rcBorders);

POINT Middle(const CRect& B, const CRect&)
{
    return B.CenterPoint();
}

POINT NearTop(const CRect& B, const CRect&)
{
    return {B.CenterPoint().x, B.top + 1};
}

POINT LightRow(const CRect& B, const CRect& rcBorders)
{
    return {B.CenterPoint().x, B.top + rcBorders.top + 1};
}

POINT DarkRow(const CRect& B, const CRect&)
{
    return {B.CenterPoint().x, B.bottom - 3};
}

POINT HalfDown(const CRect& B, const CRect&)
{
    return {B.CenterPoint().x, B.bottom / 2};
}

POINT LightColumn(const CRect& B, const CRect& rcBorders)
{
    return {B.left + rcBorders.left - 1, B.CenterPoint().y};
}

POINT FirstInside(const CRect& B, const CRect& rcBorders)
{
    return {B.left + rcBorders.left, B.CenterPoint().y};
}

POINT DarkColumn(const CRect& B, const CRect& rcBorders)
{
    return {B.right - rcBorders.right, B.CenterPoint().y};
}

POINT HalfAcross(const CRect& B, const CRect&)
{
    return {B.right / 2, B.CenterPoint().y};
}

COLORREF BarColour(int nIndex)
{
    COLORREF cr[4] = {};
    CSkinMenu::GetCurrentTheme()->GetBarColors(cr[0], cr[1], cr[2], cr[3], FALSE);
    return cr[nIndex];
}

COLORREF FaceOnWindow()
{
    return BlendColors86(GetBarFaceColor(), ::GetSysColor(COLOR_WINDOW));
}

TEST_F(SkinToolBarPaintingTest, GroundFollowsTheThemeThePlaceAndTheScreensColours)
{
    enum ePlace
    {
        Across,
        Down,
        Floating
    };
    struct stCase
    {
        int nThemeId;
        ePlace nPlace;
        int nScreenColors;
        GroundPoint pfnPoint;
        // Asked once the theme is in place.
        COLORREF (*pfnColour)();
        bool bSame;
    };
    constexpr int Many = 64000;
    const stCase cases[] = {
        // One blend of the face and the window colours, docked or not.
        {3, Across, Many, Middle, FaceOnWindow, true},
        {3, Floating, Many, NearTop, FaceOnWindow, true},
        // Gradients about the menu colour, a light and a dark line along a docked bar.
        {7, Across, Many, LightRow, [] { return LightenColor(125, GetMenuBackgroundColor(NULL)); }, true},
        {7, Across, Many, DarkRow, [] { return DarkenColor(150, GetMenuBackgroundColor(NULL)); }, true},
        {7, Across, Many, HalfDown, [] { return GetMenuBackgroundColor(NULL); }, true},
        {7, Down, Many, LightColumn, [] { return LightenColor(125, GetMenuBackgroundColor(NULL)); }, true},
        {7, Down, Many, DarkColumn, [] { return DarkenColor(150, GetMenuBackgroundColor(NULL)); }, true},
        {7, Down, Many, HalfAcross, [] { return GetMenuBackgroundColor(NULL); }, true},
        // The theme's bar colours; only the dark line, and the gradient down a
        // side starts on the left border's last column.
        {11, Across, Many, DarkRow, [] { return BarColour(3); }, true},
        {11, Across, Many, HalfDown, [] { return BarColour(1); }, true},
        {11, Down, Many, DarkColumn, [] { return BarColour(3); }, true},
        {11, Down, Many, LightColumn, [] { return BarColour(0); }, true},
        {11, Down, Many, HalfAcross, [] { return BarColour(1); }, true},
        // Few colours: one darker colour inside the borders, off a docked bar's ends.
        {7, Across, 16, Middle, [] { return DarkenColor(30, GetMenuBarColor(NULL)); }, true},
        {7, Across, 16, NearTop, [] { return DarkenColor(30, GetMenuBarColor(NULL)); }, false},
        {7, Floating, 16, NearTop, [] { return DarkenColor(30, GetMenuBarColor(NULL)); }, true},
        {11, Down, 16, FirstInside, [] { return DarkenColor(30, GetSelectionColor()); }, true},
        {11, Down, 16, LightColumn, [] { return DarkenColor(30, GetSelectionColor()); }, false},
        // Any other theme: the menu bar's colour.
        {1, Across, Many, Middle, [] { return GetMenuBarColor(NULL); }, true},
        {5, Down, Many, Middle, [] { return GetMenuBarColor(NULL); }, true},
    };
    m_bar.EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    for (const stCase& stTest : cases)
    {
        CSkinMenu::SelectTheme(stTest.nThemeId);
        ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), stTest.nThemeId);
        ToolkitEnvironment().nScreenColors = stTest.nScreenColors;
        if (stTest.nPlace == Floating)
            m_pFrame->FloatControlBar(&m_bar, CPoint(600, 100));
        else
            m_pFrame->DockControlBar(&m_bar, stTest.nPlace == Across ? AFX_IDW_DOCKBAR_TOP : AFX_IDW_DOCKBAR_LEFT);
        m_pFrame->RecalcLayout();
        ASSERT_EQ(m_bar.IsFloating() != FALSE, stTest.nPlace == Floating);
        // A docked bar's ground covers its borders and gripper too.
        CRect B;
        if (stTest.nPlace == Floating)
        {
            m_bar.GetClientRect(B);
        }
        else
        {
            m_bar.GetWindowRect(B);
            m_bar.ScreenToClient(reinterpret_cast<POINT*>(&B.left));
            m_bar.ScreenToClient(reinterpret_cast<POINT*>(&B.right));
        }
        CPaintSurface surface(B.Width(), B.Height());
        surface.DC().SetWindowOrg(B.left, B.top);
        EXPECT_TRUE(m_bar.EraseBackground(&surface.DC()));
        const CRect rcBorders(m_bar.m_cxLeftBorder, m_bar.m_cyTopBorder, m_bar.m_cxRightBorder, m_bar.m_cyBottomBorder);
        const POINT pt = stTest.pfnPoint(B, rcBorders);
        const COLORREF cr = surface.At(pt.x - B.left, pt.y - B.top);
        EXPECT_EQ(cr == stTest.pfnColour(), stTest.bSame)
            << "theme " << stTest.nThemeId << ", place " << stTest.nPlace << ", " << stTest.nScreenColors
            << " colours, at " << pt.x << ", " << pt.y << ": " << std::hex << cr << " against " << stTest.pfnColour();
    }
}

BOOL WINAPI StyleActive()
{
    return TRUE;
}

COLORREF Sys(int nIndex)
{
    return ::GetSysColor(nIndex);
}

TEST_F(SkinToolBarPaintingTest, HotButtonHasItsThemesLookInsideTheClientArea)
{
    struct stPixel
    {
        int nThemeId;
        bool bVisualStyle;
        // From the button's left and top; negative from its right and bottom.
        POINT pt;
        // Asked once the theme is in place.
        COLORREF (*pfnColour)();
    };
    const stPixel pixels[] = {
        // A raised frame: light above and left, shadow below and right, the
        // bottom row too.
        {1, false, {0, 0}, [] { return Sys(COLOR_HIGHLIGHTTEXT); }},
        {1, false, {-1, -1}, [] { return Sys(COLOR_BTNSHADOW); }},
        {1, false, {10, -1}, [] { return Sys(COLOR_BTNSHADOW); }},
        {5, false, {-1, 10}, [] { return Sys(COLOR_BTNSHADOW); }},
        // The selection colour in a highlight frame; 9 looks so without a style.
        {3, false, {1, 1}, [] { return GetSelectionColor(); }},
        {3, false, {10, -1}, [] { return Sys(COLOR_HIGHLIGHT); }},
        {9, false, {10, -1}, [] { return Sys(COLOR_HIGHLIGHT); }},
        // A gradient in a darker frame.
        {7, false, {10, -1}, [] { return DarkenColor(60, Sys(COLOR_HIGHLIGHT)); }},
        // A dark blue frame one pixel in from the sides and two from the ends.
        {11, true, {1, 2}, [] { return RGB(0x04, 0x02, 0x84); }},
        {11, true, {10, -3}, [] { return RGB(0x04, 0x02, 0x84); }},
    };
    for (const stPixel& stTest : pixels)
    {
        CRect rcWindow;
        CPoint ptClient;
        ASSERT_NO_FATAL_FAILURE(DockOnTop(stTest.nThemeId, CBRS_TOP, rcWindow, ptClient));
        ToolkitEnvironment().pfnIsThemeActive = stTest.bVisualStyle ? &StyleActive : nullptr;
        const CRect rc = HotFirstButton();
        // What falls outside the client area is never seen.
        CRect rcClient;
        m_bar.GetClientRect(rcClient);
        CPaintSurface surface(rcClient.Width(), rcClient.Height(), Ground);
        m_bar.Paint(&surface.DC());
        const int x = stTest.pt.x >= 0 ? rc.left + stTest.pt.x : rc.right + stTest.pt.x;
        const int y = stTest.pt.y >= 0 ? rc.top + stTest.pt.y : rc.bottom + stTest.pt.y;
        ASSERT_TRUE(rcClient.PtInRect(CPoint(x, y))) << stTest.nThemeId << ": " << x << ", " << y;
        EXPECT_EQ(surface.At(x, y), stTest.pfnColour()) << stTest.nThemeId << ": " << x << ", " << y;
    }
}

TEST_F(SkinToolBarPaintingTest, PaintingAsksTheParentAboutTheBarAndEachVisibleButton)
{
    CComboBox combo;
    ASSERT_TRUE(combo.Create(WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, CRect(0, 0, 80, 200), &m_bar, ComboID));
    ASSERT_TRUE(m_bar.InsertControl(2, &combo, 0));
    m_bar.SendMessage(TB_HIDEBUTTON, 1302, TRUE);
    m_bar.SetButtonStyle(m_bar.CommandToIndex(1303), TBBS_DISABLED);
    m_pFrame->RecalcLayout();
    const CRect rcFirst = HotFirstButton();

    CRect rcClient;
    m_bar.GetClientRect(rcClient);
    CPaintSurface surface(rcClient.Width(), rcClient.Height());
    m_bar.m_seen.clear();
    m_bar.Paint(&surface.DC());
    std::vector<std::pair<DWORD, DWORD_PTR>> stages;
    for (const CPaintedToolBar::stSeen& stSeen : m_bar.m_seen)
        stages.emplace_back(stSeen.dwStage, stSeen.dwItemSpec);
    const std::vector<std::pair<DWORD, DWORD_PTR>> expected = {
        {CDDS_PREPAINT, 0},           {CDDS_PREERASE, 0},          {CDDS_POSTERASE, 0},
        {CDDS_ITEMPREPAINT, 1301},    {CDDS_ITEMPOSTPAINT, 1301},  {CDDS_ITEMPREPAINT, 1303},
        {CDDS_ITEMPOSTPAINT, 1303},   {CDDS_POSTPAINT, 0},
    };
    ASSERT_EQ(stages, expected);
    EXPECT_EQ(m_bar.m_seen[0].rc, rcClient);
    EXPECT_EQ(m_bar.m_seen[3].rc, rcFirst);
    EXPECT_EQ(m_bar.m_seen[3].uItemState, UINT(CDIS_HOT));
    EXPECT_EQ(m_bar.m_seen[5].uItemState, UINT(CDIS_DISABLED));
    EXPECT_EQ(m_bar.m_seen[7].rc, rcClient);

    // Out of the frame's focus the pointer makes nothing hot.
    ::SetFocus(NULL);
    m_bar.m_seen.clear();
    m_bar.Paint(&surface.DC());
    ASSERT_GT(m_bar.m_seen.size(), 3u);
    EXPECT_EQ(m_bar.m_seen[3].uItemState, 0u);
}

TEST_F(SkinToolBarPaintingTest, ButtonTextGoesUnderItsImage)
{
    TBBUTTONINFOW stInfo = {};
    stInfo.cbSize = sizeof(stInfo);
    stInfo.dwMask = TBIF_TEXT;
    wchar_t szText[] = L"Go";
    stInfo.pszText = szText;
    ASSERT_TRUE(m_bar.SendMessage(TB_SETBUTTONINFOW, 1301, reinterpret_cast<LPARAM>(&stInfo)));
    BOOL bOldMode = CSkinMenu::SetDisabledIconMode(FALSE);
    m_pFrame->RecalcLayout();
    m_bar.UpdateWindow();
    CRect rc;
    m_bar.GetItemRect(0, rc);
    CRect rcClient;
    m_bar.GetClientRect(rcClient);
    CPaintSurface surface(rcClient.Width(), rcClient.Height(), Ground);
    m_bar.m_seen.clear();
    m_bar.Paint(&surface.DC());
    ASSERT_GT(m_bar.m_seen.size(), 3u);
    const CPaintedToolBar::stSeen& stItem = m_bar.m_seen[3];
    ASSERT_EQ(stItem.dwItemSpec, 1301u);

    CClientDC dc(&m_bar);
    dc.SelectStockObject(ANSI_VAR_FONT);
    CSize sizeText = dc.GetTextExtent(L"Go", 2);
    EXPECT_EQ(stItem.rcText, CSkinToolBar::TextRect(rc, sizeText, false, false, m_bar.GetImageSize().cx));
    const COLORREF crText = ::GetSysColor(COLOR_WINDOWTEXT);
    EXPECT_GT(surface.Count(stItem.rcText, crText), 0);
    // The image sits 4 pixels below the button's top, clear of the text.
    const int x = (rc.left + rc.right - m_bar.GetImageSize().cx) / 2;
    EXPECT_EQ(surface.At(x + 8, rc.top + 4 + 7), RGB(0xE0, 0x20, 0x20));
    CSkinMenu::SetDisabledIconMode(bOldMode);
}

TEST_F(SkinToolBarPaintingTest, SeparatorsAreTheThemesThreeDRectangles)
{
    struct stCase
    {
        int nThemeId;
        DWORD dwAlign;
        bool bWrap;
        POINT ptTopLeft;
        POINT ptBottomRight;
    };
    // S the separator, P the button before it.
    const CRect rcAcross(20, 2, 28, 24), rcBefore(0, 2, 20, 24);
    const CRect rcBelow(2, 30, 24, 38), rcAbove(2, 8, 24, 30);
    const stCase cases[] = {
        // Across: a line down the middle, 3 pixels in from each end; one
        // pixel wide where both colours are one, two otherwise.
        {7, CBRS_ALIGN_TOP, false, {23, 5}, {23, 20}},
        {11, CBRS_ALIGN_TOP, false, {23, 5}, {24, 20}},
        // Down a side: a row halfway between the two bottoms.
        {3, CBRS_ALIGN_LEFT, false, {5, 34}, {20, 34}},
        // A wrapped separator of a floating bar: a row to the bar's end.
        {11, CBRS_ALIGN_TOP, true, {6, 33}, {6, 34}},
    };
    m_pFrame->RecalcLayout();
    for (const stCase& stTest : cases)
    {
        CSkinMenu::SelectTheme(stTest.nThemeId);
        ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), stTest.nThemeId);
        m_bar.SetBarStyle((m_bar.GetBarStyle() & ~CBRS_ALIGN_ANY) | stTest.dwAlign);
        COLORREF crTopLeft, crBottomRight;
        if (stTest.nThemeId == 7)
        {
            crTopLeft = crBottomRight = LightenColor(150, ::GetSysColor(COLOR_3DDKSHADOW));
        }
        else if (stTest.nThemeId == 3)
        {
            crTopLeft = crBottomRight = DarkenColor(40, GetBarFaceColor());
        }
        else
        {
            crTopLeft = DarkenColor(40, GetBarBackgroundColor());
            crBottomRight = LightenColor(140, GetBarBackgroundColor());
        }
        CPaintSurface surface(60, 40, Ground);
        bool bAcross = stTest.dwAlign == CBRS_ALIGN_TOP && !stTest.bWrap;
        m_bar.DrawSeparator(&surface.DC(), bAcross ? rcAcross : rcBelow, bAcross ? rcBefore : rcAbove, stTest.bWrap);
        const POINT& tl = stTest.ptTopLeft;
        const POINT& br = stTest.ptBottomRight;
        EXPECT_EQ(surface.At(tl.x, tl.y), crTopLeft) << stTest.nThemeId;
        EXPECT_EQ(surface.At(br.x, br.y), crBottomRight) << stTest.nThemeId;
        // Nothing beyond the line's ends.
        EXPECT_EQ(surface.At(bAcross ? tl.x : tl.x - 1, bAcross ? tl.y - 1 : tl.y), Ground) << stTest.nThemeId;
        const COLORREF crPast = stTest.bWrap ? crBottomRight : Ground;
        EXPECT_EQ(surface.At(bAcross ? br.x : br.x + 1, bAcross ? br.y + 1 : br.y), crPast) << stTest.nThemeId;
    }
}

TEST_F(SkinToolBarPaintingTest, RowsOfAFloatingBarHaveGradientsOfTheirOwn)
{
    CSkinMenu::SelectTheme(9);
    ASSERT_EQ(CSkinMenu::GetCurrentThemeId(), 9);
    m_bar.EnableDocking(CBRS_ALIGN_ANY);
    m_pFrame->EnableDocking(CBRS_ALIGN_ANY);
    // One button a row.
    m_bar.SetBarStyle(m_bar.GetBarStyle() | CBRS_SIZE_DYNAMIC);
    m_bar.m_nMRUWidth = m_bar.GetButtonSize().cx + 1;
    m_pFrame->FloatControlBar(&m_bar, CPoint(600, 100));
    ASSERT_TRUE(m_bar.IsFloating());
    m_bar.UpdateWindow();
    CRect rcClient;
    m_bar.GetClientRect(rcClient);
    CPaintSurface surface(rcClient.Width(), rcClient.Height());
    EXPECT_TRUE(m_bar.EraseBackground(&surface.DC()));
    COLORREF c1 = 0, c2 = 0, c3 = 0, c4 = 0;
    CSkinMenu::GetCurrentTheme()->GetBarColors(c1, c2, c3, c4, FALSE);
    ASSERT_NE(c1, c2);

    // Each row starts light at its top and is the middle colour halfway down.
    int nRows = 0;
    CRect rcPrevious(0, 0, 0, 0);
    for (int i = 0; i < m_bar.GetCount(); ++i)
    {
        CRect rc;
        m_bar.GetItemRect(i, rc);
        bool bRowStart = rc.top != rcPrevious.top || rc.bottom != rcPrevious.bottom;
        rcPrevious = rc;
        if (!bRowStart || (m_bar.GetButtonStyle(i) & TBBS_SEPARATOR))
            continue;
        ++nRows;
        EXPECT_EQ(surface.At(rcClient.Width() / 2, rc.top), c1) << i;
        EXPECT_EQ(surface.At(rcClient.Width() / 2, (rc.top + rc.bottom) / 2), c2) << i;
    }
    EXPECT_GE(nRows, 3);
}

TEST_F(SkinToolBarPaintingTest, DockedBarDrawsItsGripperBesideItsButtons)
{
    CRect rcWindow;
    CPoint ptClient;
    ASSERT_NO_FATAL_FAILURE(DockOnTop(7, m_bar.GetBarStyle() | CBRS_GRIPPER, rcWindow, ptClient));
    // The control lays its buttons out from the client's corner.
    EXPECT_GE(ptClient.x - rcWindow.left, m_bar.m_cxLeftBorder + 7);
    m_bar.RedrawWindow(nullptr, NULL, RDW_FRAME | RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);

    // The theme's gripper alone, on a picture of the window.
    rcWindow.OffsetRect(-rcWindow.left, -rcWindow.top);
    CPaintSurface reference(rcWindow.Width(), rcWindow.Height(), Ground);
    CRect rcBorders(m_bar.m_cxLeftBorder, m_bar.m_cyTopBorder, m_bar.m_cxRightBorder, m_bar.m_cyBottomBorder);
    CSkinMenu::GetCurrentTheme()->DrawGripper(&reference.DC(), rcWindow, m_bar.GetBarStyle(), rcBorders);
    HDC hDC = ::GetWindowDC(m_bar.m_hWnd);
    int nDots = 0, nShown = 0;
    for (int x = 0; x < rcWindow.right; ++x)
        for (int y = 0; y < rcWindow.bottom; ++y)
            if (reference.At(x, y) != Ground)
            {
                ++nDots;
                nShown += ::GetPixel(hDC, x, y) == reference.At(x, y) ? 1 : 0;
            }
    ::ReleaseDC(m_bar.m_hWnd, hDC);
    EXPECT_GT(nDots, 0);
    EXPECT_EQ(nShown, nDots);
}
} // namespace
