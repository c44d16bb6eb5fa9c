#include "guitoolkit/MenuItemParts.h"
#include "guitoolkit/MenuTheme.h"
#include "guitoolkit/SkinMenu.h"
#include "guitoolkit/SkinMenuItemData.h"

#include "MenuPaintSupport.h"

#include <algorithm>
#include <utility>

namespace
{
constexpr COLORREF Menu = RGB(212, 208, 200);
constexpr COLORREF Highlight = RGB(10, 36, 106);
constexpr COLORREF GrayText = RGB(128, 128, 128);
constexpr COLORREF White = RGB(255, 255, 255);
constexpr COLORREF Black = RGB(0, 0, 0);
// Hand-computed from the colours above.
constexpr COLORREF XPBar = RGB(218, 215, 208);   // 86 % menu, 14 % window
constexpr COLORREF XPFace = RGB(249, 248, 247);  // 86 % window, 14 % menu
constexpr COLORREF Selection = RGB(182, 190, 211); // 70 % window, 30 % highlight
constexpr COLORREF Face2003 = RGB(241, 240, 239);  // 86 % of the window darkened by 10, 14 % menu
constexpr COLORREF Hot2003 = RGB(255, 238, 194);
constexpr COLORREF GradientTop = RGB(217, 214, 206); // the menu lightened by 30

DWORD WINAPI ClassicColors(int nIndex)
{
    switch (nIndex)
    {
    case COLOR_MENU:
    case COLOR_MENUBAR:
    case COLOR_BTNFACE:
        return Menu;
    case COLOR_WINDOW:
    case COLOR_BTNHIGHLIGHT:
    case COLOR_HIGHLIGHTTEXT:
    case COLOR_CAPTIONTEXT:
        return White;
    case COLOR_HIGHLIGHT:
    case COLOR_ACTIVECAPTION:
        return Highlight;
    case COLOR_GRAYTEXT:
    case COLOR_BTNSHADOW:
        return GrayText;
    case COLOR_MENUTEXT:
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
        return Black;
    default:
        return ::GetSysColor(nIndex);
    }
}

constexpr UINT OpenID = 601;
constexpr UINT CheckedID = 604;
constexpr UINT DisabledID = 605;
constexpr UINT ExitID = 606;
constexpr int ItemHeight = 22;
constexpr int ItemWidth = 200;
const WORD g_menuIcons[] = {120, 16, 16, OpenID, 602, 603, 0};

// A popup with an icon item, a checked item, a disabled item, a separator
// and a plain item, drawn through the themes into a memory context.
class ThemePaintTest : public MenuHookTest
{
protected:
    void SetUp() override
    {
        MenuHookTest::SetUp();
        ToolkitEnvironment().pfnGetSysColor = ClassicColors;
        HMENU hMenu = ::CreatePopupMenu();
        ::AppendMenuW(hMenu, MF_STRING, OpenID, L"&Open\tCtrl+O");
        ::AppendMenuW(hMenu, MF_STRING | MF_CHECKED, CheckedID, L"&Checked");
        ::AppendMenuW(hMenu, MF_STRING | MF_GRAYED, DisabledID, L"&Disabled");
        ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
        ::AppendMenuW(hMenu, MF_STRING, ExitID, L"E&xit");
        ASSERT_TRUE(m_menu.ConvertToOwnerDraw(hMenu));
        m_menu.m_bPopup = TRUE;
        ASSERT_TRUE(m_menu.LoadToolBar(g_menuIcons, RGB(255, 0, 255)));
    }
    void TearDown() override
    {
        m_menu.DestroyMenu();
        MenuHookTest::TearDown();
    }
    // Also the even ids, which Wine's selection would turn into odd ones.
    CMenuTheme& Theme(int nId)
    {
        bool bWine = std::exchange(ToolkitEnvironment().bWine, false);
        CSkinMenu::SelectTheme(nId);
        ToolkitEnvironment().bWine = bWine;
        EXPECT_EQ(CSkinMenu::GetCurrentThemeId(), nId);
        return *CSkinMenu::GetCurrentTheme();
    }
    DRAWITEMSTRUCT ItemRecord(CPaintSurface& surface, int nPos, UINT nState)
    {
        DRAWITEMSTRUCT stDraw = {};
        stDraw.CtlType = ODT_MENU;
        stDraw.itemID = ::GetMenuItemID(m_menu.m_hMenu, nPos);
        stDraw.itemAction = ODA_DRAWENTIRE;
        stDraw.itemState = nState;
        stDraw.hwndItem = reinterpret_cast<HWND>(m_menu.m_hMenu);
        stDraw.hDC = surface.DC().m_hDC;
        stDraw.rcItem = {0, 0, ItemWidth, ItemHeight};
        stDraw.itemData = reinterpret_cast<ULONG_PTR>(m_menu.GetItemData(nPos));
        return stDraw;
    }
    // Draws the item at the position into a fresh surface.
    void Draw(CPaintSurface& surface, int nTheme, int nPos, UINT nState, BOOL bMenuBar = FALSE)
    {
        DRAWITEMSTRUCT stDraw = ItemRecord(surface, nPos, nState);
        Theme(nTheme).DrawItem(m_menu, &stDraw, bMenuBar);
    }
    static RECT Text(int nLeft) { return {nLeft, 2, ItemWidth - 20, ItemHeight - 2}; }

    CSkinMenu m_menu;
};

TEST_F(ThemePaintTest, XPItemsHaveAnIconBarAFaceAndAFramedSelection)
{
    for (int nTheme : {2, 3})
    {
        CPaintSurface plain(ItemWidth, ItemHeight), selected(ItemWidth, ItemHeight);
        Draw(plain, nTheme, 4, 0);
        Draw(selected, nTheme, 4, ODS_SELECTED);
        EXPECT_EQ(plain.At(2, ItemHeight / 2), XPBar) << "theme " << nTheme;
        EXPECT_EQ(plain.At(ItemWidth - 5, ItemHeight / 2), XPFace);
        EXPECT_GT(plain.Count(Text(28), Black), 0) << "the label";
        EXPECT_EQ(selected.At(0, 0), Highlight) << "the selection frame";
        EXPECT_EQ(selected.At(2, ItemHeight / 2), Selection);
        EXPECT_EQ(selected.At(ItemWidth - 5, ItemHeight / 2), Selection);
    }
}

TEST_F(ThemePaintTest, GrayedTextChecksAndSeparatorsOfTheXPLook)
{
    CPaintSurface grayed(ItemWidth, ItemHeight), checked(ItemWidth, ItemHeight), separator(ItemWidth, 3);
    Draw(grayed, 3, 2, ODS_GRAYED | ODS_DISABLED);
    EXPECT_GT(grayed.Count(Text(28), GrayText), 0);
    EXPECT_EQ(grayed.Count(Text(28), Black), 0);

    Draw(checked, 3, 1, ODS_CHECKED);
    // The box in the icon bar: framed in the highlight, the check glyph in the text colour.
    EXPECT_EQ(checked.At(1, 1), Highlight);
    EXPECT_EQ(checked.At(3, 3), Selection);
    EXPECT_GT(checked.Count({2, 2, 22, ItemHeight - 2}, Black), 4) << "the check mark";

    DRAWITEMSTRUCT stDraw = ItemRecord(separator, 3, 0);
    stDraw.rcItem = {0, 0, ItemWidth, 3};
    Theme(3).DrawItem(m_menu, &stDraw, FALSE);
    EXPECT_EQ(separator.At(2, 1), XPBar);
    EXPECT_EQ(separator.At(40, 1), GrayText) << "the line from the text on";
    EXPECT_EQ(separator.At(40, 0), XPFace);
}

TEST_F(ThemePaintTest, IconsOfTheXPLookSitInTheBarAndCastAShadowWhenSelected)
{
    CPaintSurface plain(ItemWidth, ItemHeight), selected(ItemWidth, ItemHeight);
    Draw(plain, 3, 0, 0);
    Draw(selected, 3, 0, ODS_SELECTED);
    // The folder's blue face lies 3 pixels in and centred on the item.
    const COLORREF Folder = RGB(70, 130, 230);
    // Unselected, the darkened image: the blue darkened by 50.
    EXPECT_GT(plain.Count({3, 3, 19, 19}, RGB(56, 105, 185)), 50);
    EXPECT_GT(selected.Count({2, 2, 20, 20}, Folder), 50);
    EXPECT_GT(selected.CountIf({2, 2, 21, 21},
                               [](COLORREF cr) { return cr != Folder && cr != Selection && cr != RGB(20, 40, 120); }),
              4)
        << "the shadow beside the icon";
}

TEST_F(ThemePaintTest, The2003LookFollowsTheVisualStyleSwitch)
{
    for (bool bStyled : {true, false})
    {
        if (!bStyled)
            ToolkitEnvironment().pfnIsThemeActive = nullptr;
        CPaintSurface plain(ItemWidth, ItemHeight), hot9(ItemWidth, ItemHeight), hot11(ItemWidth, ItemHeight);
        Draw(plain, 9, 4, 0);
        Draw(hot9, 9, 4, ODS_SELECTED);
        Draw(hot11, 11, 4, ODS_SELECTED);
        EXPECT_EQ(plain.At(0, ItemHeight / 2), Face2003) << "the icon bar starts in the face colour";
        EXPECT_EQ(plain.At(ItemWidth - 5, ItemHeight / 2), Face2003);
        EXPECT_EQ(hot9.At(4, ItemHeight / 2), bStyled ? Hot2003 : Selection) << "styled " << bStyled;
        EXPECT_EQ(hot11.At(4, ItemHeight / 2), Hot2003) << "themes 10 and 11 always";
        EXPECT_EQ(hot9.At(0, 0), Highlight);
    }
}

TEST_F(ThemePaintTest, OnAPaletteTheIconBarIsTheButtonFaceAndGradientsAreFlat)
{
    ToolkitEnvironment().nScreenColors = 256;
    DWORD (WINAPI* pfnPalette)(int) = [](int nIndex) -> DWORD {
        return nIndex == COLOR_BTNFACE ? RGB(192, 192, 192) : ClassicColors(nIndex);
    };
    ToolkitEnvironment().pfnGetSysColor = pfnPalette;
    CPaintSurface xp(ItemWidth, ItemHeight), look2003(ItemWidth, ItemHeight);
    Draw(xp, 3, 4, 0);
    Draw(look2003, 9, 4, 0);
    EXPECT_EQ(xp.At(2, ItemHeight / 2), RGB(192, 192, 192));
    EXPECT_EQ(xp.At(ItemWidth - 5, ItemHeight / 2), XPFace);
    EXPECT_EQ(look2003.At(0, ItemHeight / 2), Face2003);
    EXPECT_EQ(look2003.At(20, ItemHeight / 2), Face2003) << "no gradient across the icon bar";
}

TEST_F(ThemePaintTest, ClassicAndGradientPopupItems)
{
    CPaintSurface plain(ItemWidth, ItemHeight), selected(ItemWidth, ItemHeight), withIcon(ItemWidth, ItemHeight);
    Draw(plain, 1, 4, 0);
    Draw(selected, 1, 4, ODS_SELECTED);
    Draw(withIcon, 1, 0, ODS_SELECTED);
    EXPECT_EQ(plain.At(2, ItemHeight / 2), Menu);
    EXPECT_EQ(selected.At(2, ItemHeight / 2), Highlight) << "the whole item without icon or check";
    EXPECT_GT(selected.Count(Text(25), White), 0) << "the highlighted text";
    EXPECT_EQ(withIcon.At(0, ItemHeight / 2), Menu) << "only the text area with an icon";
    EXPECT_EQ(withIcon.At(60, 1), Highlight);

    CPaintSurface gradient(ItemWidth, ItemHeight);
    Draw(gradient, 7, 4, 0);
    EXPECT_EQ(gradient.At(ItemWidth - 5, 0), GradientTop);
    EXPECT_LT(GetRValue(gradient.At(ItemWidth - 5, ItemHeight - 1)), GetRValue(Menu)) << "darker at the bottom";
    ToolkitEnvironment().pfnGradientFill = nullptr;
    CPaintSurface banded(ItemWidth, ItemHeight);
    Draw(banded, 7, 4, 0);
    EXPECT_EQ(banded.At(ItemWidth - 5, 0), GradientTop) << "the bands start alike";
}

TEST_F(ThemePaintTest, ClassicSeparatorsAreAnEtchedLine)
{
    CPaintSurface separator(ItemWidth, 3);
    DRAWITEMSTRUCT stDraw = ItemRecord(separator, 3, 0);
    stDraw.rcItem = {0, 0, ItemWidth, 3};
    Theme(1).DrawItem(m_menu, &stDraw, FALSE);
    EXPECT_EQ(separator.At(0, 0), Menu);
    // The edge is drawn by the system in its own colours.
    EXPECT_EQ(separator.At(20, 1), ::GetSysColor(COLOR_BTNSHADOW));
    EXPECT_EQ(separator.At(20, 2), ::GetSysColor(COLOR_BTNHIGHLIGHT));
}

TEST_F(ThemePaintTest, MenuBarItemsHotAndOpen)
{
    HMENU hBar = ::CreateMenu();
    HMENU hFile = ::CreatePopupMenu();
    ::AppendMenuW(hFile, MF_STRING, ExitID, L"E&xit");
    ::AppendMenuW(hBar, MF_POPUP, reinterpret_cast<UINT_PTR>(hFile), L"&File");
    CSkinMenu bar;
    ASSERT_TRUE(bar.ConvertToOwnerDraw(hBar));
    auto drawBar = [&](CPaintSurface& surface, int nTheme, UINT nState) {
        DRAWITEMSTRUCT stDraw = {};
        stDraw.CtlType = ODT_MENU;
        stDraw.itemID = static_cast<UINT>(reinterpret_cast<UINT_PTR>(hFile));
        stDraw.itemState = nState;
        stDraw.hwndItem = reinterpret_cast<HWND>(hBar);
        stDraw.hDC = surface.DC().m_hDC;
        stDraw.rcItem = {0, 0, 50, 20};
        stDraw.itemData = reinterpret_cast<ULONG_PTR>(bar.GetItemData(0));
        Theme(nTheme).DrawItem(bar, &stDraw, TRUE);
    };

    CPaintSurface hot(50, 20), open(50, 20);
    drawBar(hot, 3, ODS_SELECTED);
    EXPECT_EQ(hot.At(0, 0), Highlight) << "selected with no popup open counts as hot";
    EXPECT_EQ(hot.At(2, 2), Selection);
    bar.m_nOpenPopups = 1;
    drawBar(open, 3, ODS_SELECTED);
    EXPECT_EQ(open.At(2, 2), XPBar);
    EXPECT_EQ(open.At(45, 0), Highlight) << "the body keeps four pixels for its shadow";
    EXPECT_EQ(open.At(46, 2), Menu) << "the shadow's head";
    EXPECT_EQ(open.At(46, 10), RGB(::MulDiv(212, 225, 255), ::MulDiv(208, 225, 255), ::MulDiv(200, 225, 255)));
    EXPECT_EQ(bar.m_rcMenuBarItem.right, 46) << "the open item is remembered";
    EXPECT_GT(open.Count({5, 2, 40, 18}, Black), 0) << "the label";

    CPaintSurface raised(50, 20), sunken(50, 20), flat(50, 20);
    drawBar(raised, 1, ODS_HOTLIGHT);
    drawBar(sunken, 1, ODS_SELECTED);
    drawBar(flat, 5, ODS_SELECTED);
    EXPECT_EQ(raised.At(0, 0), White);
    EXPECT_EQ(raised.At(49, 19), GrayText);
    EXPECT_EQ(sunken.At(0, 0), GrayText);
    EXPECT_EQ(flat.At(3, 3), Highlight);
    EXPECT_GT(flat.Count({5, 2, 45, 18}, White), 0) << "highlighted text";
}

TEST_F(ThemePaintTest, TitlesFillWithTheCaptionColourOrTheirOwn)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    CSkinMenu titled;
    ASSERT_TRUE(titled.ConvertToOwnerDraw(hMenu));
    CSkinMenuItemData* pTitle = titled.GetItemData(0);
    pTitle->m_nToolkitFlags = MenuItemTitle;
    pTitle->SetText(L"Tools");
    CPaintSurface surface(ItemWidth, 24);
    DRAWITEMSTRUCT stDraw = {};
    stDraw.CtlType = ODT_MENU;
    stDraw.hwndItem = reinterpret_cast<HWND>(hMenu);
    stDraw.hDC = surface.DC().m_hDC;
    stDraw.rcItem = {0, 0, ItemWidth, 24};
    stDraw.itemData = reinterpret_cast<ULONG_PTR>(pTitle);
    Theme(3).DrawItem(titled, &stDraw, FALSE);
    EXPECT_EQ(surface.At(ItemWidth - 2, 12), Highlight) << "the active caption";
    EXPECT_GT(surface.Count({0, 0, 80, 24}, White), 0) << "caption text";

    pTitle->m_crTitleStart = RGB(0, 128, 0);
    pTitle->m_nToolkitFlags |= MenuTitleGradient;
    Theme(1).DrawItem(titled, &stDraw, FALSE);
    EXPECT_EQ(surface.At(0, 12), RGB(0, 128, 0)) << "the gradient starts at the item's colour";
}

TEST_F(ThemePaintTest, SeparatorsMeasureThreeByThreeInEveryTheme)
{
    for (int nTheme = 0; nTheme < 12; ++nTheme)
    {
        MEASUREITEMSTRUCT stMeasure = {ODT_MENU, 0, 0, 0, 0, reinterpret_cast<ULONG_PTR>(m_menu.GetItemData(3))};
        Theme(nTheme).MeasureItem(m_menu, &stMeasure, FALSE);
        EXPECT_EQ(stMeasure.itemWidth, 3u) << "theme " << nTheme;
        EXPECT_EQ(stMeasure.itemHeight, 3u);
    }
}

TEST_F(ThemePaintTest, ItemsMeasureByTheirLook)
{
    int nMenuHeight = ::GetSystemMetrics(SM_CYMENU);
    auto measure = [&](int nTheme, int nPos) {
        MEASUREITEMSTRUCT stMeasure = {ODT_MENU, 0, ::GetMenuItemID(m_menu.m_hMenu, nPos), 0, 0,
                                       reinterpret_cast<ULONG_PTR>(m_menu.GetItemData(nPos))};
        Theme(nTheme).MeasureItem(m_menu, &stMeasure, FALSE);
        return stMeasure;
    };
    MEASUREITEMSTRUCT stXP = measure(3, 4), stClassic = measure(1, 4), stGradient = measure(7, 4);
    // Icons are 16 by 16 here.
    EXPECT_EQ(stXP.itemHeight, static_cast<UINT>(std::max(nMenuHeight, 16 + 7)));
    EXPECT_EQ(stClassic.itemHeight, static_cast<UINT>(std::max(nMenuHeight, 16 + 4)));
    EXPECT_EQ(stGradient.itemHeight, static_cast<UINT>(std::max(nMenuHeight, 16 + 6)));
    // Classic: text + two icon widths + 2; XP: icon width + text + 6 + half a menu height.
    EXPECT_EQ(stClassic.itemWidth - 34, stXP.itemWidth - 16 - 6 - nMenuHeight / 2);

    MEASUREITEMSTRUCT stTab = measure(3, 0), stTabClassic = measure(1, 0);
    EXPECT_GT(stTab.itemWidth - 16 - 6 - nMenuHeight / 2, stTabClassic.itemWidth - 34)
        << "a tab measures as three letters in the XP look";
}

TEST_F(ThemePaintTest, OnlyIdsFromTheSystemRangeMeasureAsTheItemAfterThem)
{
    HMENU hMenu = ::CreatePopupMenu();
    ::AppendMenuW(hMenu, MF_STRING, 0xEFF0, L"A");
    ::AppendMenuW(hMenu, MF_STRING, SC_CLOSE, L"B");
    ::AppendMenuW(hMenu, MF_STRING, 700, L"A much longer item text");
    ::AppendMenuW(hMenu, MF_STRING, SC_MINIMIZE, L"C");
    CSkinMenu menu;
    ASSERT_TRUE(menu.ConvertToOwnerDraw(hMenu));
    menu.m_bPopup = TRUE;
    auto measure = [&](int nPos) {
        MEASUREITEMSTRUCT stMeasure = {ODT_MENU, 0, ::GetMenuItemID(hMenu, nPos), 0, 0,
                                       reinterpret_cast<ULONG_PTR>(menu.GetItemData(nPos))};
        Theme(3).MeasureItem(menu, &stMeasure, FALSE);
        return stMeasure;
    };
    MEASUREITEMSTRUCT stBelow = measure(0), stClose = measure(1), stLong = measure(2), stLast = measure(3);
    EXPECT_LT(stBelow.itemWidth, stLong.itemWidth) << "0xEFF0 is no system command";
    EXPECT_EQ(stClose.itemWidth, stLong.itemWidth);
    EXPECT_EQ(stClose.itemHeight, static_cast<UINT>(::GetSystemMetrics(SM_CYMENU)));
    EXPECT_LT(stLast.itemWidth, stLong.itemWidth) << "with nothing after it, an item measures as itself";
}

TEST_F(ThemePaintTest, VerticalTitlesKeepTheCheckColumnUnderWine)
{
    CSkinMenuItemData* pRecord = m_menu.GetItemData(3);
    pRecord->m_nToolkitFlags = MenuItemTitle | MenuTitleVertical;
    pRecord->SetText(L"Tools");
    MEASUREITEMSTRUCT stWine = {ODT_MENU, 0, 0, 0, 0, reinterpret_cast<ULONG_PTR>(pRecord)};
    Theme(3).MeasureItem(m_menu, &stWine, FALSE);
    ToolkitEnvironment().bWine = false;
    MEASUREITEMSTRUCT stWindows = stWine;
    Theme(3).MeasureItem(m_menu, &stWindows, FALSE);
    EXPECT_EQ(stWine.itemWidth - stWindows.itemWidth, static_cast<UINT>(::GetSystemMetrics(SM_CXMENUCHECK)));
    EXPECT_EQ(stWine.itemHeight, 0u);
}
} // namespace

namespace
{
constexpr DWORD BarGripper = 0x00400000;
constexpr DWORD BarAlignTop = 0x2000;
constexpr DWORD BarFloating = 0x0001;

TEST_F(ThemePaintTest, GrippersAndRoundedCornersOfDockedBars)
{
    const RECT rc = {0, 0, 60, 24};
    const RECT rcBorders = {0, 0, 0, 0};
    struct stCase
    {
        int nTheme;
        DWORD dwStyle;
        int nPainted; // at least this many pixels off the ground
    } cases[] = {{3, BarGripper | BarAlignTop, 10}, {7, BarGripper | BarAlignTop, 8}, {1, BarGripper | BarAlignTop, 20},
                 {3, BarAlignTop, 0},           {3, BarGripper | BarFloating, 0}};
    for (const stCase& stBar : cases)
    {
        CPaintSurface surface(60, 24, White);
        Theme(stBar.nTheme).DrawGripper(&surface.DC(), rc, stBar.dwStyle, rcBorders);
        int nPainted = surface.CountIf(rc, [](COLORREF cr) { return cr != White; });
        if (stBar.nPainted == 0)
            EXPECT_EQ(nPainted, 0) << "theme " << stBar.nTheme << " style " << stBar.dwStyle;
        else
            EXPECT_GE(nPainted, stBar.nPainted) << "theme " << stBar.nTheme << " style " << stBar.dwStyle;
        EXPECT_EQ(surface.CountIf({20, 0, 60, 24}, [](COLORREF cr) { return cr != White; }), 0)
            << "the gripper stays at the left of a top bar";
    }

    CPaintSurface corners(60, 24, White);
    Theme(7).RoundBarCorners(&corners.DC(), {0, 0, 59, 23}, BarGripper | BarAlignTop);
    COLORREF crLight = ::GetSysColor(COLOR_3DLIGHT);
    EXPECT_EQ(corners.At(0, 0), crLight);
    EXPECT_EQ(corners.At(1, 0), crLight);
    EXPECT_EQ(corners.At(59, 23), crLight) << "right and bottom are inclusive";
    EXPECT_EQ(corners.At(58, 23), crLight);
    EXPECT_EQ(corners.At(2, 2), White);
    CPaintSurface square(60, 24, White);
    Theme(3).RoundBarCorners(&square.DC(), {0, 0, 59, 23}, BarGripper | BarAlignTop);
    EXPECT_EQ(square.At(0, 0), White) << "only themes 6 to 11 round their bars";
}
} // namespace

namespace
{
COLORREF g_crBarBase = 0;

DWORD WINAPI BarBaseColors(int nIndex)
{
    return nIndex == COLOR_MENU ? g_crBarBase : ClassicColors(nIndex);
}

TEST_F(ThemePaintTest, TheFourBarColoursComeFromTheBarBase)
{
    // On the oldest shells the bar pair is the menu colour, which makes the base easy to choose.
    ToolkitEnvironment().nVersionClass = 5;
    ToolkitEnvironment().pfnGetSysColor = BarBaseColors;
    struct stCase
    {
        COLORREF crBase;
        BOOL bForce;
        COLORREF c1, c2, c3, c4;
    } cases[] = {
        {RGB(163, 194, 245), TRUE, RGB(221, 236, 254), RGB(196, 219, 249), RGB(129, 169, 226), RGB(59, 97, 156)},
        {RGB(218, 218, 170), TRUE, RGB(244, 247, 222), RGB(209, 222, 172), RGB(183, 198, 145), RGB(96, 128, 88)},
        // Lightened by 140 and 115, darkened by 40 and 110.
        {RGB(100, 0, 255), TRUE, RGB(185, 140, 255), RGB(170, 115, 255), RGB(84, 0, 215), RGB(57, 0, 145)},
        // Unforced without a visual style: the pair itself, their mix and the first darkened by 50.
        {RGB(100, 0, 255), FALSE, RGB(100, 0, 255), RGB(99, 0, 254), RGB(100, 0, 255), RGB(80, 0, 205)},
    };
    ToolkitEnvironment().pfnIsThemeActive = nullptr;
    for (const stCase& stBar : cases)
    {
        g_crBarBase = stBar.crBase;
        COLORREF c1 = 0, c2 = 0, c3 = 0, c4 = 0;
        Theme(9).GetBarColors(c1, c2, c3, c4, stBar.bForce);
        EXPECT_EQ(c1, stBar.c1) << std::hex << stBar.crBase << " forced " << stBar.bForce;
        EXPECT_EQ(c2, stBar.c2);
        EXPECT_EQ(c3, stBar.c3);
        EXPECT_EQ(c4, stBar.c4);
    }
}
} // namespace

namespace
{
TEST_F(ThemePaintTest, HighContrastFramesInTheTextColourAndDropsGradients)
{
    ToolkitEnvironment().bHighContrast = true;
    CPaintSurface selected(ItemWidth, ItemHeight), gradient(ItemWidth, ItemHeight);
    Draw(selected, 3, 4, ODS_SELECTED);
    Draw(gradient, 7, 4, 0);
    EXPECT_EQ(selected.At(0, 0), Black) << "the frame in the button text colour";
    EXPECT_EQ(selected.At(2, ItemHeight / 2), Highlight) << "the selection in the highlight itself";
    EXPECT_EQ(gradient.At(ItemWidth - 5, 0), Menu);
    EXPECT_EQ(gradient.At(ItemWidth - 5, ItemHeight - 1), Menu);
}
} // namespace
